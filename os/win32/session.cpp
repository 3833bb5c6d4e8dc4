// The user's session on Windows: the current user's Run key, shell links on
// the desktop, Toolhelp to find other copies of a program.
// windows.h comes first: the shell and Toolhelp headers rely on its types.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
// clang-format on

#include "os/session.h"

#include <cstring>
#include <string>
#include <vector>

#include "os/error.h"
#include "os/file.h"
#include "os/win32/process_list.h"

namespace os {
namespace {

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The shell-link identifiers, defined here: taking them from libuuid links
// every identifier it holds (30 KB) into each binary that makes a link.
constexpr GUID kClsidShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

bool usable(const char* name) {
    if (name != nullptr && *name != '\0' && std::strpbrk(name, "\\/:*?\"<>|") == nullptr)
        return true;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

// "\"path\" arguments", as the shell runs a Run value.
std::string command_of(const char* program_path, const char* arguments) {
    std::string command = std::string("\"") + program_path + "\"";
    if (arguments != nullptr && *arguments != '\0') command += std::string(" ") + arguments;
    return command;
}

std::wstring wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], length);
    out.resize(out.size() - 1);
    return out;
}

// COM for the calling thread, released with the scope when this took it.
class ComScope {
  public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    // Another model already set on this thread still lets us create objects.
    bool ready() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

  private:
    HRESULT result_;
};

template <typename T>
void release(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

bool fail_with(HRESULT result) {
    SetLastError(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                            : ERROR_GEN_FAILURE);
    return false;
}

}  // namespace

bool autostart_register(const char* name, const char* program_path, const char* arguments) {
    if (!usable(name) || program_path == nullptr) return false;
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &key, nullptr);
    if (status == ERROR_SUCCESS) {
        const std::string command = command_of(program_path, arguments);
        status =
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                           static_cast<DWORD>(command.size() + 1));
        RegCloseKey(key);
    }
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

bool autostart_remove(const char* name) {
    if (!usable(name)) return false;
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key);
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status == ERROR_SUCCESS) {
        status = RegDeleteValueA(key, name);
        RegCloseKey(key);
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

std::string autostart_command(const char* name) {
    if (!usable(name)) return {};
    char value[1024] = "";
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    const LONG status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    return value;
}

std::string desktop_link_path(const char* name) {
    char folder[MAX_PATH] = "";
    if (FAILED(
            SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return {};
    return std::string(folder) + "\\" + (name != nullptr ? name : "") + ".lnk";
}

bool desktop_link_create(const char* name, const char* program_path, const char* arguments,
                         const char* icon_path) {
    if (!usable(name) || program_path == nullptr) return false;
    const std::string path = desktop_link_path(name);
    if (path.empty()) return fail_with(E_FAIL);
    ComScope com;
    if (!com.ready()) return fail_with(E_FAIL);
    IShellLinkA* link = nullptr;
    HRESULT result = CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      kIidShellLinkA, reinterpret_cast<void**>(&link));
    if (FAILED(result)) return fail_with(result);
    link->SetPath(program_path);
    link->SetArguments(arguments != nullptr ? arguments : "");
    std::string folder = program_path;
    const std::size_t slash = folder.find_last_of("\\/");
    if (slash != std::string::npos) link->SetWorkingDirectory(folder.substr(0, slash).c_str());
    if (icon_path != nullptr && *icon_path != '\0') link->SetIconLocation(icon_path, 0);
    IPersistFile* file = nullptr;
    result = link->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(result)) result = file->Save(wide(path).c_str(), TRUE);
    release(file);
    release(link);
    return SUCCEEDED(result) || fail_with(result);
}

bool desktop_link_remove(const char* name) {
    if (!usable(name)) return false;
    const std::string path = desktop_link_path(name);
    if (path.empty()) return fail_with(E_FAIL);
    if (DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    return false;
}

int process_end_others(const char* exe_name) {
    if (exe_name == nullptr || *exe_name == '\0') return 0;
    std::vector<DWORD> matches;
    const DWORD self = GetCurrentProcessId();
    win32::for_each_process([&](DWORD pid, const char* listed) {
        if (pid != self && lstrcmpiA(listed, exe_name) == 0) matches.push_back(pid);
        return true;
    });
    int ended = 0;
    for (const DWORD pid : matches) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (process == nullptr) continue;
        if (TerminateProcess(process, 0)) {
            WaitForSingleObject(process, 5000);
            ++ended;
        }
        CloseHandle(process);
    }
    return ended;
}

namespace {

struct TreeWalk {
    std::string folder;
    DWORD error = 0;
};

// Removes one entry of a folder being emptied: a folder's contents first; a
// link or junction as itself, never what it points to. Read-only entries are
// made writable first. The first failure is kept, the walk goes on.
void remove_entry(void* context, const FolderEntry& entry) {
    auto* walk = static_cast<TreeWalk*>(context);
    const std::string path = walk->folder + '\\' + entry.name;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    bool removed = false;
    if (entry.is_folder && !entry.is_link) {
        removed = folder_remove_all(path.c_str());
    } else {
        removed =
            entry.is_folder ? RemoveDirectoryA(path.c_str()) != 0 : DeleteFileA(path.c_str()) != 0;
    }
    if (!removed && walk->error == 0) walk->error = GetLastError();
}

}  // namespace

// A missing folder counts as removed, as the removal of a tree that is gone.
bool folder_remove_all(const char* path) {
    if (path == nullptr || *path == '\0') return false;
    TreeWalk walk{path};
    if (!folder_list(path, remove_entry, &walk)) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
        walk.error = error;
    }
    if (walk.error == 0 && !RemoveDirectoryA(path)) walk.error = GetLastError();
    if (walk.error == 0) return true;
    SetLastError(walk.error);
    return false;
}

void termination_hold() {}

int termination_wait() {
    for (;;) Sleep(INFINITE);
}

}  // namespace os
