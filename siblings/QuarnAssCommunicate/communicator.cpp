#include "siblings/QuarnAssCommunicate/communicator.h"

#include <vector>

#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/trust_settings.h"
#include "os/error.h"
#include "os/time.h"
#include "siblings/QuarnAssCommunicate/document_text.h"
#include "siblings/QuarnAssCommunicate/drop_log.h"
#include "siblings/QuarnAssCommunicate/local_frame.h"
#include "siblings/QuarnAssCommunicate/push_seal.h"
#include "siblings/QuarnAssCommunicate/settings.h"
#include "siblings/QuarnAssCommunicate/trace_source.h"

namespace communicate {
namespace {

constexpr char kPushFunction[] = "PushReceive";
constexpr char kLocalFunction[] = "LocalReceive";
constexpr std::uint32_t kKeyRefreshMs = 1000;    // CryptKey is read again at most this often
constexpr std::uint32_t kPendingLifeMs = 10000;  // a push whose fragments stopped coming
constexpr std::size_t kMaxPendingPushes = 4;
constexpr std::uint32_t kConnectWaitMs = 5000;
constexpr std::uint32_t kFailedWaitMs = 1000;  // after a socket wait that failed

struct SocketCloser {
    os::Socket socket;
    ~SocketCloser() { os::socket_close(socket); }
};

std::uint64_t sender_of(const os::SocketAddress& from) {
    return (std::uint64_t{from.ip} << 16) | from.port;
}

}  // namespace

Communicator::Communicator(const CommunicatorOptions& options)
    : options_(options),
      push_state_("推送端口", "push"),
      local_state_("本地监听端口", "local"),
      dispatcher_([this](XmlNode* command, int* result) { return call_back(command, result); }),
      local_connections_(2 * kLocalConnections, 2 * kLocalConnections) {}

Communicator::~Communicator() {
    stop();
}

void Communicator::stop() {
    os::socket_signal_raise(stop_signal_);
    push_worker_.stop();
    local_worker_.stop();
    local_connections_.stop();
    dispatcher_.stop();
    std::lock_guard<std::mutex> guard(start_lock_);
    os::socket_close(push_socket_.exchange(os::kNoSocket));
    os::socket_close(local_listener_);
    local_listener_ = os::kNoSocket;
    os::socket_signal_close(stop_signal_);
    stop_signal_ = nullptr;
    if (started_) remove_status();
    push_state_.closed();
    local_state_.closed();
    pending_.clear();
    started_ = false;
}

int Communicator::set_callback(sibling::PacketRecvCallBackFunction callback) {
    callback_.store(callback);
    std::lock_guard<std::mutex> guard(start_lock_);
    if (started_) return 1;
    stop_signal_ = os::socket_signal_create();
    if (stop_signal_ == nullptr) {
        LogTrace("SetPacketRecvCallBack", kTraceError, kTraceSource, __LINE__,
                 "停止信号创建失败 Error=%u", static_cast<unsigned>(os::last_error()));
        return 1;
    }
    started_ = true;
    // Each thread binds its port itself and keeps trying while another
    // program holds it; the first try is made here so that a caller finds
    // the ports bound when they were free.
    open_push_port();
    open_local_listener();
    write_status(push_state_, local_state_);
    push_worker_.start(&Communicator::push_loop, this);
    local_worker_.start(&Communicator::local_loop, this);
    return 1;
}

bool Communicator::pause(std::uint32_t wait_ms) const {
    return os::socket_wait(nullptr, 0, stop_signal_, wait_ms) != os::kSocketWaitSignal;
}

bool Communicator::call_back(XmlNode* document, int* result) const {
    const sibling::PacketRecvCallBackFunction callback = callback_.load();
    if (callback == nullptr) return false;
    *result = callback(document);
    return true;
}

// --- pushes on the listening port ----------------------------------------------

bool Communicator::open_push_port() {
    if (push_socket_.load() != os::kNoSocket) return true;
    const std::uint16_t port = configured_listening_port();
    // Any local address, as the server is remote; no other socket may share it.
    const os::Socket socket = os::udp_open_exclusive(0, port);
    os::SocketAddress bound;
    if (socket == os::kNoSocket || !os::socket_local_address(socket, &bound)) {
        push_state_.refused(port, os::last_error());
        os::socket_close(socket);
        return false;
    }
    push_socket_ = socket;
    push_state_.bound(bound.port);
    return true;
}

void Communicator::push_loop(void* self) {
    auto* communicator = static_cast<Communicator*>(self);
    std::vector<char> buffer(kMaxDatagramSize + 1);
    std::string key;
    bool key_read = false;
    std::uint32_t key_time = 0;
    std::uint32_t rebind_wait = 0;
    while (!communicator->push_worker_.stopping()) {
        os::Socket socket = communicator->push_socket_.load();
        if (socket == os::kNoSocket) {
            rebind_wait = next_rebind_wait(rebind_wait);
            if (!communicator->pause(rebind_wait)) break;
            if (communicator->open_push_port()) {
                write_status(communicator->push_state_, communicator->local_state_);
            }
            continue;
        }
        const int ready =
            os::socket_wait(&socket, 1, communicator->stop_signal_, os::kSocketWaitForever);
        if (ready == os::kSocketWaitSignal) break;
        if (ready != 0) {
            if (!communicator->pause(kFailedWaitMs)) break;
            continue;
        }
        os::SocketAddress from;
        const long size = os::udp_receive_from(socket, buffer.data(), buffer.size(), 0, &from);
        if (size < 0) continue;
        if (!key_read || os::tick_count() - key_time >= kKeyRefreshMs) {
            key = configured_push_key();
            communicator->push_unsealed_ok_ = security_downgraded();
            key_read = true;
            key_time = os::tick_count();
        }
        communicator->take_datagram(buffer.data(), static_cast<std::size_t>(size), from, key);
    }
}

void Communicator::take_datagram(const char* bytes, std::size_t size, const os::SocketAddress& from,
                                 const std::string& key) {
    Fragment fragment;
    const Verdict verdict = read_datagram(bytes, size, key, &fragment);
    if (verdict != Verdict::kAccepted) {
        note_drop(verdict, kPushFunction);
        return;
    }
    const Header& header = fragment.header;
    if (header.kind != Kind::kPush) return;
    // Without a key the window only keeps a resent push from running twice.
    if (!window_.fresh(header.id)) {
        note_drop(Drop::kReplayed, kPushFunction);
        // The server sends again when our answer was lost: answer once more.
        int result = 0;
        if (header.index == 0 && answers_.find(sender_of(from), header.id, &result)) {
            answer_push(from, header.id, result, key);
        }
        return;
    }
    const std::uint32_t now = os::tick_count();
    for (auto it = pending_.begin(); it != pending_.end();) {
        it = now - it->second.started >= kPendingLifeMs ? pending_.erase(it) : std::next(it);
    }
    const PushKey push_key{sender_of(from), header.id};
    auto found = pending_.find(push_key);
    if (found == pending_.end()) {
        if (pending_.size() >= kMaxPendingPushes) {
            auto oldest = pending_.begin();
            for (auto it = pending_.begin(); it != pending_.end(); ++it) {
                if (now - it->second.started > now - oldest->second.started) oldest = it;
            }
            pending_.erase(oldest);
        }
        found = pending_.emplace(push_key, PendingPush{std::make_unique<Reassembly>(header), now})
                    .first;
    }
    switch (found->second.reassembly->add(fragment)) {
        case Reassembly::Step::kMore:
        case Reassembly::Step::kIgnored:
            return;
        case Reassembly::Step::kBroken:
            pending_.erase(found);
            return;
        case Reassembly::Step::kComplete:
            break;
    }
    const std::string payload = found->second.reassembly->take();
    pending_.erase(found);
    deliver_push(header, payload, from, key);
}

void Communicator::deliver_push(const Header& header, const std::string& payload,
                                const os::SocketAddress& from, const std::string& key) {
    // Only a holder of the key gets this far (every fragment was tagged), so
    // each refusal is traced: it is a server that does not seal, or a fault.
    std::string text;
    switch (open_push(key, push_unsealed_ok_, header, payload, &text)) {
        case Opened::kOpened:
            break;
        case Opened::kUnsealed:
            note_drop(Drop::kUnsealed, kPushFunction);
            LogTrace(kPushFunction, kTraceError, kTraceSource, __LINE__,
                     "推送 %u 未加密, 已丢弃 (配置了 CryptKey 时推送必须加密)",
                     static_cast<unsigned>(header.id));
            return;
        case Opened::kBroken:
            note_drop(Drop::kBadSeal, kPushFunction);
            LogTrace(kPushFunction, kTraceError, kTraceSource, __LINE__, "推送 %u 无法解密, 已丢弃",
                     static_cast<unsigned>(header.id));
            return;
    }
    if (!window_.take(header.id)) {
        note_drop(Drop::kReplayed, kPushFunction);
        return;
    }
    XmlDocument document = parse_document(text.data(), text.size(), kPushFunction, __LINE__);
    if (!document) {
        LogTrace(kPushFunction, kTraceError, kTraceSource, __LINE__, "推送报文无法解析: %u 字节",
                 static_cast<unsigned>(text.size()));
        return;
    }
    if (callback_.load() == nullptr) return;
    const std::uint32_t id = header.id;
    dispatcher_.submit(std::move(document), [this, from, id, key](int result) {
        answers_.add(sender_of(from), id, result);
        answer_push(from, id, result, key);
    });
}

void Communicator::answer_push(const os::SocketAddress& to, std::uint32_t id, int result,
                               const std::string& key) {
    const std::vector<std::string> answer =
        make_datagrams(Kind::kPushAnswer, id, push_answer_payload(result), key);
    if (!send_datagrams(push_socket_.load(), to, answer)) {
        LogTrace(kPushFunction, kTraceError, kTraceSource, __LINE__, "推送应答发送失败 Error=%u",
                 static_cast<unsigned>(os::last_error()));
    }
}

// --- the local listener ------------------------------------------------------------

bool Communicator::open_local_listener() {
    if (local_listener_ != os::kNoSocket) return true;
    const os::Socket listener = os::tcp_listen_loopback(options_.local_port);
    if (listener == os::kNoSocket) {
        local_state_.refused(options_.local_port, os::last_error());
        return false;
    }
    os::SocketAddress bound;
    if (!os::socket_local_address(listener, &bound) || !create_secret(&local_secret_)) {
        LogTrace(kLocalFunction, kTraceError, kTraceSource, __LINE__, "%s",
                 "本地监听的密钥文件创建失败");
        os::socket_close(listener);
        return false;
    }
    local_listener_ = listener;
    local_state_.bound(bound.port);
    return true;
}

void Communicator::local_loop(void* self) {
    auto* communicator = static_cast<Communicator*>(self);
    std::uint32_t rebind_wait = 0;
    while (!communicator->local_worker_.stopping()) {
        if (communicator->local_listener_ == os::kNoSocket) {
            // Another assistant, or another user, holds the port; take it
            // when it is freed.
            rebind_wait = next_rebind_wait(rebind_wait);
            if (!communicator->pause(rebind_wait)) break;
            if (communicator->open_local_listener()) {
                write_status(communicator->push_state_, communicator->local_state_);
            }
            continue;
        }
        const int ready = os::socket_wait(&communicator->local_listener_, 1,
                                          communicator->stop_signal_, os::kSocketWaitForever);
        if (ready == os::kSocketWaitSignal) break;
        if (ready != 0) {
            if (!communicator->pause(kFailedWaitMs)) break;
            continue;
        }
        const os::Socket connection = os::tcp_accept(communicator->local_listener_, 0, nullptr);
        if (connection == os::kNoSocket) continue;
        // Another user's program never holds the secret: it takes no place.
        if (!os::socket_peer_is_own_user(connection)) {
            note_drop(Drop::kLocalRefused, kLocalFunction);
            os::socket_close(connection);
            continue;
        }
        const std::string secret = communicator->local_secret_;
        const std::uint64_t place = communicator->local_places_.take(connection);
        if (place == 0 ||
            !communicator->local_connections_.post([communicator, connection, secret, place] {
                communicator->serve_local(connection, secret, place);
            })) {
            // Every place holds a proven client, or every thread is still
            // busy: a flood is cut here.
            communicator->local_places_.leave(place);
            note_drop(Drop::kLocalRefused, kLocalFunction);
            os::socket_close(connection);
        }
    }
}

void Communicator::serve_local(os::Socket connection, const std::string& secret,
                               std::uint64_t place) {
    const std::shared_ptr<SocketCloser> closer(new SocketCloser{connection});
    auto session = std::make_shared<LocalSession>();
    std::string text;
    const LocalRead read =
        listener_receive(connection, secret, options_.local_wait_ms, session.get(), &text,
                         [this, place] { local_places_.prove(place); });
    local_places_.leave(place);
    if (read != LocalRead::kOk) {
        // Closed without an answer: only a holder of the secret may send,
        // and never in the first version's clear text.
        note_drop(Drop::kLocalRefused, kLocalFunction);
        return;
    }
    XmlDocument document = parse_document(text.data(), text.size(), kLocalFunction, __LINE__);
    if (!document) {
        LogTrace(kLocalFunction, kTraceError, kTraceSource, __LINE__, "%s", "本地请求无法解析");
        return;
    }
    if (callback_.load() == nullptr) return;
    const std::uint32_t send_wait_ms = options_.local_wait_ms;
    dispatcher_.submit(std::move(document), [closer, session, send_wait_ms](int result) {
        listener_answer(closer->socket, *session, push_answer_payload(result), send_wait_ms);
    });
}

// --- the client exchanges ---------------------------------------------------------

int Communicator::udp_exchange(const char* host, int port, const XmlNode* request,
                               XmlNode** reply) const {
    return communicate::udp_exchange(host, port, request, reply, configured_key(), options_.times);
}

int Communicator::tcp_exchange(const char* host, int port, const XmlNode* request,
                               XmlNode** reply) const {
    constexpr char kFunction[] = "GetTcpPacketFrom";
    if (host == nullptr || request == nullptr || reply == nullptr || port <= 0 || port > 65535) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "%s", "参数错误");
        return 0;
    }
    std::string secret;
    if (!read_secret(&secret)) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "%s",
                 "没有本地通信密钥, 助手未在运行");
        return 0;
    }
    os::SocketAddress to;
    if (!os::socket_resolve(host, static_cast<std::uint16_t>(port), &to)) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "%s", "请求报文无法发送");
        return 0;
    }
    const SocketCloser connection{os::tcp_connect(to, kConnectWaitMs)};
    std::string text;
    const LocalRead read = connection.socket == os::kNoSocket
                               ? LocalRead::kFailed
                               : client_exchange(connection.socket, secret, text_form(request),
                                                 kConnectWaitMs, options_.answer_wait_ms, &text);
    if (read == LocalRead::kNotProven) {
        // Nothing was sent: whoever listens there does not hold our secret.
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__,
                 "%s:%d 的监听方未能证明持有本地通信密钥, 请求未发送", host, port);
        return 0;
    }
    if (read != LocalRead::kOk) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "与 %s:%d 的本地通信失败 Error=%u",
                 host, port, static_cast<unsigned>(os::last_error()));
        return 0;
    }
    XmlDocument document = parse_document(text.data(), text.size(), kFunction, __LINE__);
    if (!document) return 0;
    *reply = document.release();
    return 1;
}

}  // namespace communicate
