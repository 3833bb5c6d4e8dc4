// "-u": what the installation and the assistant's own running left behind
// goes, except the user log, which records what happened.
#include <string>

#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/sibling_abi.h"
#include "os/error.h"
#include "os/file.h"
#include "os/session.h"
#include "programs/TarnAssistant/host.h"
#include "siblings/QuarnActivex/module_fetch.h"
#include "siblings/QuarnAssCommunicate/local_frame.h"
#include "siblings/QuarnAssConfigMgr/config_store.h"

namespace assistant {
namespace {

// The product's settings and state in the assistant directory: the
// configuration store (and a damaged one set aside), the local frames'
// secret, the installation's settings files, the downloaded policies and
// the pages the agent wrote.
const std::string kSettingsFiles[] = {
    config_store::kStoreFileName,
    std::string(config_store::kStoreFileName) + config_store::kDamagedSuffix,
    communicate::kSecretFileName,
    "QuarnAssAutoCheck.inf",
    "TarnAssistant.inf",
    "QuarnAssAutoCheckData.inf",
    "TarnAssistantUpdate.inf",
    "SecurityCheckPolicy.xml",
    "SoftForbid.inf",
    "GuestMaskPage.html",
    "QuarnUserSwitch.html",
    "RepairPage.html",
};

void remove_file(const std::string& path) {
    if (os::file_attributes(path.c_str()) == os::kInvalidFileAttributes) return;
    if (!os::file_delete(path.c_str())) {
        LogTrace("uninstall", kTraceError, kTraceSource, __LINE__, "删除文件失败: %s",
                 path.c_str());
    }
}

}  // namespace

void uninstall() {
    const int ended = os::process_end_others(sibling::kAssistantExe);
    LogTrace("uninstall", kTraceInfo, kTraceSource, __LINE__, "卸载小助手, 结束 %d 个小助手进程",
             ended);
    os::autostart_remove(kAutostartName);
    char link[kPathSize] = "";
    if (ReadConfigText(kLinkNameKey, link, sizeof link) > 0 && link[0] != '\0')
        os::desktop_link_remove(link);
    char directory_text[kPathSize] = "";
    GetAssistantDir(directory_text);
    const std::string directory = directory_text;
    for (const std::string& name : kSettingsFiles) remove_file(directory + name);
    // The downloaded modules; one the other assistant still had loaded on
    // Windows stays until the next uninstall.
    if (!os::folder_remove_all((directory + activex::kCacheFolder).c_str())) {
        LogTrace("uninstall", kTraceError, kTraceSource, __LINE__, "删除模块缓存失败: %u",
                 static_cast<unsigned>(os::last_error()));
    }
}

}  // namespace assistant
