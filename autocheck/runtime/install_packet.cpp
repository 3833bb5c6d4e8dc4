// The policy packet's fields and the configuration keys they are stored
// under.
#include <cstddef>

#include "autocheck/runtime/install_steps.h"
#include "cutil/xml.h"
#include "os/fault.h"

namespace install {
namespace {

struct FieldRow {
    Field field;
    const char* element;  // under TARN
    const char* key;      // null: read, never stored
};

constexpr FieldRow kFields[] = {
    {kWhatToDo, "WhatToDo", nullptr},
    {kDeskLinkName, "DeskLinkName", nullptr},
    {kCheckUrl, "CheckUrl", "CheckUrl"},
    {kWebUrl, "WebUrl", "WebUrl"},
    {kCheckResult, "CheckResult", "CheckResult"},
    {kListeningPort, "ListeningPort", "ListeningPort"},
    {kCryptKey, "CryptKey", "CryptKey"},
    {kAboutMessage, "AboutMessage", "AboutMessage"},
    {kCheckAgent, "CheckAgent", "CheckAgent"},
    {kHowLongNotInsert, "HowLongNotInsert", "HowLongNotInsert"},
    {kDeviceId, "DeviceID", "DeviceId"},
    {kRoleId, "RoleID", "RoleId"},
    {kPolicyId, "PolicyID", "PolicyId"},
    {kLastCheckTid, "LastCheckTID", "LastCheckTID"},
    {kLastAuthType, "LastAuthType", "LastAuthType"},
    {kUserName, "UserName", "UserName"},
    {kPassword, "Password", "Password"},
    {kIsAutoAuth, "IsAutoAuth", "IsAutoAuth"},
    {kIsHideIcon, "IsHideIcon", "IsHideIcon"},
    {kReCheckTime, "ReCheckTime", "CheckFailRecheckTime"},
    {kDisturb, "Disturb", "IsDisturb"},
    {kAuthInterval, "AuthInterval", "AuthInterval"},
    {kIsShowNavigation, "IsShowNavigation", "ShowNavigationMenu"},
    {kSupportNat, "SupportNat", "SupportNat"},
    {kSuportPraxa, "SuportPraxa", "SuportPraxa"},
    {kModuleSignKey, "ModuleSignKey", "ModuleSignKey"},
    {kServerKeyPin, "ServerKeyPin", "ServerKeyPin"},
    {kSecurityDowngrade, "SecurityDowngrade", "SecurityDowngrade"},
    {kEnableSoftuseApplyFor, "EnableSoftuseApplyFor", "EnableSoftuseApplyFor"},
};

constexpr bool rows_in_field_order() {
    for (int at = 0; at < kFieldCount; ++at) {
        if (kFields[at].field != at) return false;
    }
    return sizeof kFields / sizeof kFields[0] == kFieldCount;
}
static_assert(rows_in_field_order(), "one row per field, in the order of Field");

struct LateRead {
    const XmlNode* document;
    Packet* packet;
};

void read_late_field(void* context) {
    auto* read = static_cast<LateRead*>(context);
    read->packet->text[kEnableSoftuseApplyFor] =
        cutil_xml_get(read->document, "TARN/%s", kFields[kEnableSoftuseApplyFor].element);
}

}  // namespace

const char* field_key(Field field) {
    return kFields[field].key;
}

void read_packet(const XmlNode* document, Packet* packet) {
    for (const FieldRow& row : kFields) {
        static_assert(kEnableSoftuseApplyFor + 1 == kFieldCount, "the guarded field comes last");
        if (row.field == kEnableSoftuseApplyFor) break;
        packet->text[row.field] = cutil_xml_get(document, "TARN/%s", row.element);
    }
    packet->text[kEnableSoftuseApplyFor] = nullptr;
    LateRead read{document, packet};
    if (os::fault_guard(&read_late_field, &read) != os::Fault::kNone) {
        packet->text[kEnableSoftuseApplyFor] = nullptr;
    }
    packet->is_install = cutil_xml_get_int(document, "TARN/IsInstall");
}

}  // namespace install
