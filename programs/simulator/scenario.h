// What the simulated access server knows: devices, users, keys, guest codes,
// the two policies and the check items, its ports and its CryptKey. Loaded
// from a JSON file (docs/simulator.md); every text is held in GBK, the form
// in which it goes onto the wire.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "os/crypto.h"

namespace simulator {

inline constexpr std::uint16_t kDefaultUdpPort = 36537;
inline constexpr std::uint16_t kDefaultHttpPort = 36580;
inline constexpr std::uint16_t kDefaultAgentPort = 36538;

struct Assignment {
    std::string role_id;
    std::string policy_id;
};

struct Device {
    std::string id;
    std::string name;
    std::string computer_name;  // empty: matches any computer
    std::string mac;            // empty: matches any adapter
    std::string address;        // where pushes go before it has spoken (empty: nowhere)
    bool forbidden = false;
    std::uint16_t listening_port = kDefaultAgentPort;
};

struct User {
    std::string name;
    std::string password;
    std::string email;
    std::string domain;  // for the domain logon (ADAutoLogin)
    Assignment assignment;
    bool may_request_guest_code = true;
};

// A certificate on a USB key: accepted when its serial is presented.
struct Certificate {
    std::string serial;
    std::string subject;
    std::string issued_to;
    Assignment assignment;
};

// An ePass1000ND key: its serial number and the password sent with it.
struct SerialKey {
    std::string serial;
    std::string password;
    Assignment assignment;
};

struct Scenario {
    std::string name;
    std::string listen_address = "127.0.0.1";
    std::uint16_t udp_port = kDefaultUdpPort;
    std::uint16_t http_port = kDefaultHttpPort;
    std::string crypt_key;  // named: one key for every device
    // Without a named crypt_key (and with security on): the secret each
    // device's key derives from (device_keys.h), named or fresh.
    std::string deployment_secret;
    // The key that signs module manifests: the scenario's "sign_key" (Base64
    // of the private key), else a fresh one; none when "security" is "off".
    std::optional<os::EcdsaPrivateKey> sign_key;
    // "security": "off": no keys at all, and the installation packet tells
    // the agent to run without them (SecurityDowngrade).
    bool security_off = false;
    bool register_unknown = true;
    long next_device_id = 1001;
    std::vector<Device> devices;
    std::vector<User> users;
    std::vector<Certificate> certificates;
    std::vector<SerialKey> serial_keys;
    std::optional<Assignment> no_auth;  // the role of a device without credentials
    std::vector<std::string> guest_codes;
    // XML texts (GBK) of the reply pieces, built from the JSON once.
    std::string identity_policy;       // <IdentityAuthPolicy>…</IdentityAuthPolicy>
    std::string current_enforce_type;  // empty: the element is left out
    std::map<std::string, std::string>
        check_policies;  // policy id ("*": any) → <SecurityCheckPolicy>
    std::map<std::string, std::string> check_items;  // item id → children of the reply root
    std::map<std::string, std::string> item_names;   // item id → its Name, for pages
};

// The scenario in `path`; nullopt with `error` (UTF-8) saying what is wrong.
std::optional<Scenario> load_scenario(const std::string& path, std::string* error);
// The same from JSON text.
std::optional<Scenario> parse_scenario(const std::string& json_text, std::string* error);

}  // namespace simulator
