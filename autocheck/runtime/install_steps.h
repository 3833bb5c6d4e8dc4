// What the installation's files share: the packet's fields and the steps
// run under the entry's fault guard. Nothing here holds an object with a
// destructor, so that a fault inside a step leaves nothing half-destroyed.
#pragma once

#include <cstddef>

#include "autocheck/trace_sources.h"
#include "cutil/trace.h"

struct XmlNode;

namespace install {

inline constexpr char kFunction[] = "InstallTarnAssistant";

// The packet's fields, in the order the packet lists them.
enum Field {
    kWhatToDo,
    kDeskLinkName,
    kCheckUrl,
    kWebUrl,
    kCheckResult,
    kListeningPort,
    kCryptKey,
    kAboutMessage,
    kCheckAgent,
    kHowLongNotInsert,
    kDeviceId,
    kRoleId,
    kPolicyId,
    kLastCheckTid,
    kLastAuthType,
    kUserName,
    kPassword,
    kIsAutoAuth,
    kIsHideIcon,
    kReCheckTime,
    kDisturb,
    kAuthInterval,
    kIsShowNavigation,
    kSupportNat,
    kSuportPraxa,
    kModuleSignKey,
    kServerKeyPin,
    kSecurityDowngrade,
    kEnableSoftuseApplyFor,
    kFieldCount
};

// Texts point into the parsed packet; null when absent.
struct Packet {
    const char* text[kFieldCount];
    int is_install;  // -1 when absent
};

// The configuration key a field is stored under; null for those that are
// not stored.
const char* field_key(Field field);

// Reads every field; a fault while reading EnableSoftuseApplyFor leaves it
// absent.
void read_packet(const XmlNode* document, Packet* packet);

// Hands a packet not forwarded before to a running assistant as a device
// registration notice. True when the assistant answered: it takes over.
bool forward_registration(XmlNode* document);

// The desktop link's name as a file name can hold it, into `out` of `size`
// bytes: "|" would cut the assistant's command line into switches of the
// packet's choosing, a quote would end the parameter; such characters are
// dropped (traced).
void link_file_name(const char* name, char* out, std::size_t size);

// Writes the settings files and the configuration store from the packet,
// CheckUrl (which must be present) first.
void store_settings(const Packet& packet);

}  // namespace install

#define INSTALL_TRACE(level, ...) \
    LogTrace(install::kFunction, level, autocheck::kAutoCheckSource, __LINE__, __VA_ARGS__)
