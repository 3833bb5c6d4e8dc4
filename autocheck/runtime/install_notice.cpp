#include "autocheck/runtime/install_notice.h"

#include "autocheck/runtime/install_steps.h"
#include "interface/user_log.h"
#include "os/fault.h"

namespace install {
namespace {

constexpr char kApplied[] = "收到设备注册通知，已保存配置";

struct Notice {
    const XmlNode* document;
    int result;
};

// Holds nothing that needs a destructor.
void apply(void* context) {
    auto* notice = static_cast<Notice*>(context);
    Packet packet;
    read_packet(notice->document, &packet);
    if (packet.text[kCheckUrl] == nullptr) {
        INSTALL_TRACE(kTraceError, "策略报文中没有CheckUrl");
        return;
    }
    store_settings(packet);
    notice->result = 1;
}

}  // namespace

int apply_forwarded_packet(const XmlNode* packet) {
    Notice notice{packet, 0};
    if (os::fault_guard(&apply, &notice) != os::Fault::kNone) {
        INSTALL_TRACE(kTraceError, "发生异常,调用失败");
        return 0;
    }
    if (notice.result != 0) {
        INSTALL_TRACE(kTraceInfo, "%s", kApplied);
        Call_TarnLogToFile("%s", kApplied);
    }
    return notice.result;
}

}  // namespace install
