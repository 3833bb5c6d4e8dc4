#include "siblings/QuarnAssCommunicate/udp_exchange.h"

#include <memory>

#include "cutil/trace.h"
#include "os/crypto.h"
#include "os/error.h"
#include "os/time.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/document_text.h"
#include "siblings/QuarnAssCommunicate/drop_log.h"
#include "siblings/QuarnAssCommunicate/trace_source.h"

namespace communicate {
namespace {

constexpr char kFunction[] = "GetUdpPacketFrom";
constexpr std::size_t kBurst = 4;

struct SocketCloser {
    os::Socket socket;
    ~SocketCloser() { os::socket_close(socket); }
};

std::uint32_t new_message_id() {
    std::uint32_t id = 0;
    if (!os::random_bytes(&id, sizeof id)) id = os::tick_count();
    return id;
}

// Waits up to `wait_ms` for the reply's fragments; true once it is whole.
// The reply's shape comes with its first fragment of the right kind and id;
// fragments gathered for one send carry over to the next.
bool gather_reply(os::Socket socket, const os::SocketAddress& server, const std::string& key,
                  std::uint32_t wait_ms, std::uint32_t id, std::unique_ptr<Reassembly>& reply) {
    std::unique_ptr<char[]> buffer(new char[kMaxDatagramSize + 1]);
    const std::uint32_t start = os::tick_count();
    for (;;) {
        const std::uint32_t spent = os::tick_count() - start;
        if (spent >= wait_ms) return false;
        os::SocketAddress from;
        const long size = os::udp_receive_from(socket, buffer.get(), kMaxDatagramSize + 1,
                                               wait_ms - spent, &from);
        if (size < 0) {
            if (os::last_error() == os::kErrorSocketTimedOut) return false;
            continue;  // an error report of an earlier datagram; keep listening
        }
        if (from != server) continue;
        Fragment fragment;
        const Verdict verdict =
            read_datagram(buffer.get(), static_cast<std::size_t>(size), key, &fragment);
        if (verdict != Verdict::kAccepted) {
            note_drop(verdict, kFunction);
            continue;
        }
        if (fragment.header.kind != Kind::kReply || fragment.header.id != id) continue;
        if (!reply) reply = std::make_unique<Reassembly>(fragment.header);
        const Reassembly::Step step = reply->add(fragment);
        if (step == Reassembly::Step::kComplete) return true;
        if (step == Reassembly::Step::kBroken) reply.reset();
    }
}

}  // namespace

bool send_datagrams(os::Socket socket, const os::SocketAddress& to,
                    const std::vector<std::string>& datagrams) {
    for (std::size_t i = 0; i < datagrams.size(); ++i) {
        if (i > 0 && i % kBurst == 0) os::sleep_ms(1);
        if (!os::udp_send_to(socket, to, datagrams[i].data(), datagrams[i].size())) return false;
    }
    return true;
}

int udp_exchange(const char* host, int port, const XmlNode* request, XmlNode** reply,
                 const std::string& key, const ExchangeTimes& times) {
    if (host == nullptr || request == nullptr || reply == nullptr || port <= 0 || port > 65535) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "%s", "参数错误");
        return 0;
    }
    const std::string payload = text_form(request);
    if (payload.empty() || payload.size() > kMaxPayload) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "请求报文过长或为空: %u 字节",
                 static_cast<unsigned>(payload.size()));
        return 0;
    }
    os::SocketAddress server;
    if (!os::socket_resolve(host, static_cast<std::uint16_t>(port), &server)) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "无法解析服务器地址: %s", host);
        return 0;
    }
    const SocketCloser socket{os::udp_open(0, 0)};
    if (socket.socket == os::kNoSocket) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "创建UDP套接字失败 Error=%u",
                 static_cast<unsigned>(os::last_error()));
        return 0;
    }
    const std::uint32_t id = new_message_id();
    const std::vector<std::string> datagrams = make_datagrams(Kind::kRequest, id, payload, key);
    if (datagrams.empty()) return 0;
    std::unique_ptr<Reassembly> gathered;
    for (int attempt = 0; attempt < times.tries; ++attempt) {
        if (!send_datagrams(socket.socket, server, datagrams)) {
            LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "发送请求失败 Error=%u",
                     static_cast<unsigned>(os::last_error()));
            continue;
        }
        if (!gather_reply(socket.socket, server, key, times.reply_wait_ms, id, gathered)) continue;
        const std::string text = gathered->take();
        XmlDocument document = parse_document(text.data(), text.size(), kFunction, __LINE__);
        if (!document) {
            LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "%s", "应答报文无法解析");
            return 0;
        }
        *reply = document.release();
        return 1;
    }
    LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "服务器 %s:%d 无应答", host, port);
    return 0;
}

}  // namespace communicate
