// InstallTarnAssistant: the siblings initialised in the caller's process,
// the packet forwarded or stored, the assistant started for installation.
// Steps 1 to 8 run under one fault guard; the finish runs on every path.
#include "autocheck/runtime/install.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "autocheck/runtime/install_steps.h"
#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/launch.h"
#include "interface/module_call.h"
#include "interface/sibling_abi.h"
#include "os/fault.h"
#include "os/file.h"
#include "os/memory.h"

namespace {

using install::kFunction;

constexpr char kParseFailed[] = "取策略报文失败";
constexpr std::size_t kParseFailedSize = 120;
constexpr char kFaulted[] = "发生异常,调用失败";
constexpr std::size_t kFaultedSize = 60;
constexpr char kResultFile[] = "QuarnAssAutoCheckData.inf";
constexpr int kShowMaximized = 3;

// What the guarded steps leave for the finish.
struct Attempt {
    const char* text;
    XmlNode* document;
    int result;
    const char* message;  // null: none
    std::size_t message_size;
};

void fail(Attempt* attempt, const char* message, std::size_t size) {
    attempt->result = 0;
    attempt->message = message;
    attempt->message_size = size;
}

// The caller's process may not have loaded them yet; a failure is theirs to
// trace and does not stop the installation.
void init_siblings() {
    for (const char* module :
         {sibling::kConfigMgrDll, sibling::kLogDll, sibling::kCommunicateDll}) {
        char path[kPathSize];
        if (!gateway::assistant_file_path(module, path)) continue;
        char* result = nullptr;
        CallOneModuleFuncA(path, "", "Init", &result);
        std::free(result);
    }
}

// "-u" uninstalls, "-cl:<link name>" installs with a desktop link.
void start_assistant(int is_install, const char* link_name) {
    char link[kPathSize - 16] = "";  // room for the switches around it
    if (is_install == 1) install::link_file_name(link_name, link, sizeof link);
    char command_line[kPathSize];
    std::snprintf(command_line, sizeof command_line, "%s%s|-install",
                  is_install == 0   ? "-u"
                  : is_install == 1 ? "-cl:"
                                    : "",
                  link);
    char program[kPathSize];
    if (!gateway::assistant_file_path(sibling::kAssistantExe, program)) return;
    if (LaunchProgram(nullptr, program, command_line, kShowMaximized) == 0) {
        INSTALL_TRACE(kTraceError, "启动小助手失败: %s %s", program, command_line);
    }
}

void install_steps(void* context) {
    auto* attempt = static_cast<Attempt*>(context);
    init_siblings();
    attempt->document =
        cutil_xml_import(attempt->text, autocheck::kAutoCheckSource, kFunction, __LINE__);
    if (attempt->document == nullptr) {
        fail(attempt, kParseFailed, kParseFailedSize);
        return;
    }
    if (install::forward_registration(attempt->document)) {
        attempt->result = 1;
        return;
    }
    install::Packet packet;
    install::read_packet(attempt->document, &packet);
    INSTALL_TRACE(kTraceError, "开始保存配置");
    // Without a check page there is no server to store: refused before
    // anything is written, as a failed call.
    if (packet.text[install::kCheckUrl] == nullptr) {
        INSTALL_TRACE(kTraceError, "策略报文中没有CheckUrl");
        fail(attempt, kFaulted, kFaultedSize);
        return;
    }
    install::store_settings(packet);
    INSTALL_TRACE(kTraceError, "配置保存完成");
    start_assistant(packet.is_install, packet.text[install::kDeskLinkName]);
    attempt->result = 1;
}

void hand_message(const Attempt& attempt, char** error_message) {
    if (attempt.message == nullptr || error_message == nullptr) return;
    auto* block = static_cast<char*>(os::global_alloc(attempt.message_size));
    if (block == nullptr) return;
    std::snprintf(block, attempt.message_size, "%s", attempt.message);
    *error_message = block;
}

void schedule_result_file_deletion() {
    INSTALL_TRACE(kTraceInfo, "把结果文件标记为开机删除");
    char path[kPathSize];
    if (!gateway::assistant_file_path(kResultFile, path)) return;
    if (!os::file_schedule_delete_at_restart(path)) {
        INSTALL_TRACE(kTraceError, "标记开机删除失败: %s", path);
    }
}

}  // namespace

namespace install {

// The link name as a file name can hold it: "|" would cut the assistant's
// command line into switches of the packet's choosing ("|-u" uninstalls), a
// quote would end the parameter. Such characters are dropped (traced).
void link_file_name(const char* name, char* out, std::size_t size) {
    std::size_t used = 0;
    bool dropped = false;
    for (const char* p = name; p != nullptr && *p != '\0' && used + 1 < size; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || std::strchr("|\"<>:*?/\\", c) != nullptr) {
            dropped = true;
            continue;
        }
        out[used++] = static_cast<char>(c);
    }
    out[used] = '\0';
    if (dropped)
        INSTALL_TRACE(kTraceError, "桌面快捷方式名称中有文件名不能有的字符, 已去掉: %s", out);
}

}  // namespace install

int QUARN_STDCALL InstallTarnAssistant(const char* packet, char** error_message) {
    Attempt attempt{packet, nullptr, 0, nullptr, 0};
    if (os::fault_guard(&install_steps, &attempt) != os::Fault::kNone) {
        fail(&attempt, kFaulted, kFaultedSize);
    }
    cutil_xml_free(attempt.document);
    hand_message(attempt, error_message);
    schedule_result_file_deletion();
    return attempt.result;
}
