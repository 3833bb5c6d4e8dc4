// The exports of QuarnAssCommunicate.dll: thin adapters onto the process's
// one Communicator, which the module's unload stops (threads ended, sockets
// closed).
#include "cutil/trace.h"
#include "interface/sibling_abi.h"
#include "siblings/QuarnAssCommunicate/communicator.h"
#include "siblings/QuarnAssCommunicate/trace_source.h"

namespace {

communicate::Communicator& module_communicator() {
    static communicate::Communicator communicator;
    return communicator;
}

}  // namespace

QUARN_EXPORT int QUARN_CDECL SetPacketRecvCallBack(sibling::PacketRecvCallBackFunction callback) {
    return module_communicator().set_callback(callback);
}

QUARN_EXPORT int QUARN_CDECL GetUdpPacketFrom(const char* host, int port, XmlNode* request,
                                              XmlNode** reply) {
    return module_communicator().udp_exchange(host, port, request, reply);
}

QUARN_EXPORT int QUARN_CDECL GetTcpPacketFrom(const char* host, int port, XmlNode* request,
                                              XmlNode** reply) {
    return module_communicator().tcp_exchange(host, port, request, reply);
}

// Nothing to prepare for a fresh installation: the local secret belongs to
// the running listener, which writes a new one whenever it starts; writing
// one here would cut a running assistant off from its own clients.
QUARN_EXPORT int QUARN_CDECL Init(const char* /*argument*/, char** result) {
    if (result != nullptr) *result = nullptr;
    LogTrace("Init", kTraceInfo, communicate::kTraceSource, __LINE__, "%s", "通信模块初始化");
    return 0;
}

static_assert(sizeof(sibling::SetPacketRecvCallBackFunction{&SetPacketRecvCallBack}) > 0);
static_assert(sizeof(sibling::GetUdpPacketFromFunction{&GetUdpPacketFrom}) > 0);
static_assert(sizeof(sibling::GetTcpPacketFromFunction{&GetTcpPacketFrom}) > 0);
static_assert(sizeof(sibling::PluginFunction{&Init}) > 0);
