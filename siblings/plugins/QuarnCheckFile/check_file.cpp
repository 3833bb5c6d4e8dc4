// CheckFile: a file (or folder) that must exist or must not, or a file that
// must hold a text.
//   <Option><FilePath>%SystemRoot%\system32\drivers\etc\hosts</FilePath>
//           <Contains>127.0.0.1</Contains></Option>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interface/sibling_abi.h"
#include "os/error.h"
#include "os/file.h"
#include "os/machine.h"
#include "os/system.h"
#include "os/types.h"
#include "siblings/plugins/common/plugin_entry.h"

namespace {

constexpr plugin::OptionRule kRules[] = {
    {"FilePath", true},   // environment variables ("%SystemRoot%") are expanded
    {"Exist", false},     // "Yes" (the default) or "No"
    {"Contains", false},  // bytes the file must hold (GBK, case-sensitive)
};

constexpr std::size_t kChunk = 64 * 1024;

enum class Search { kFound, kAbsent, kUnreadable };

struct FileCloser {
    void operator()(void* file) const { os::file_close(file); }
};

// Streams the file, keeping the last needle-length-less-one bytes of each
// chunk, so a text that spans two chunks is found; any size is fine. On
// kUnreadable *error holds the system's error code.
Search file_contains(const std::string& path, const std::string& needle, std::uint32_t* error) {
    std::unique_ptr<void, FileCloser> file;
    {
        const os::NativeFileView view;
        // A FIFO, pipe, console or device is refused, never waited on.
        file.reset(os::file_open_read_plain(
            path.c_str(), os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete));
        *error = os::last_error();
    }
    if (file == nullptr) return Search::kUnreadable;
    std::string window;
    std::vector<char> chunk(kChunk);
    for (;;) {
        std::size_t got = 0;
        if (!os::file_read(file.get(), chunk.data(), chunk.size(), &got)) {
            *error = os::last_error();
            return Search::kUnreadable;
        }
        if (got == 0) return Search::kAbsent;
        window.append(chunk.data(), got);
        if (window.find(needle) != std::string::npos) return Search::kFound;
        if (window.size() >= needle.size()) window.erase(0, window.size() - (needle.size() - 1));
    }
}

bool expand(const char* text, std::string* out) {
    const std::size_t needed = os::env_expand(text, nullptr, 0);
    if (needed == 0) return false;
    // The ANSI form may ask for one byte more than it writes.
    out->assign(needed + 1, '\0');
    const std::size_t written = os::env_expand(text, &(*out)[0], out->size());
    if (written == 0 || written > out->size()) return false;
    out->resize(std::strlen(out->c_str()));
    return true;
}

plugin::Verdict check_file(const plugin::Options& options) {
    bool must_exist = true;
    if (auto bad = options.flag("Exist", true, &must_exist)) return *bad;
    const char* contains = options.text("Contains");
    if (contains != nullptr && !must_exist) {
        return plugin::bad_option("选项 Contains 只能用于 Exist 为 Yes 的检查");
    }
    std::string path;
    if (!expand(options.text("FilePath"), &path)) {
        return plugin::bad_option("选项 FilePath 的值 %s 无法展开",
                                  plugin::shown(options.text("FilePath")).c_str());
    }
    const std::string shown = plugin::shown(path);

    std::uint32_t attributes = 0;
    std::uint32_t error = 0;
    {
        const os::NativeFileView view;
        attributes = os::file_attributes(path.c_str());
        error = os::last_error();
    }
    if (attributes == os::kInvalidFileAttributes) {
        if (error != os::kErrorFileNotFound && error != os::kErrorPathNotFound) {
            // Neither present nor absent for sure: never a pass.
            return plugin::failed("无法访问文件 %s，错误 %u", shown.c_str(), error);
        }
        if (!must_exist) return plugin::passed("文件 %s 不存在", shown.c_str());
        return plugin::failed("文件 %s 不存在", shown.c_str());
    }
    if (!must_exist) return plugin::failed("文件 %s 存在，要求不存在", shown.c_str());
    if (contains == nullptr) return plugin::passed("文件 %s 存在", shown.c_str());

    if ((attributes & os::kFileAttributeDirectory) != 0) {
        return plugin::failed("%s 是文件夹，不是文件", shown.c_str());
    }
    const std::string needle = contains;
    const std::string needle_shown = plugin::shown(needle);
    std::uint32_t read_error = 0;
    switch (file_contains(path, needle, &read_error)) {
        case Search::kFound:
            return plugin::passed("文件 %s 含有 %s", shown.c_str(), needle_shown.c_str());
        case Search::kAbsent:
            return plugin::failed("文件 %s 不含 %s", shown.c_str(), needle_shown.c_str());
        case Search::kUnreadable:
            break;
    }
    if (read_error == os::kErrorBadFileType) {
        return plugin::failed("%s 不是普通文件，无法读取", shown.c_str());
    }
    return plugin::failed("无法读取文件 %s，错误 %u", shown.c_str(), read_error);
}

constexpr plugin::Plugin kCheckFile{"CheckFile", "QuarnCheckFile.cpp", kRules,
                                    sizeof kRules / sizeof kRules[0], &check_file};

}  // namespace

QUARN_EXPORT int QUARN_CDECL CheckFile(const char* argument, char** result) {
    return plugin::run(kCheckFile, argument, result);
}

static_assert(sizeof(sibling::PluginFunction{&CheckFile}) > 0);
