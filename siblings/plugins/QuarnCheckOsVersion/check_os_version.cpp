// CheckOsVersion: the operating system at least a given version. Windows
// compares the system's own version (major.minor.build), POSIX the kernel
// release (its leading numbers: "6.1.0-18-amd64" is 6.1.0).
//   <Option><MinVersion>6.1.7601</MinVersion></Option>
#include <string>

#include "interface/sibling_abi.h"
#include "os/error.h"
#include "os/machine.h"
#include "siblings/plugins/QuarnCheckOsVersion/dotted_version.h"
#include "siblings/plugins/common/plugin_entry.h"

namespace {

constexpr plugin::OptionRule kRules[] = {
    {"MinVersion", true},  // one to four numbers separated by dots
};

plugin::Verdict check_os_version(const plugin::Options& options) {
    const std::string wanted_text = options.text("MinVersion");
    const std::string wanted_shown = plugin::shown(wanted_text);
    plugin::DottedVersion wanted;
    if (!plugin::parse_version(wanted_text, &wanted)) {
        return plugin::bad_option("选项 MinVersion 的值 %s 不是有效的版本号", wanted_shown.c_str());
    }
    std::string release;
    if (!os::system_release(&release)) {
        return plugin::failed("无法取得操作系统版本，错误 %u", os::last_error());
    }
    const std::string release_shown = plugin::shown(release);
    plugin::DottedVersion actual;
    if (!plugin::leading_version(release, &actual)) {
        return plugin::failed("无法识别操作系统版本 %s", release_shown.c_str());
    }
    if (plugin::compare_versions(actual, wanted) < 0) {
        return plugin::failed("操作系统版本 %s 低于要求的 %s", release_shown.c_str(),
                              wanted_shown.c_str());
    }
    return plugin::passed("操作系统版本 %s 不低于 %s", release_shown.c_str(), wanted_shown.c_str());
}

constexpr plugin::Plugin kCheckOsVersion{"CheckOsVersion", "QuarnCheckOsVersion.cpp", kRules,
                                         sizeof kRules / sizeof kRules[0], &check_os_version};

}  // namespace

QUARN_EXPORT int QUARN_CDECL CheckOsVersion(const char* argument, char** result) {
    return plugin::run(kCheckOsVersion, argument, result);
}

static_assert(sizeof(sibling::PluginFunction{&CheckOsVersion}) > 0);
