// A packet that reaches the installer while an assistant runs goes to that
// assistant as a device registration notice; it stores nothing here.
#include "autocheck/runtime/install_steps.h"
#include "cutil/xml.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/sibling_abi.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"
#include "os/process.h"
#include "os/process_owner.h"

namespace install {
namespace {

constexpr char kRegistrationNotice[] = "DeviceRegNotify";
constexpr char kSending[] = "发送设备注册通知";
constexpr char kNotAnswered[] = "通知注册信失败";

bool wants_forwarding() {
    if (os::process_count_own_by_name(sibling::kAssistantExe, 2) == 0) {
        INSTALL_TRACE(kTraceError, "没有小助手进程在运行");
        return false;
    }
    if (IsWinVista() != 0) return true;
    // Before Vista a registered endpoint installs over the running assistant.
    int device_id = 0;
    ReadConfigInt("DeviceId", &device_id);
    return device_id == 0;
}

}  // namespace

bool forward_registration(XmlNode* document) {
    // Present: the running assistant has already had this packet.
    if (cutil_xml_get(document, "TARN/WhatToDo") != nullptr) return false;
    if (!wants_forwarding()) return false;

    INSTALL_TRACE(kTraceInfo, "%s", kSending);
    Call_TarnLogToFile("%s", kSending);
    cutil_xml_add(document, kRegistrationNotice, "TARN/WhatToDo");
    cutil_xml_add(document, kRegistrationNotice, "TARN/TradeCode");
    XmlNode* reply = nullptr;
    const int sent = Call_GetTcpPacketFrom(document, &reply);
    // Only an assistant that applied the packet answers 1; any other answer
    // (an assistant that does not know the notice answers 0) leaves it to
    // this installer.
    const bool applied =
        sent != 0 && reply != nullptr && cutil_xml_get_int(reply, "TARN/Result") == 1;
    cutil_xml_free(reply);
    if (applied) return true;
    INSTALL_TRACE(kTraceError, "%s", kNotAnswered);
    Call_TarnLogToFile("%s", kNotAnswered);
    return false;
}

}  // namespace install
