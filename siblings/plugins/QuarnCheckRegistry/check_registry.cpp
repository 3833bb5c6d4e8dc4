// CheckRegistry: a registry key or value that must exist or must not, or a
// value that must equal a given one. POSIX has no registry: always "No".
//   <Option><RegKey>HKLM\SOFTWARE\Quarn</RegKey><ValueName>Installed</ValueName>
//           <Value>1</Value></Option>
#include <string>

#include "interface/sibling_abi.h"
#include "os/error.h"
#include "os/machine.h"
#include "siblings/plugins/QuarnCheckRegistry/registry_key.h"
#include "siblings/plugins/common/plugin_entry.h"

namespace {

constexpr plugin::OptionRule kRules[] = {
    {"RegKey", true},      // "HKEY_LOCAL_MACHINE\…" or "HKLM\…"
    {"ValueName", false},  // absent: the key itself is checked
    {"Exist", false},      // "Yes" (the default) or "No"
    {"Value", false},      // text compared exactly; numbers in decimal or 0x hex
};

plugin::Verdict compare(const std::string& subject, const os::RegistryValue& value,
                        const std::string& wanted) {
    const std::string wanted_shown = plugin::shown(wanted);
    switch (value.kind) {
        case os::RegistryKind::kText: {
            const std::string actual = plugin::shown(value.text);
            if (value.text == wanted) {
                return plugin::passed("%s 的值为 %s", subject.c_str(), actual.c_str());
            }
            return plugin::failed("%s 的值为 %s，要求为 %s", subject.c_str(), actual.c_str(),
                                  wanted_shown.c_str());
        }
        case os::RegistryKind::kNumber: {
            std::uint64_t number = 0;
            if (!plugin::parse_registry_number(wanted, &number)) {
                return plugin::bad_option("选项 Value 的值 %s 不是数字，而 %s 是数值",
                                          wanted_shown.c_str(), subject.c_str());
            }
            const auto actual = static_cast<unsigned long long>(value.number);
            if (value.number == number) {
                return plugin::passed("%s 的值为 %llu", subject.c_str(), actual);
            }
            return plugin::failed("%s 的值为 %llu，要求为 %s", subject.c_str(), actual,
                                  wanted_shown.c_str());
        }
        case os::RegistryKind::kOther:
            break;
    }
    return plugin::failed("%s 的类型不能与 %s 比较", subject.c_str(), wanted_shown.c_str());
}

plugin::Verdict check_registry(const plugin::Options& options) {
    const std::string key_text = options.text("RegKey");
    const char* value_name = options.text("ValueName");
    const char* wanted = options.text("Value");
    bool must_exist = true;
    if (auto bad = options.flag("Exist", true, &must_exist)) return *bad;
    if (wanted != nullptr && value_name == nullptr) {
        return plugin::bad_option("选项 Value 需要选项 ValueName");
    }
    if (wanted != nullptr && !must_exist) {
        return plugin::bad_option("选项 Value 只能用于 Exist 为 Yes 的检查");
    }
    plugin::RegistryKey key;
    if (!plugin::parse_registry_key(key_text, &key)) {
        return plugin::bad_option("选项 RegKey 的值 %s 不是有效的注册表项",
                                  plugin::shown(key_text).c_str());
    }
    const std::string subject = value_name == nullptr ? "注册表项 " + plugin::shown(key_text)
                                                      : "注册表值 " + plugin::shown(key_text) +
                                                            "\\" + plugin::shown(value_name);

    os::RegistryValue value;
    switch (os::registry_read(key.root, key.subkey.c_str(), value_name, &value)) {
        case os::RegistryRead::kUnsupported:
            return plugin::failed("本系统没有注册表");
        case os::RegistryRead::kFailed:
            return plugin::failed("无法读取%s，错误 %u", subject.c_str(), os::last_error());
        case os::RegistryRead::kKeyMissing:
        case os::RegistryRead::kValueMissing:
            if (!must_exist) return plugin::passed("%s 不存在", subject.c_str());
            return plugin::failed("%s 不存在", subject.c_str());
        case os::RegistryRead::kFound:
            break;
    }
    if (!must_exist) return plugin::failed("%s 存在，要求不存在", subject.c_str());
    if (wanted == nullptr) return plugin::passed("%s 存在", subject.c_str());
    return compare(subject, value, wanted);
}

constexpr plugin::Plugin kCheckRegistry{"CheckRegistry", "QuarnCheckRegistry.cpp", kRules,
                                        sizeof kRules / sizeof kRules[0], &check_registry};

}  // namespace

QUARN_EXPORT int QUARN_CDECL CheckRegistry(const char* argument, char** result) {
    return plugin::run(kCheckRegistry, argument, result);
}

static_assert(sizeof(sibling::PluginFunction{&CheckRegistry}) > 0);
