#include "programs/quarnctl/status_trust.h"

#include <cstdio>
#include <string>

#include "interface/assistant_dir.h"
#include "interface/trust_settings.h"
#include "os/data_protection.h"
#include "siblings/QuarnAssCommunicate/replay_window.h"

namespace quarnctl {
namespace {

bool assistant_file_exists(const char* name) {
    char path[kPathSize] = "";
    os::FileStamp stamp;
    return gateway::assistant_file_path(name, path) && os::file_stamp(path, &stamp) && stamp.exists;
}

}  // namespace

void print_protections() {
    const bool downgraded = security_downgraded();
    const bool push_key = !config_value("CryptKey").empty();
    const bool sign_key = !config_value(kModuleSignKeyName).empty();
    if (downgraded) {
        std::printf(
            "security:    DOWNGRADED (SecurityDowngrade=1): protections an installation "
            "did not set up are off\n");
    }
    // With the key every push is sealed; the downgrade admits unsealed ones too.
    const char* pushes = "refused: no CryptKey (install again)";
    if (push_key) {
        pushes = downgraded
                     ? "authenticated with this device's key (CryptKey), UNSEALED ones taken too"
                     : "authenticated with this device's key (CryptKey), sealed";
    } else if (downgraded) {
        pushes = "NOT AUTHENTICATED: taken without a key";
    }
    std::printf("pushes:      %s\n", pushes);
    std::printf("modules:     %s\n", sign_key     ? "signed manifests (ModuleSignKey), no rollback"
                                     : downgraded ? "NOT VERIFIED: loaded without a manifest"
                                                  : "refused: no ModuleSignKey (install again)");
    std::printf("replay:      %s\n", assistant_file_exists(communicate::kWindowFileName)
                                         ? "window kept across restarts"
                                         : "no push taken yet");
    if ((!push_key || !sign_key) && assistant_file_exists("QuarnAssConfig.dat.damaged")) {
        std::printf(
            "store:       a damaged store was set aside (QuarnAssConfig.dat.damaged); "
            "its keys are gone until the device is installed again\n");
    }
}

}  // namespace quarnctl
