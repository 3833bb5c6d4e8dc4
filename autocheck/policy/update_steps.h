// The steps of UpdateSecurityCheckPolicy, one file each: the request
// documents and their exchange, the item definitions, the policy keys and
// the process-monitor component.
#pragma once

#include <cstddef>

#include "autocheck/request_document.h"
#include "cutil/xml.h"
#include "interface/server_address.h"

namespace autocheck::policy {

inline constexpr char kUpdateFunction[] = "UpdateSecurityCheckPolicy";
// Traced when a request cannot be built or a definition cannot be merged.
inline constexpr char kCreateFailed[] = "创建XML报文失败";

// Bounds of what a server's policy may make of the policy file: far above a
// real policy (tens of items, tens of kilobytes), far below what a hostile
// answer could otherwise write. A policy beyond either is refused whole.
inline constexpr int kMaxCheckItems = 1000;
inline constexpr int kMaxPolicyFileBytes = 4 << 20;

// Traces `message` at level 1: the update stops here, changing nothing.
void abandon(int line, const char* message);

// --- policy_requests.cpp ---------------------------------------------------
// A new request with "TARN/TradeCode" and "TARN/AgentID" (the device id in
// decimal); null when the document cannot be had.
XmlDocument new_request(const char* trade_code, int device_id);

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
