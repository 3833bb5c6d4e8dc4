// CallOneModuleFunc: finds the named module (fetching and verifying a
// remote one first), loads it and calls the named function through the
// plug-in function type, converting between the wide texts of its callers
// and the GBK texts of the plug-ins.
//
// Failure codes (the result text then says what went wrong):
//   1 no module path or function name, or a text that does not convert;
//   2 a module this component refuses to load (module_location.h);
//   3 a remote module that could not be fetched;
//   4 the module does not load;     5 the function is missing;
//   6 a fetched module that failed verification (module_fetch.h).
// Any other value is the plug-in's own result. Modules stay loaded: a
// plug-in may leave threads or callbacks behind.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/module_call.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/text.h"
#include "siblings/QuarnActivex/module_fetch.h"
#include "siblings/QuarnActivex/module_location.h"

namespace {

constexpr char kFunction[] = "CallOneModuleFunc";
constexpr char kSource[] = "QuarnActivex.cpp";

// Wide text to the system code page; false when it does not convert.
bool to_narrow(const char16_t* wide, std::string* out) {
    const std::size_t length = os::wide_length(wide);
    std::string buffer(length * 4 + 1, '\0');
    const std::size_t written = os::wide_to_acp(wide, &buffer[0], buffer.size());
    if (written == static_cast<std::size_t>(-1)) return false;
    buffer.resize(written);
    *out = std::move(buffer);
    return true;
}

// A new global-allocator wide copy of a GBK text; null when it fails.
char16_t* to_wide_block(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    auto* block = static_cast<char16_t*>(os::global_alloc(size * sizeof(char16_t)));
    if (block == nullptr) return nullptr;
    if (os::acp_to_wide(text, block, size) == static_cast<std::size_t>(-1)) {
        os::global_free(block);
        return nullptr;
    }
    return block;
}

int fail(int code, char16_t** result, const char* format, ...) QUARN_PRINTF(3, 4);
int fail(int code, char16_t** result, const char* format, ...) {
    char message[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    LogTrace(kFunction, kTraceError, kSource, __LINE__, "%s", message);
    if (result != nullptr) *result = to_wide_block(message);
    return code;
}

// The folders whose modules may be loaded: the assistant directory (with the
// download cache inside it) and the folder of the program that hosts us,
// from which the system's loader takes modules first anyway.
std::vector<std::string> trusted_folders() {
    std::vector<std::string> folders;
    char directory[kPathSize];
    GetAssistantDir(directory);
    folders.emplace_back(directory);
    char program[kPathSize * 4] = "";
    if (os::module_executable_path(program, sizeof program) != 0) {
        const std::string path = program;
        const std::size_t separator = path.find_last_of("/\\");
        if (separator != std::string::npos) folders.push_back(path.substr(0, separator + 1));
    }
    return folders;
}

}  // namespace

QUARN_EXPORT int QUARN_CDECL CallOneModuleFunc(const char16_t* /*reserved*/,
                                               const char16_t* module_path,
                                               const char16_t* function_name,
                                               const char16_t* argument, char16_t** result) {
    if (result != nullptr) *result = nullptr;
    std::string path;
    std::string function;
    std::string narrow_argument;
    if (module_path == nullptr || function_name == nullptr || !to_narrow(module_path, &path) ||
        !to_narrow(function_name, &function) ||
        (argument != nullptr && !to_narrow(argument, &narrow_argument))) {
        return fail(1, result, "参数错误");
    }

    const activex::Place place = activex::place_module(path, trusted_folders());
    std::string load_path = place.path;
    switch (place.location) {
        case activex::Location::kRefused:
            return fail(2, result, "拒绝加载模块 %s: %s", path.c_str(), place.why);
        case activex::Location::kRemote: {
            const activex::Fetched fetched = activex::fetch_module(place.path);
            if (!fetched.ok)
                return fail(fetched.refused ? kModuleRefused : kModuleNotFetched, result, "%s",
                            fetched.why.c_str());
            load_path = fetched.path;
            break;
        }
        case activex::Location::kLocal:
            break;
    }

    const os::Handle module = os::module_load(load_path.c_str());
    if (module == nullptr) return fail(4, result, "加载模块 %s 失败", load_path.c_str());
    // Only what the module itself exports: a name the server sends must not
    // reach the C library or the system's modules through it.
    const auto plugin =
        reinterpret_cast<sibling::PluginFunction>(os::module_own_symbol(module, function.c_str()));
    if (plugin == nullptr) return fail(5, result, "没有找到接口 %s", function.c_str());

    char* reply = nullptr;
    const int code = plugin(argument != nullptr ? narrow_argument.c_str() : nullptr, &reply);
    if (reply != nullptr) {
        if (result != nullptr) *result = to_wide_block(reply);
        os::global_free(reply);
    }
    return code;
}

static_assert(sizeof(sibling::CallOneModuleFuncFunction{&CallOneModuleFunc}) > 0);
