#include "siblings/QuarnAssCommunicate/communicator.h"

#include <vector>

#include "cutil/trace.h"
#include "cutil/xml.h"
#include "os/error.h"
#include "os/time.h"
#include "siblings/QuarnAssCommunicate/document_text.h"
#include "siblings/QuarnAssCommunicate/drop_log.h"
#include "siblings/QuarnAssCommunicate/local_frame.h"
#include "siblings/QuarnAssCommunicate/push_answer.h"
#include "siblings/QuarnAssCommunicate/settings.h"
#include "siblings/QuarnAssCommunicate/trace_source.h"

namespace communicate {
namespace {

constexpr char kPushFunction[] = "PushReceive";
constexpr char kLocalFunction[] = "LocalReceive";
constexpr std::uint32_t kPollMs = 100;           // the threads look at their stop flag this often
constexpr std::uint32_t kKeyRefreshMs = 1000;    // CryptKey is read again at most this often
constexpr std::uint32_t kPendingLifeMs = 10000;  // a push whose fragments stopped coming
constexpr std::size_t kMaxPendingPushes = 4;
constexpr std::uint32_t kRebindMs = 1000;
constexpr std::uint32_t kConnectWaitMs = 5000;

struct SocketCloser {
    os::Socket socket;
    ~SocketCloser() { os::socket_close(socket); }
};

}  // namespace

Communicator::Communicator(const CommunicatorOptions& options) : options_(options) {}

Communicator::~Communicator() {
    stop();
}

void Communicator::stop() {
    push_worker_.stop();
    local_worker_.stop();
    std::lock_guard<std::mutex> guard(start_lock_);
    os::socket_close(push_socket_);
    os::socket_close(local_listener_);
    push_socket_ = os::kNoSocket;
    local_listener_ = os::kNoSocket;
    push_port_ = 0;
    local_port_ = 0;
    pending_.clear();
    started_ = false;
}

int Communicator::set_callback(sibling::PacketRecvCallBackFunction callback) {
    callback_.store(callback);
    std::lock_guard<std::mutex> guard(start_lock_);
    if (started_) return 1;
    started_ = true;
    const std::uint16_t port = configured_listening_port();
    push_socket_ = os::udp_open(0, port);
    os::SocketAddress bound;
    if (push_socket_ == os::kNoSocket || !os::socket_local_address(push_socket_, &bound)) {
        LogTrace("SetPacketRecvCallBack", kTraceError, kTraceSource, __LINE__,
                 "监听端口 %u 打开失败 Error=%u", port, static_cast<unsigned>(os::last_error()));
    } else {
        push_port_ = bound.port;
        push_worker_.start(&Communicator::push_loop, this);
    }
    // A listener held by another process is tried again by the local thread.
    open_local_listener(&local_secret_);
    local_worker_.start(&Communicator::local_loop, this);
    return 1;
}

bool Communicator::call_back(XmlNode* document, int* result) const {
    const sibling::PacketRecvCallBackFunction callback = callback_.load();
    if (callback == nullptr) return false;
    *result = callback(document);
    return true;
}

// --- pushes on the listening port ----------------------------------------------

void Communicator::push_loop(void* self) {
    auto* communicator = static_cast<Communicator*>(self);
    std::vector<char> buffer(kMaxDatagramSize + 1);
    std::string key;
    bool key_read = false;
    std::uint32_t key_time = 0;
    while (!communicator->push_worker_.stopping()) {
        os::SocketAddress from;
        const long size = os::udp_receive_from(communicator->push_socket_, buffer.data(),
                                               buffer.size(), kPollMs, &from);
        if (size < 0) continue;
        if (!key_read || os::tick_count() - key_time >= kKeyRefreshMs) {
            key = configured_key();
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
        return;
    }
    const std::uint32_t now = os::tick_count();
    for (auto it = pending_.begin(); it != pending_.end();) {
        it = now - it->second.started >= kPendingLifeMs ? pending_.erase(it) : std::next(it);
    }
    const PushKey push_key{(std::uint64_t{from.ip} << 16) | from.port, header.id};
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
    if (!window_.take(header.id)) {
        note_drop(Drop::kReplayed, kPushFunction);
        return;
    }
    const XmlDocument document =
        parse_document(payload.data(), payload.size(), kPushFunction, __LINE__);
    if (!document) {
        LogTrace(kPushFunction, kTraceError, kTraceSource, __LINE__, "推送报文无法解析: %u 字节",
                 static_cast<unsigned>(payload.size()));
        return;
    }
    int result = 0;
    if (!call_back(document.get(), &result)) return;
    const std::vector<std::string> answer =
        make_datagrams(Kind::kPushAnswer, header.id, push_answer_payload(result), key);
    if (!send_datagrams(push_socket_, from, answer)) {
        LogTrace(kPushFunction, kTraceError, kTraceSource, __LINE__, "推送应答发送失败 Error=%u",
                 static_cast<unsigned>(os::last_error()));
    }
}

// --- the local listener ------------------------------------------------------------

bool Communicator::open_local_listener(std::string* secret) {
    const os::Socket listener = os::tcp_listen_loopback(options_.local_port);
    if (listener == os::kNoSocket) return false;
    os::SocketAddress bound;
    if (!os::socket_local_address(listener, &bound) || !create_secret(secret)) {
        LogTrace(kLocalFunction, kTraceError, kTraceSource, __LINE__, "%s",
                 "本地监听的密钥文件创建失败");
        os::socket_close(listener);
        return false;
    }
    local_listener_ = listener;
    local_port_ = bound.port;
    return true;
}

void Communicator::local_loop(void* self) {
    auto* communicator = static_cast<Communicator*>(self);
    Worker& worker = communicator->local_worker_;
    std::uint32_t waited = kRebindMs;
    while (!worker.stopping()) {
        if (communicator->local_listener_ == os::kNoSocket) {
            // Another assistant holds the port; take it over when it ends.
            os::sleep_ms(kPollMs);
            waited += kPollMs;
            if (waited < kRebindMs) continue;
            waited = 0;
            std::lock_guard<std::mutex> guard(communicator->start_lock_);
            communicator->open_local_listener(&communicator->local_secret_);
            continue;
        }
        const os::Socket connection =
            os::tcp_accept(communicator->local_listener_, kPollMs, nullptr);
        if (connection != os::kNoSocket) {
            communicator->serve_local(connection, communicator->local_secret_);
        }
    }
}

void Communicator::serve_local(os::Socket connection, const std::string& secret) {
    const SocketCloser closer{connection};
    std::string text;
    os::Sha256Digest request_tag;
    const FrameRead read = receive_frame(connection, Direction::kRequest, secret, nullptr,
                                         options_.local_wait_ms, &text, &request_tag);
    if (read != FrameRead::kOk) {
        // Closed without an answer: only a holder of the secret may send.
        note_drop(Drop::kLocalRefused, kLocalFunction);
        return;
    }
    const XmlDocument document = parse_document(text.data(), text.size(), kLocalFunction, __LINE__);
    int result = 0;
    if (!document) {
        LogTrace(kLocalFunction, kTraceError, kTraceSource, __LINE__, "%s", "本地请求无法解析");
        return;
    }
    if (!call_back(document.get(), &result)) return;
    os::Sha256Digest answer_tag;
    const std::string frame = make_frame(Direction::kAnswer, secret, push_answer_payload(result),
                                         &request_tag, &answer_tag);
    os::tcp_send_all(connection, frame.data(), frame.size(), options_.local_wait_ms);
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
    os::Sha256Digest request_tag;
    const std::string frame =
        make_frame(Direction::kRequest, secret, text_form(request), nullptr, &request_tag);
    os::SocketAddress to;
    if (frame.empty() || !os::socket_resolve(host, static_cast<std::uint16_t>(port), &to)) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "%s", "请求报文无法发送");
        return 0;
    }
    const SocketCloser connection{os::tcp_connect(to, kConnectWaitMs)};
    std::string text;
    os::Sha256Digest answer_tag;
    if (connection.socket == os::kNoSocket ||
        !os::tcp_send_all(connection.socket, frame.data(), frame.size(), kConnectWaitMs) ||
        receive_frame(connection.socket, Direction::kAnswer, secret, &request_tag,
                      options_.answer_wait_ms, &text, &answer_tag) != FrameRead::kOk) {
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
