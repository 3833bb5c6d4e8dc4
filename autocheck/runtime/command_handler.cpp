// The command table and the commands that answer 1. A forced check runs the
// whole admission cycle on the receive thread: the server's push is
// answered once the cycle has ended.
#include "autocheck/runtime/command_handler.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "autocheck/runtime/admission_cycle.h"
#include "autocheck/runtime/check_page_process.h"
#include "autocheck/runtime/command_steps.h"
#include "autocheck/runtime/install_notice.h"
#include "autocheck/runtime/switch_queue.h"
#include "autocheck/runtime/switch_user_thread.h"
#include "cutil/text.h"
#include "cutil/xml.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/launch.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"
#include "os/fault.h"
#include "os/process.h"

namespace {

using server_command::kBalloonMs;
using server_command::kNoticeTitle;

int ForcedCheck(const XmlNode* command, bool disturb) {
    Call_TarnLogToFile("%s", "收到强制安全检查请求");
    COMMAND_TRACE(kTraceInfo, "收到强制安全检查请求");
    if (const os::Handle page = autocheck::take_check_page()) {
        COMMAND_TRACE(kTraceInfo, "关掉前一页面");
        autocheck::end_check_page(page);
    }
    if (!disturb) {
        const char* message = cutil_xml_get(command, "TARN/Msg");
        Call_ShowBalloonMsg(kNoticeTitle,
                            message != nullptr ? message : "管理员给您发了一个强制安全检查命令",
                            kBalloonMs);
    }
    AutoAuthAndCheck();
    return 1;
}

// True when the command names another device. Guarded: nothing here needs
// a destructor.
struct TargetCheck {
    const XmlNode* command;
    bool other_device = false;
};

void check_target(void* context) {
    auto* check = static_cast<TargetCheck*>(context);
    const int target = cutil_xml_get_int(check->command, "TARN/DevID");
    if (target == -1) {  // absent or no number: a message for every device
        COMMAND_TRACE(kTraceInfo, "ShowUserOneMsg: 没有收到设备ID");
        return;
    }
    int own = 0;
    ReadConfigInt("DeviceId", &own);
    COMMAND_TRACE(kTraceInfo, "nDeviceId: %d nDeviceId_Get: %d", own, target);
    if (own != target) {
        COMMAND_TRACE(kTraceInfo, "ShowUserOneMsg: 目标设备不是此电脑 %d - %d", own, target);
        check->other_device = true;
    }
}

int ShowUserOneMsg(const XmlNode* command, bool disturb) {
    if (disturb) return 1;
    TargetCheck check{command};
    // A fault while comparing shows the message anyway.
    if (os::fault_guard(&check_target, &check) != os::Fault::kNone) {
        COMMAND_TRACE(kTraceInfo, "处理 ShowUserOneMsg 发生异常");
    }
    if (check.other_device) return 1;
    const char* message = cutil_xml_get(command, "TARN/Msg");
    if (message != nullptr) {
        Call_TarnLogToFile("收到管理员消息: %s", message);
        COMMAND_TRACE(kTraceInfo, "收到管理员消息: %s", message);
        Call_ShowBalloonMsg(kNoticeTitle, message, kBalloonMs);
    }
    return 1;
}

int IpRenew(const XmlNode*, bool) {
    COMMAND_TRACE(kTraceInfo, "刷新IP");
    Call_TarnLogToFile("%s", "刷新IP");
    LaunchProgram(nullptr, "ipconfig.exe", "-renew", 0);
    int nat = 0;
    ReadConfigInt("SupportNat", &nat);
    if (nat != 0) TarnSetIpTTL(0);
    return 1;
}

struct FreeDeleter {
    void operator()(char* block) const { std::free(block); }
};

int SwitchUser(const XmlNode* command, bool) {
    using autocheck::kSwitchFieldSize;
    // The thread releases the block to the standard library heap.
    std::unique_ptr<char, FreeDeleter> block(
        static_cast<char*>(std::calloc(1, autocheck::kSwitchBlockSize)));
    if (block == nullptr) {
        COMMAND_TRACE(kTraceError, "内存不足");
        return 1;
    }
    const char* user = cutil_xml_get(command, "TARN/UserName");
    const char* password = cutil_xml_get(command, "TARN/Password");
    if (user == nullptr) {
        COMMAND_TRACE(kTraceError, "用户切换没有指定用户名");
        Call_TarnLogToFile("%s", "用户切换没有指定用户名");
        return 1;
    }
    std::snprintf(block.get(), kSwitchFieldSize, "%s", user);
    if (password != nullptr) {
        std::snprintf(block.get() + kSwitchFieldSize, kSwitchFieldSize, "%s", password);
    }
    COMMAND_TRACE(kTraceInfo, "创建用户切换线程");
    // One switch thread takes the requests in the order they came.
    if (!autocheck::queue_switch(block.release())) {
        COMMAND_TRACE(kTraceError, "创建用户切换线程失败");
    }
    return 1;
}

// An installer found this assistant running and forwarded the server's
// packet: it is applied here, and the answer tells the installer whether it
// was, so that a refused packet is stored by the installer itself.
int DeviceRegNotify(const XmlNode* command, bool) {
    return install::apply_forwarded_packet(command);
}

struct Command {
    const char* name;
    int (*run)(const XmlNode* command, bool disturb);
};

// Looked up in this order; names compare without case.
const Command kCommands[] = {
    {"DoSecurityCheck", ForcedCheck},
    {"ShowUserOneMsg", ShowUserOneMsg},
    {"IpRenew", IpRenew},
    {"SwitchUser", SwitchUser},
    {"ShutdownNetwork", server_command::ShutdownNetwork},
    {"OpenNewUrl", server_command::OpenNewUrl},
    {"DeviceRegNotify", DeviceRegNotify},
};

}  // namespace

int QUARN_CDECL PacketRecvCallBack(XmlNode* command) {
    if (command == nullptr) return 1;
    int disturb = 0;
    ReadConfigInt("IsDisturb", &disturb);
    const char* what = cutil_xml_get(command, "TARN/WhatToDo");
    if (what == nullptr) return 1;
    for (const Command& entry : kCommands) {
        if (cutil_str_iequal(what, entry.name)) return entry.run(command, disturb != 0);
    }
    return 0;
}
