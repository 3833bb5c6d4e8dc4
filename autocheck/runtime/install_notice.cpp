#include "autocheck/runtime/install_notice.h"

#include "autocheck/runtime/install_steps.h"
#include "interface/assistant_dir.h"
#include "interface/desktop_link.h"
#include "interface/sibling_abi.h"
#include "interface/user_log.h"
#include "os/fault.h"

namespace install {
namespace {

constexpr char kApplied[] = "收到设备注册通知，已保存配置";

struct Notice {
    const XmlNode* document;
    int result;
};

// What the installation's start of the assistant with "-cl:<name>" does
// before the agent runs: the link to the assistant program, its name kept.
// The name is cleaned as the installation cleans it for the command line.
bool make_link(const char* name) {
    char link[kPathSize] = "";
    link_file_name(name, link, sizeof link);
    char program[kPathSize];
    char icon[kPathSize];
    return gateway::assistant_file_path(sibling::kAssistantExe, program) &&
           gateway::assistant_file_path(gateway::kAssistantIconFile, icon) &&
           gateway::make_desktop_link(link, program, icon);
}

// Holds nothing that needs a destructor.
void apply(void* context) {
    auto* notice = static_cast<Notice*>(context);
    Packet packet;
    read_packet(notice->document, &packet);
    if (packet.text[kCheckUrl] == nullptr) {
        INSTALL_TRACE(kTraceError, "策略报文中没有CheckUrl");
        return;
    }
    // An uninstalling packet ends this assistant: left to the installer,
    // which starts the uninstallation as it does with no assistant running.
    if (packet.is_install == 0) {
        INSTALL_TRACE(kTraceError, "卸载的策略报文交给安装程序处理");
        return;
    }
    store_settings(packet);
    if (packet.is_install == 1 && !make_link(packet.text[kDeskLinkName])) return;
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
