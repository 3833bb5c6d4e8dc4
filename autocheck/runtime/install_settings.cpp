// The packet's settings: two profile files and the configuration store,
// written in the order the assistant reads them back. Runs under the
// entry's fault guard: plain buffers only.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "autocheck/check_time.h"
#include "autocheck/desktop_agent/praxa_network.h"
#include "autocheck/runtime/install_steps.h"
#include "cutil/text.h"
#include "cutil/url_text.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/system_helpers.h"
#include "os/profile.h"
#include "os/time.h"

namespace install {
namespace {

constexpr std::size_t kHostSize = 64;
constexpr char kSection[] = "Config";

bool is_set(const char* text) {
    return text != nullptr && text[0] != '\0';
}

void store_if_set(const Packet& packet, Field field) {
    if (is_set(packet.text[field])) Call_TarnWriteConfig(field_key(field), packet.text[field]);
}

void write_profile(const char* file_name, const char* key, const char* value) {
    char path[kPathSize];
    if (!gateway::assistant_file_path(file_name, path)) return;
    if (!os::profile_write_string(path, kSection, key, value)) {
        INSTALL_TRACE(kTraceError, "写入文件失败: %s [%s] %s", path, kSection, key);
    }
}

// Saved credentials travel URL-safe Base64 encoded; an empty text encodes
// to nothing and leaves the stored one.
void store_encoded(const Packet& packet, Field field) {
    const char* text = packet.text[field];
    if (text == nullptr) return;
    const std::size_t size = std::strlen(text) * 3 + 13;
    // malloc rather than an owner object: nothing with a destructor may be
    // live under the fault guard.
    char* encoded = static_cast<char*>(std::malloc(size));
    if (encoded == nullptr) return;
    if (EncodeUrlBase64(text, -1, encoded, static_cast<int>(size)) > 0) {
        Call_TarnWriteConfig(field_key(field), encoded);
    }
    std::free(encoded);
}

// A failed check keeps the endpoint out (TTL 64, agent's network cut);
// any other result lets it in.
void apply_check_result(const char* result) {
    const bool failed = cutil_str_iequal(result, "false") != 0;
    if (ReadConfigIntOr("SupportNat") != 0) TarnSetIpTTL(failed ? 0 : 1);
    if (ReadConfigIntOr("SuportPraxa") != 0) ControlNetworkByPraxaTdi(failed ? 1 : 0);
}

void store_check_state() {
    autocheck::store_check_time();
    Call_TarnWriteConfig("ShowNewIcon", "1");
}

}  // namespace

void store_settings(const Packet& packet) {
    const char* web_url = packet.text[kWebUrl];
    const char* device_id = packet.text[kDeviceId];

    char host[kHostSize] = "";
    int port = 0;
    SplitUrlHostPort(packet.text[kCheckUrl], &port, host, sizeof host);
    Call_TarnWriteConfig("ServerIp", host);
    WriteConfigInt("WebPort", port);

    write_profile("QuarnAssAutoCheck.inf", "WebUrl", web_url);
    write_profile("QuarnAssAutoCheck.inf", "DeviceId", device_id);
    // The download folder and the cut-off page live on the check page's web
    // root and take its scheme: an https deployment stays https throughout.
    const char* check_url = packet.text[kCheckUrl] != nullptr ? packet.text[kCheckUrl] : "";
    const char* scheme = cutil_str_istr(check_url, "https://") == check_url ? "https" : "http";
    char url[kPathSize];
    if (std::snprintf(url, sizeof url, "%s://%s:%d/download/", scheme, host, port) < 0) url[0] = 0;
    write_profile("TarnAssistant.inf", "ServerDownPath", url);
    Call_TarnWriteConfig("ServerDownPath", url);

    for (Field field : {kIsHideIcon, kCheckUrl, kWebUrl, kDeviceId, kRoleId, kPolicyId}) {
        store_if_set(packet, field);
    }
    if (is_set(packet.text[kLastCheckTid])) {
        store_if_set(packet, kLastCheckTid);
        std::snprintf(url, sizeof url, "%s/trade.php?tradecode=checkinfo&tid=%s&is_client=1",
                      web_url != nullptr ? web_url : "", packet.text[kLastCheckTid]);
        Call_TarnWriteConfig("ResultUrl", url);
    }

    INSTALL_TRACE(kTraceError, "开始保存 认证用户名和密码");
    store_encoded(packet, kUserName);
    store_encoded(packet, kPassword);
    INSTALL_TRACE(kTraceError, "完成保存 认证用户名和密码");

    store_if_set(packet, kIsAutoAuth);
    INSTALL_TRACE(kTraceError, "开始保存 最后认证类型");
    store_if_set(packet, kLastAuthType);
    INSTALL_TRACE(kTraceError, "完成保存 最后认证类型");

    store_if_set(packet, kSupportNat);
    store_if_set(packet, kSuportPraxa);
    if (is_set(packet.text[kCheckResult])) {
        store_if_set(packet, kCheckResult);
        apply_check_result(packet.text[kCheckResult]);
    }

    store_check_state();
    for (Field field :
         {kAboutMessage, kReCheckTime, kDisturb, kAuthInterval, kIsShowNavigation, kListeningPort,
          kCryptKey, kCheckAgent, kHowLongNotInsert, kEnableSoftuseApplyFor, kModuleSignKey,
          kServerKeyPin, kSecurityDowngrade}) {
        store_if_set(packet, field);
    }
    Call_TarnWriteConfig("HaveRecheck", "1");
    // The packet's id stays one query value, whatever it holds.
    char device_field[kHostSize] = "";  // a longer id is no id
    cutil_url_escape_to(device_id, device_field, sizeof device_field);
    std::snprintf(url, sizeof url, "%s://%s:%d/trade.php?tradecode=cutoff_net&device_id=%s", scheme,
                  host, port, device_field);
    Call_TarnWriteConfig("CutNetworkUrl", url);
}

}  // namespace install
