#include "interface/module_call.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/sibling_abi.h"
#include "interface/sibling_lookup.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/text.h"

using gateway::kTraceSource;

namespace {

constexpr char kFunction[] = "CallOneModuleFuncA";

std::atomic<sibling::CallOneModuleFuncFunction> g_call_one_module_func{nullptr};

sibling::CallOneModuleFuncFunction component_entry() {
    auto entry = g_call_one_module_func.load(std::memory_order_acquire);
    if (entry != nullptr) return entry;

    char path[kPathSize];
    if (!gateway::assistant_file_path(sibling::kActivexDll, path)) return nullptr;
    const os::Handle module = os::module_load(path);
    if (module == nullptr) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "加载QuarnActivex.dll失败");
        return nullptr;
    }
    entry = reinterpret_cast<sibling::CallOneModuleFuncFunction>(
        os::module_symbol(module, sibling::kCallOneModuleFuncName));
    if (entry == nullptr) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "取函数CallOneModuleFunc地址失败");
        return nullptr;
    }
    g_call_one_module_func.store(entry, std::memory_order_release);
    return entry;
}

using WideText = std::unique_ptr<char16_t[]>;

enum class Conversion { kDone, kNoMemory, kInvalid };

// System code page to wide text; one wide unit never needs more than one byte.
Conversion to_wide(const char* text, WideText* out) {
    const std::size_t size = std::strlen(text) + 1;
    out->reset(new (std::nothrow) char16_t[size]);
    if (*out == nullptr) return Conversion::kNoMemory;
    if (os::acp_to_wide(text, out->get(), size) == static_cast<std::size_t>(-1)) {
        return Conversion::kInvalid;
    }
    return Conversion::kDone;
}

bool convert_or_trace(const char* text, WideText* out) {
    switch (to_wide(text, out)) {
        case Conversion::kDone:
            return true;
        case Conversion::kNoMemory:
            LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "内存不足");
            return false;
        case Conversion::kInvalid:
            break;
    }
    LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "文本转换失败: %s", text);
    return false;
}

// The wide result as a new standard-heap text in the system code page;
// null (traced) when memory runs out or the text cannot be converted.
char* to_narrow(const char16_t* wide) {
    // A code page may need up to four bytes for one wide unit.
    const std::size_t size = os::wide_length(wide) * 4 + 1;
    char* narrow = static_cast<char*>(std::malloc(size));
    if (narrow == nullptr) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "内存不足");
        return nullptr;
    }
    if (os::wide_to_acp(wide, narrow, size) == static_cast<std::size_t>(-1)) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "文本转换失败");
        std::free(narrow);
        return nullptr;
    }
    return narrow;
}

}  // namespace

int CallOneModuleFuncA(const char* module_path, const char* argument, const char* function_name,
                       char** result) {
    int code = 0;
    return CallOneModuleFuncCode(module_path, argument, function_name, result, &code);
}

int CallOneModuleFuncCode(const char* module_path, const char* argument, const char* function_name,
                          char** result, int* code) {
    *code = -1;
    if (result == nullptr) return 0;
    const auto call = component_entry();
    if (call == nullptr) return 0;

    WideText empty;
    WideText wide_path;
    WideText wide_function;
    WideText wide_argument;
    if (!convert_or_trace("", &empty)) return 0;
    if (module_path == nullptr) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "没有指定模块路径");
        return 0;
    }
    if (!convert_or_trace(module_path, &wide_path)) return 0;
    if (function_name == nullptr) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "没有指定方法名称");
        return 0;
    }
    if (!convert_or_trace(function_name, &wide_function)) return 0;
    if (argument != nullptr && !convert_or_trace(argument, &wide_argument)) return 0;

    char16_t* wide_result = nullptr;
    *code =
        call(empty.get(), wide_path.get(), wide_function.get(), wide_argument.get(), &wide_result);
    *result = nullptr;
    if (wide_result != nullptr) {
        *result = to_narrow(wide_result);
        os::global_free(wide_result);
    }
    return *code == 0 ? 1 : 0;
}
