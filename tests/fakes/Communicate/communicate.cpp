// Double of QuarnAssCommunicate.dll: records the exchanges (documents by
// address) and hands back the reply document the test scripted.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

using fake::text;

namespace {

sibling::PacketRecvCallBackFunction g_callback = nullptr;

int exchange(const char* name, const char* host, int port, XmlNode* request, XmlNode** reply) {
    fake::record(name, "%s|%d|%p", text(host), port, static_cast<void*>(request));
    const fake::Answer a = fake::answer(name);
    if (!a.scripted) return 0;  // no server: no reply
    if (reply != nullptr) *reply = static_cast<XmlNode*>(a.pointer);
    return a.result;
}

}  // namespace

QUARN_EXPORT int QUARN_CDECL SetPacketRecvCallBack(sibling::PacketRecvCallBackFunction callback) {
    fake::record("SetPacketRecvCallBack", "%p", reinterpret_cast<void*>(callback));
    g_callback = callback;
    return fake::result_or("SetPacketRecvCallBack", 1);
}
QUARN_EXPORT int QUARN_CDECL GetUdpPacketFrom(const char* host, int port, XmlNode* request,
                                              XmlNode** reply) {
    return exchange("GetUdpPacketFrom", host, port, request, reply);
}
QUARN_EXPORT int QUARN_CDECL GetTcpPacketFrom(const char* host, int port, XmlNode* request,
                                              XmlNode** reply) {
    return exchange("GetTcpPacketFrom", host, port, request, reply);
}
// Plays a server push: calls the registered callback with `command`.
QUARN_EXPORT int QUARN_CDECL QuarnFake_Push(XmlNode* command) {
    return g_callback != nullptr ? g_callback(command) : -1;
}
QUARN_EXPORT int QUARN_CDECL Init(const char* argument, char** result) {
    fake::record("Init", "%s", text(argument));
    return fake::answer_with_text("Init", result, 0, nullptr);
}

static_assert(sizeof(sibling::SetPacketRecvCallBackFunction{&SetPacketRecvCallBack}) > 0);
static_assert(sizeof(sibling::GetUdpPacketFromFunction{&GetUdpPacketFrom}) > 0);
static_assert(sizeof(sibling::GetTcpPacketFromFunction{&GetTcpPacketFrom}) > 0);
static_assert(sizeof(sibling::PluginFunction{&Init}) > 0);
