#include "autocheck/runtime/server_probe.h"

#include <cstdio>

#include "autocheck/bound_modules.h"
#include "cutil/file.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"

namespace {

constexpr char kUpdateFile[] = "TarnAssistantUpdate.inf";
// The description is a few lines of text: a server's file of any size is
// refused at 64 KiB by the HTTP client, and nothing is saved.
constexpr char kRequestFormat[] =
    "<TARN><DownloadUrl>%s%s</DownloadUrl><LocalSavePath>%s</LocalSavePath>"
    "<MaxSize>65536</MaxSize></TARN>";
// The download path and the local path hold at most 259 characters each.
constexpr std::size_t kRequestSize = sizeof kRequestFormat + sizeof kUpdateFile + 2 * kPathSize;

}  // namespace

int QUARN_CDECL IsCanConnectToServer() {
    // Any earlier download goes first: a stale description must not survive
    // a failed download. The assistant process reads what arrives.
    char local_path[kPathSize] = "";
    if (gateway::assistant_file_path(kUpdateFile, local_path)) cutil_file_Delete(local_path);

    char down_path[kPathSize] = "";
    ReadConfigText("ServerDownPath", down_path, sizeof down_path);
    if (down_path[0] == '\0') return 1;
    // Without the HTTP client nothing can be downloaded.
    if (HttpDownloadFile == nullptr) return 0;

    char request[kRequestSize];
    std::snprintf(request, sizeof request, kRequestFormat, down_path, kUpdateFile, local_path);
    return HttpDownloadFile(request, 0) != 0 ? 1 : 0;
}
