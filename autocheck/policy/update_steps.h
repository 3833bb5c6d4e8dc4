// The steps of UpdateSecurityCheckPolicy, one file each: the request
// documents and their exchange, the item definitions, the policy keys and
// the process-monitor component.
#pragma once

#include <cstddef>

#include "cutil/xml.h"

namespace autocheck::policy {

inline constexpr char kUpdateFunction[] = "UpdateSecurityCheckPolicy";
// The host part of WebUrl, at most 63 characters.
inline constexpr std::size_t kHostSize = 64;
// Traced when a request cannot be built or a definition cannot be merged.
inline constexpr char kCreateFailed[] = "创建XML报文失败";

// Traces `message` at level 1: the update stops here, changing nothing.
void abandon(int line, const char* message);

// --- policy_requests.cpp ---------------------------------------------------
// A new request with "TARN/TradeCode" and "TARN/AgentID" (the device id in
// decimal); null when the document cannot be had.
XmlDocument new_request(const char* trade_code, int device_id);
// Appends "TARN/<element>" with `text`; false when it cannot be added.
bool append_text(XmlNode* request, const char* element, const char* text);
bool append_int(XmlNode* request, const char* element, int value);
// The server host (the host part of WebUrl) into `host` of kHostSize bytes;
// false when WebUrl is unreadable or names no host that fits.
bool read_server_host(char* host);
// One UDP exchange with the server: the reply document, or null when the
// exchange failed or brought none.
XmlDocument exchange(const char* host, XmlNode* request);

// --- check_items.cpp --------------------------------------------------------
// What the fetched item definitions tell about two checks of the policy.
struct ItemFindings {
    bool system_process = false;       // an item named "CheckSystemProcess"
    bool unlawful_connection = false;  // an item named "CheckUnlawfulConnectOut"
};
// Fetches the definition of every Item of `policy` that has an ItemID and
// appends it to that Item. False (traced) when the update must be abandoned:
// no Item at all, or a definition that cannot be had.
bool merge_item_definitions(const char* host, int device_id, XmlNode* policy,
                            ItemFindings* findings);

// --- policy_keys.cpp --------------------------------------------------------
// The CheckParam integers of the policy, and the seven configuration keys
// made from them by their rules.
enum CheckParam {
    kCheckIntervalDay,
    kIsSafeCheck,
    kHideAssistant,
    kReCheck,
    kReCheckTime,
    kDisturb,
    kAuthInterval,
    kNavigationIsShow,
    kCheckParamCount,
};
struct CheckParams {
    int values[kCheckParamCount];
    int operator[](CheckParam param) const { return values[param]; }
};
CheckParams read_check_params(const XmlNode* policy);
void write_policy_keys(const CheckParams& params);
// "No" to the three settings of the unlawful-outbound-connection check.
void switch_off_unlawful_connection_checks();

// --- process_monitor.cpp ----------------------------------------------------
// Deletes TarnProcMonT.dll and SoftForbid.inf from the assistant directory.
void remove_process_monitor();

}  // namespace autocheck::policy
