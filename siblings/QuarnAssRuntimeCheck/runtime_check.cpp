#include "siblings/QuarnAssRuntimeCheck/runtime_check.h"

#include <cstring>
#include <memory>
#include <string>

#include "cutil/text.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"

namespace runtime_check {
namespace {

constexpr char kSource[] = "QuarnAssRuntimeCheck.cpp";
constexpr char kSerialRequest[] = "<TARN><UkeyType>ePass1000ND</UkeyType></TARN>";

#define CHECK_TRACE(function, level, ...) LogTrace(function, level, kSource, __LINE__, __VA_ARGS__)

struct GlobalText {
    void operator()(char* text) const { os::global_free(text); }
};
using Answer = std::unique_ptr<char, GlobalText>;

// A sibling module of the assistant directory: the one already loaded, else
// loaded from there (and kept for the life of the process).
void* sibling_export(const char* function, const char* module_name, const char* export_name) {
    os::Handle module = os::module_find(module_name);
    if (module == nullptr) {
        char path[kPathSize];
        if (gateway::assistant_file_path(module_name, path)) module = os::module_load(path);
    }
    if (module == nullptr) {
        CHECK_TRACE(function, kTraceError, "加载%s失败", module_name);
        return nullptr;
    }
    void* address = os::module_symbol(module, export_name);
    if (address == nullptr) CHECK_TRACE(function, kTraceError, "没有找到接口 %s", export_name);
    return address;
}

bool has_text(const char* text) {
    return text != nullptr && text[0] != '\0';
}

}  // namespace

bool cut_off_accepted(const char* body) {
    if (body == nullptr) return false;
    std::string word(body);
    const std::size_t begin = word.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return false;
    word = word.substr(begin, word.find_last_not_of(" \t\r\n") - begin + 1);
    for (const char* accepted : {"1", "ok", "success", "true"}) {
        if (cutil_str_iequal(word.c_str(), accepted) != 0) return true;
    }
    return false;
}

int cut_off_network() {
    constexpr char kFunction[] = "CutOffNetwork";
    char url[kPathSize] = "";
    if (ReadConfigText("CutNetworkUrl", url, sizeof url) == 0 || url[0] == '\0') {
        CHECK_TRACE(kFunction, kTraceError, "没有配置断网地址 CutNetworkUrl");
        return 0;
    }
    auto http_get = reinterpret_cast<sibling::HttpGetFunction>(
        sibling_export(kFunction, sibling::kHttpClientDll, sibling::kHttpGetName));
    if (http_get == nullptr) return 0;
    char* raw = nullptr;
    const int answered = http_get(url, &raw);
    const Answer body(raw);
    if (answered == 0) {
        CHECK_TRACE(kFunction, kTraceError, "请求断网地址%s失败", url);
        return 0;
    }
    if (!cut_off_accepted(body.get())) {
        CHECK_TRACE(kFunction, kTraceError, "服务器没有接受断网请求: %s", body ? body.get() : "");
        return 0;
    }
    CHECK_TRACE(kFunction, kTraceInfo, "服务器接受了断网请求");
    return 1;
}

int have_insert_usb_key() {
    constexpr char kFunction[] = "HaveInsertUsbKey";
    // Any token with a certificate counts; an ePass1000ND key shows only its
    // serial number.
    if (auto all_certs = reinterpret_cast<sibling::GetAllUsbKeyCertFunction>(
            sibling_export(kFunction, sibling::kCheckCertDll, sibling::kGetAllUsbKeyCertName))) {
        char* raw = nullptr;
        const int found = all_certs(0, &raw);
        const Answer answer(raw);
        if (found != 0 && answer) {
            const XmlUntrackedDocument document(cutil_xml_import_fre(answer.get()));
            if (document && cutil_xml_count(document.get(), "TARN/CertInfo") > 0) return 1;
        }
    }
    if (auto serial = reinterpret_cast<sibling::GetUsbKeySerialNumFunction>(
            sibling_export(kFunction, sibling::kCheckCertDll, sibling::kGetUsbKeySerialNumName))) {
        char* raw = nullptr;
        const int found = serial(kSerialRequest, &raw);
        const Answer answer(raw);
        if (found != 0 && answer) {
            const XmlUntrackedDocument document(cutil_xml_import_fre(answer.get()));
            if (document && has_text(cutil_xml_get(document.get(), "TARN/SerialNum"))) return 1;
        }
    }
    CHECK_TRACE(kFunction, kTraceInfo, "没有插入USB Key");
    return 0;
}

}  // namespace runtime_check
