// UserSwitchAddUser and GetUserSwitchList: the list is read, changed and
// written back whole under one cross-process lock, so that two programs
// changing it at once both keep their change.
#include "autocheck/users/user_list.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "autocheck/trace_sources.h"
#include "autocheck/users/assistant_module.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/config_access.h"
#include "interface/sibling_abi.h"
#include "interface/user_log.h"
#include "os/fault.h"
#include "os/memory.h"
#include "os/mutex.h"

namespace {

constexpr char kListKey[] = "UserSwitchInfo";
constexpr char kEmptyList[] = "<TARN></TARN>";
constexpr std::size_t kAnswerSize = 64;

struct GlobalDeleter {
    void operator()(char* block) const { os::global_free(block); }
};
using GlobalText = std::unique_ptr<char, GlobalDeleter>;

// Traced at error level under `function` and written to the user log.
#define USERS_REPORT(function, ...)                                                          \
    do {                                                                                     \
        LogTrace(function, kTraceError, autocheck::kAutoCheckSource, __LINE__, __VA_ARGS__); \
        Call_TarnLogToFile(__VA_ARGS__);                                                     \
    } while (0)

bool load_config_module(const char* function) {
    char path[kPathSize];
    if (autocheck::ensure_assistant_module(sibling::kConfigMgrDll, path)) return true;
    USERS_REPORT(function, "加载模块失败 %s", path);
    return false;
}

// A copy of `text` in global memory; null when it cannot be allocated.
char* global_copy(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(os::global_alloc(size));
    if (copy != nullptr) std::memcpy(copy, text, size);
    return copy;
}

const char* text_or_empty(const char* text) {
    return text != nullptr ? text : "";
}

struct Entry {
    const char* name;
    const char* password;
    const char* remark;
    int is_add;
};

void set_entry(XmlNode* list, int index, const Entry& entry) {
    cutil_xml_set(list, entry.name, "TARN/UserInfo[%d]/UserName", index);
    cutil_xml_set(list, entry.password, "TARN/UserInfo[%d]/Password", index);
    cutil_xml_set(list, entry.remark, "TARN/UserInfo[%d]/Remark", index);
}

// The first entry named `name` without regard to case; 0 when none is.
int find_entry(const XmlNode* list, const char* name) {
    const int count = cutil_xml_count(list, "TARN/UserInfo");
    for (int i = 1; i <= count; ++i) {
        const char* stored = cutil_xml_get(list, "TARN/UserInfo[%d]/UserName", i);
        if (stored != nullptr && cutil_str_iequal(stored, name)) return i;
    }
    return 0;
}

// The stored list with the request's change applied; null (reported) when
// there is nothing to store.
XmlDocument changed_list(const Entry& entry) {
    constexpr char kFunction[] = "UserSwitchAddUser";
    char* stored = nullptr;
    if (Call_TarnReadConfig(kListKey, &stored) == 0) {
        if (entry.is_add == 0) {
            USERS_REPORT(kFunction, "帐号切换信息为空，无法删除帐号 %s", entry.name);
            return nullptr;
        }
        XmlDocument list(cutil_xml_create(autocheck::kAutoCheckSource, kFunction, __LINE__));
        if (list == nullptr || cutil_xml_add(list.get(), nullptr, "TARN/UserInfo") < 0) {
            return nullptr;
        }
        set_entry(list.get(), 1, entry);
        return list;
    }
    XmlDocument list(cutil_xml_import(stored, autocheck::kAutoCheckSource, kFunction, __LINE__));
    os::global_free(stored);
    if (list == nullptr) {
        USERS_REPORT(kFunction, "%s", "取帐号信息失败");
        return nullptr;
    }
    const int found = find_entry(list.get(), entry.name);
    if (found != 0 && entry.is_add != 0) {
        set_entry(list.get(), found, entry);
    } else if (found != 0) {
        cutil_xml_delete(list.get(), "TARN/UserInfo[%d]", found);
    } else if (entry.is_add == 0) {
        USERS_REPORT(kFunction, "没有找到想要删除的帐号 %s", entry.name);
        return nullptr;
    } else {
        const int added = cutil_xml_add(list.get(), nullptr, "TARN/UserInfo");
        if (added < 0) return nullptr;
        set_entry(list.get(), added, entry);
    }
    return list;
}

int store_list(const XmlNode* list) {
    const int size = cutil_xml_export(list, nullptr, 0);
    std::unique_ptr<char[]> text(size > 0 ? new (std::nothrow) char[size] : nullptr);
    if (text == nullptr) {
        USERS_REPORT("UserSwitchAddUser", "%s", "cutil_xml_export 失败，无法保存新的账号信息");
        return 0;
    }
    cutil_xml_export(list, text.get(), size);
    return Call_TarnWriteConfig(kListKey, text.get()) != 0 ? 1 : 0;
}

struct ListChange {
    const Entry* entry;
    int result;
};

// A fault here loses the document being built, nothing else.
void change_list(void* context) {
    auto* change = static_cast<ListChange*>(context);
    const XmlDocument list = changed_list(*change->entry);
    change->result = list != nullptr ? store_list(list.get()) : 0;
}

int add_user(const char* request_text) {
    constexpr char kFunction[] = "UserSwitchAddUser";
    if (!load_config_module(kFunction)) return 0;
    XmlDocument request(
        request_text == nullptr
            ? nullptr
            : cutil_xml_import(request_text, autocheck::kAutoCheckSource, kFunction, __LINE__));
    if (request == nullptr) {
        USERS_REPORT(kFunction, "%s", "参数不全");
        return 0;
    }
    const Entry entry{cutil_xml_get(request.get(), "TARN/UserName"),
                      text_or_empty(cutil_xml_get(request.get(), "TARN/Password")),
                      text_or_empty(cutil_xml_get(request.get(), "TARN/Remark")),
                      cutil_xml_get_int(request.get(), "TARN/IsAdd")};
    if (entry.name == nullptr || *entry.name == '\0') {
        USERS_REPORT(kFunction, "%s", "没有指定用户名");
        return 0;
    }
    // Held from the read to the write: a change made meanwhile by another
    // program would otherwise be written over. The change runs under the
    // fault guard inside the lock, so a fault (in the configuration module,
    // say) lets the lock go instead of stopping every later change.
    const os::NamedMutexLock one_change_at_a_time(autocheck::kUserListLockName);
    ListChange change{&entry, 0};
    if (os::fault_guard(&change_list, &change) != os::Fault::kNone) {
        USERS_REPORT(kFunction, "%s", "发生异常");
        return 0;
    }
    return change.result;
}

}  // namespace

int QUARN_STDCALL UserSwitchAddUser(const char* request, char** answer) {
    const int result = add_user(request);
    char* text = static_cast<char*>(os::global_alloc(kAnswerSize));
    if (text == nullptr) return 0;
    std::snprintf(text, kAnswerSize, "<TARN><Result>%d</Result></TARN>", result);
    if (answer != nullptr) {
        *answer = text;
    } else {
        os::global_free(text);
    }
    return result;
}

int QUARN_STDCALL GetUserSwitchList(const char*, char** list) {
    if (!load_config_module("GetUserSwitchList")) return 0;
    char* stored = nullptr;
    char* copy = nullptr;
    if (Call_TarnReadConfig(kListKey, &stored) != 0) {
        copy = global_copy(stored);
        os::global_free(stored);
    } else {
        copy = global_copy(kEmptyList);
    }
    if (list != nullptr) {
        *list = copy;
    } else {
        os::global_free(copy);
    }
    return 1;
}
