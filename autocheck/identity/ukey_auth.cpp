// Authentication with the certificates of a plugged-in USB key: one POST per
// certificate, in the key's order, until the server accepts one.
#include "autocheck/identity/ukey_auth.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "autocheck/bound_modules.h"
#include "autocheck/identity/credential_auth.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/server_address.h"
#include "interface/system_helpers.h"
#include "os/memory.h"

namespace {

constexpr char kFunction[] = "UKeyAuth";
constexpr std::size_t kIdSize = 64;

#define UKEY_TRACE(level, ...) \
    LogTrace(kFunction, level, autocheck::kIdentityAuthSource, __LINE__, __VA_ARGS__)

struct GlobalFreeDeleter {
    void operator()(char* block) const { os::global_free(block); }
};
using GlobalText = std::unique_ptr<char, GlobalFreeDeleter>;

std::string format(const char* format, ...) QUARN_PRINTF(1, 2);
std::string format(const char* format, ...) {
    va_list list;
    va_start(list, format);
    va_list again;
    va_copy(again, list);
    const int length = std::vsnprintf(nullptr, 0, format, list);
    va_end(list);
    std::string text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.resize(text.size() - 1);
    return text;
}

// The URL-safe Base64 form of `text`, in a buffer the whole encoding fits
// (the encoder asks for 4 * ceil(n / 3) + 9 bytes); empty when it fails.
std::string encode(const char* text) {
    std::string field(std::strlen(text) / 3 * 4 + 16, '\0');
    const int written = EncodeUrlBase64(text, -1, field.data(), static_cast<int>(field.size()));
    field.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return field;
}

enum class Outcome { kSkipped, kUnanswered, kRejected, kAccepted };

// Posts certificate `index` of `list`; an answer without both IDs resets the
// stored ones to "0" at once.
Outcome try_certificate(const XmlNode* list, int index, const char* web_url, int device_id,
                        char* role_id, char* policy_id) {
    const char* issue_to = cutil_xml_get(list, "TARN/CertInfo[%d]/IssueTo", index);
    const char* serial = cutil_xml_get(list, "TARN/CertInfo[%d]/CertSerial", index);
    const char* subject = cutil_xml_get(list, "TARN/CertInfo[%d]/Subject", index);
    const char* certificate = cutil_xml_get(list, "TARN/CertInfo[%d]/CertBase64", index);
    if (issue_to == nullptr || serial == nullptr || subject == nullptr || certificate == nullptr) {
        return Outcome::kSkipped;
    }
    std::string document;
    try {
        const std::string issue_field = encode(issue_to);
        const std::string subject_field = encode(subject);
        if (issue_field.empty() || subject_field.empty()) return Outcome::kSkipped;
        // The caserial field carries the certificate's serial number too.
        const std::string url = format(
            "%s/mod/client_check/ajax.php?tradecode=net_auth&type=UKey&user_name=%s&subject=%s"
            "&deviceid=%d&certserial=%s&caserial=%s",
            web_url, issue_field.c_str(), subject_field.c_str(), device_id, serial, serial);
        document = format(
            "<TARN><PostUrl>%s</PostUrl><Argument><Name>certbase64</Name><Value>%s</Value>"
            "</Argument></TARN>",
            url.c_str(), certificate);
    } catch (const std::bad_alloc&) {
        return Outcome::kSkipped;
    }
    UKEY_TRACE(kTraceInfo, "UKEY认证报文%s", document.c_str());

    char* received = nullptr;
    const int answered = HttpPost != nullptr ? HttpPost(document.c_str(), &received) : 0;
    const GlobalText answer(received);
    if (answered == 0) return Outcome::kUnanswered;
    if (ParseAuthReply(answer.get(), role_id, policy_id) != 0) return Outcome::kAccepted;
    Call_TarnWriteConfig("RoleId", "0");
    Call_TarnWriteConfig("PolicyId", "0");
    return Outcome::kRejected;
}

}  // namespace

int UKeyAuth() {
    UKEY_TRACE(kTraceInfo, "开始做UKEY生份检查");
    char web_url[kPathSize];
    if (!ReadServerAddress(web_url, nullptr, nullptr)) {
        UKEY_TRACE(kTraceError, "没有找到检查页面");
        return 0;
    }
    int device_id = 0;
    ReadConfigInt("DeviceId", &device_id);
    if (device_id == 0) {
        UKEY_TRACE(kTraceError, "DeviceId==0，设备可能没有注册");
        return 0;
    }
    // A missing runtime-check module answers 1: the certificates are tried.
    if (Call_HaveInsertUsbKey() == 0) {
        UKEY_TRACE(kTraceError, "此设备没有插UKEY");
        return 0;
    }

    char* received = nullptr;
    const int listed = GetAllUsbKeyCert != nullptr ? GetAllUsbKeyCert(0, &received) : 0;
    const GlobalText list_text(received);
    if (listed == 0) {
        UKEY_TRACE(kTraceError, "取设备UKEY证书信息失败");
        return 0;
    }
    const XmlDocument list(
        cutil_xml_import(list_text.get(), autocheck::kIdentityAuthSource, kFunction, __LINE__));
    if (list == nullptr) {
        UKEY_TRACE(kTraceError, "创建证书信息报文失败");
        return 0;
    }

    char role_id[kIdSize] = {};
    char policy_id[kIdSize] = {};
    for (int index = 1; index <= cutil_xml_count(list.get(), "TARN/CertInfo"); ++index) {
        if (try_certificate(list.get(), index, web_url, device_id, role_id, policy_id) ==
            Outcome::kAccepted) {
            UKEY_TRACE(kTraceInfo, "UKEY 检查通过");
            Call_TarnWriteConfig("RoleId", role_id);
            Call_TarnWriteConfig("PolicyId", policy_id);
            return 1;
        }
    }
    // No certificate at all, or the last one was not accepted.
    UKEY_TRACE(kTraceError, "没有插入有效的UKEY");
    return 0;
}
