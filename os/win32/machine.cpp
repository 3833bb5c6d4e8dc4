// Machine facts for the check-item plug-ins through the Windows API.
#include "os/machine.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace os {
namespace {

// Kernel32 and ntdll exports that older systems lack, looked up once.
template <class Function>
Function system_export(const char* module, const char* name) {
    const HMODULE loaded = GetModuleHandleA(module);
    return loaded != nullptr ? reinterpret_cast<Function>(
                                   reinterpret_cast<void (*)()>(GetProcAddress(loaded, name)))
                             : nullptr;
}

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
using Wow64RedirectionFunction = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFunction = BOOL(WINAPI*)(PVOID);

HKEY root_key(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::kClassesRoot:
            return HKEY_CLASSES_ROOT;
        case RegistryRoot::kCurrentUser:
            return HKEY_CURRENT_USER;
        case RegistryRoot::kLocalMachine:
            return HKEY_LOCAL_MACHINE;
        case RegistryRoot::kUsers:
            return HKEY_USERS;
        case RegistryRoot::kCurrentConfig:
            return HKEY_CURRENT_CONFIG;
    }
    return nullptr;
}

bool is_missing(LONG status) {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

RegistryRead failed(LONG status) {
    SetLastError(static_cast<DWORD>(status));
    return RegistryRead::kFailed;
}

// The value's type and bytes; the size may grow between the two queries.
LONG query_value(HKEY key, const char* name, DWORD* type, std::string* data) {
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 8; ++attempt) {
        data->assign(size + 2, '\0');  // room for terminators the data may lack
        DWORD got = size;
        status =
            RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(&(*data)[0]), &got);
        if (status == ERROR_SUCCESS) {
            data->resize(got);
            return ERROR_SUCCESS;
        }
        if (status == ERROR_MORE_DATA) {
            size = got;
            status = ERROR_SUCCESS;
        }
    }
    return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
}

}  // namespace

bool process_names(std::vector<std::string>* names) {
    if (names == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    names->clear();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    bool more = Process32First(snapshot, &entry) != FALSE;
    const bool listed = more || GetLastError() == ERROR_NO_MORE_FILES;
    for (; more; more = Process32Next(snapshot, &entry) != FALSE) {
        entry.szExeFile[sizeof entry.szExeFile - 1] = '\0';
        if (entry.szExeFile[0] != '\0') names->emplace_back(entry.szExeFile);
    }
    CloseHandle(snapshot);
    return listed;
}

bool system_release(std::string* out) {
    if (out == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const auto rtl_get_version = system_export<RtlGetVersionFunction>("ntdll.dll", "RtlGetVersion");
    OSVERSIONINFOW version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (rtl_get_version == nullptr || rtl_get_version(&version) != 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu", version.dwMajorVersion, version.dwMinorVersion,
                  version.dwBuildNumber);
    *out = text;
    return true;
}

RegistryRead registry_read(RegistryRoot root, const char* subkey, const char* value_name,
                           RegistryValue* out) {
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExA(root_key(root), subkey != nullptr ? subkey : "", 0,
                                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key);
    if (is_missing(opened)) return RegistryRead::kKeyMissing;
    if (opened != ERROR_SUCCESS) return failed(opened);
    if (value_name == nullptr) {
        RegCloseKey(key);
        return RegistryRead::kFound;
    }
    DWORD type = REG_NONE;
    std::string data;
    const LONG status = query_value(key, value_name, &type, &data);
    RegCloseKey(key);
    if (is_missing(status)) return RegistryRead::kValueMissing;
    if (status != ERROR_SUCCESS) return failed(status);
    if (out == nullptr) return RegistryRead::kFound;

    *out = RegistryValue{};
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            out->kind = RegistryKind::kText;
            out->text.assign(data.c_str());  // up to its terminator, if it has one
            break;
        case REG_DWORD:
            if (data.size() >= 4) {
                DWORD number = 0;
                std::memcpy(&number, data.data(), sizeof number);
                out->kind = RegistryKind::kNumber;
                out->number = number;
            }
            break;
        case REG_QWORD:
            if (data.size() >= 8) {
                unsigned long long number = 0;
                std::memcpy(&number, data.data(), sizeof number);
                out->kind = RegistryKind::kNumber;
                out->number = number;
            }
            break;
        default:
            break;
    }
    return RegistryRead::kFound;
}

NativeFileView::NativeFileView() {
    static const auto disable =
        system_export<Wow64RedirectionFunction>("kernel32.dll", "Wow64DisableWow64FsRedirection");
    // Fails on a 32-bit system, where there is nothing to turn off.
    if (disable != nullptr) active_ = disable(&saved_) != FALSE;
}

NativeFileView::~NativeFileView() {
    static const auto revert =
        system_export<Wow64RevertFunction>("kernel32.dll", "Wow64RevertWow64FsRedirection");
    if (active_ && revert != nullptr) revert(saved_);
}

}  // namespace os
