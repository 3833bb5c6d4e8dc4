#include "siblings/plugins/QuarnCheckRegistry/registry_key.h"

#include "siblings/plugins/common/gbk_text.h"

namespace plugin {
namespace {

struct RootName {
    const char* name;
    const char* short_name;
    os::RegistryRoot root;
};

constexpr RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", os::RegistryRoot::kClassesRoot},
    {"HKEY_CURRENT_USER", "HKCU", os::RegistryRoot::kCurrentUser},
    {"HKEY_LOCAL_MACHINE", "HKLM", os::RegistryRoot::kLocalMachine},
    {"HKEY_USERS", "HKU", os::RegistryRoot::kUsers},
    {"HKEY_CURRENT_CONFIG", "HKCC", os::RegistryRoot::kCurrentConfig},
};

int digit_value(char c, int base) {
    int value = 16;
    if (c >= '0' && c <= '9') value = c - '0';
    if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

}  // namespace

bool parse_registry_key(const std::string& text, RegistryKey* key) {
    const std::size_t separator = text.find('\\');
    const std::string root = text.substr(0, separator);
    for (const RootName& known : kRoots) {
        if (same_keyword(root.c_str(), known.name) ||
            same_keyword(root.c_str(), known.short_name)) {
            key->root = known.root;
            key->subkey = separator == std::string::npos ? "" : text.substr(separator + 1);
            // The system refuses a subkey that begins with "\": "HKLM\\X" is a typo.
            return key->subkey.empty() || key->subkey[0] != '\\';
        }
    }
    return false;
}

bool parse_registry_number(const std::string& text, std::uint64_t* number) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const int base = hex ? 16 : 10;
    const std::size_t first = hex ? 2 : 0;
    if (text.size() <= first) return false;
    std::uint64_t value = 0;
    for (std::size_t i = first; i < text.size(); ++i) {
        const int digit = digit_value(text[i], base);
        if (digit < 0 || value > (UINT64_MAX - static_cast<std::uint64_t>(digit)) / base) {
            return false;
        }
        value = value * base + static_cast<std::uint64_t>(digit);
    }
    *number = value;
    return true;
}

}  // namespace plugin
