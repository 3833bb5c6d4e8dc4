// Authentication with an ePass1000ND key: its serial number and the stored
// password, posted to the server's web interface.
#include <cstdio>
#include <cstring>
#include <memory>

#include "autocheck/bound_modules.h"
#include "autocheck/identity/credential_auth.h"
#include "autocheck/identity/ukey_auth.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "cutil/url_text.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/server_address.h"
#include "interface/system_helpers.h"
#include "os/memory.h"

namespace {

constexpr char kFunction[] = "UKeyAuth_ePass1000ND";
constexpr std::size_t kSerialSize = 32;
constexpr std::size_t kIdSize = 64;
constexpr std::size_t kDocumentSize = 512;

#define EPASS_TRACE(level, ...) \
    LogTrace(kFunction, level, autocheck::kIdentityAuthSource, __LINE__, __VA_ARGS__)

struct GlobalFreeDeleter {
    void operator()(char* block) const { os::global_free(block); }
};

}  // namespace

int UKeyAuth_ePass1000ND() {
    EPASS_TRACE(kTraceInfo, "开始做UKEY生份检查");
    char web_url[kPathSize];
    if (!ReadServerAddress(web_url, nullptr, nullptr)) {
        EPASS_TRACE(kTraceError, "没有找到检查页面");
        return 0;
    }
    int device_id = 0;
    ReadConfigInt("DeviceId", &device_id);
    if (device_id == 0) {
        EPASS_TRACE(kTraceError, "DeviceId==0，设备可能没有注册");
        return 0;
    }
    char serial[kSerialSize] = {};
    if (GetUsbKeySerialNum__ePass1000ND(serial) == 0 || serial[0] == '\0') {
        EPASS_TRACE(kTraceError, "没有取到ePass1000ND UKEY 序列号");
        return 0;
    }
    char serial_field[kPathSize] = "";
    if (EncodeUrlBase64(serial, -1, serial_field, sizeof serial_field) <= 0) {
        EPASS_TRACE(kTraceError, "转换szUkeySerialNum失败");
        return 0;
    }
    char password[kPathSize] = "";
    ReadConfigText("Password", password, sizeof password);

    // The address holds 259 characters. A longer one is refused rather than
    // cut: a cut password or device id would present someone else.
    char url[kPathSize];
    const int length = std::snprintf(
        url, sizeof url,
        "%s/mod/client_check/ajax.php?tradecode=net_auth&type=UKey&user_name=%s&password=%s"
        "&deviceid=%d",
        web_url, serial_field, password, device_id);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof url) {
        EPASS_TRACE(kTraceError, "认证地址太长");
        return 0;
    }
    char document[kDocumentSize];
    std::snprintf(document, sizeof document,
                  "<TARN><PostUrl>%s</PostUrl><Argument></Argument></TARN>", url);
    EPASS_TRACE(kTraceInfo, "UKeyAuth_ePass1000ND 认证报文%s",
                cutil_url_mask_secrets(document).c_str());

    char* received = nullptr;
    const int answered = HttpPost != nullptr ? HttpPost(document, &received) : 0;
    const std::unique_ptr<char, GlobalFreeDeleter> answer(received);
    if (answered == 0) return 0;

    char role_id[kIdSize] = {};
    char policy_id[kIdSize] = {};
    if (ParseAuthReply(answer.get(), role_id, policy_id) != 0) {
        Call_TarnWriteConfig("RoleId", role_id);
        Call_TarnWriteConfig("PolicyId", policy_id);
        return 1;
    }
    Call_TarnWriteConfig("RoleId", "0");
    Call_TarnWriteConfig("PolicyId", "0");
    EPASS_TRACE(kTraceError, "没有插入有效的 ePass1000ND UKEY");
    return 0;
}
