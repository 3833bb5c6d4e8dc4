// The scenario file: JSON in UTF-8, checked as a whole before the server
// starts, so that a mistake is a message at start-up and not an agent that
// silently refuses a policy later.
#include "programs/simulator/scenario.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "os/text.h"
#include "programs/simulator/fleet.h"
#include "programs/simulator/xml_text.h"
#include "siblings/QuarnActivex/manifest.h"

namespace simulator {
namespace {

// The nodes the agent requires in an identity policy: without any of them it
// stores none of the policy.
constexpr const char* kIdentityPolicyNodes[] = {
    "CheckAgent",   "HowLongNotInsert", "DefaultAuthType", "AllowAuthType",
    "IsAutoRepair", "SupportNat",       "SuportPraxa"};

struct Invalid {
    std::string message;
};

[[noreturn]] void fail(const std::string& message) {
    throw Invalid{message};
}

// Every text of the document in GBK, the wire's character set.
void to_gbk(Json* value) {
    if (value->is_string()) {
        const auto& text = value->get_ref<const std::string&>();
        *value = os::utf8_to_gbk(text.data(), text.size());
    } else if (value->is_structured()) {
        for (auto& child : *value) to_gbk(&child);
    }
}

// A text field that may also be written as a number ("id": 1001).
std::string text(const Json& object, const char* key, const std::string& fallback = "") {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return fallback;
    if (found->is_string()) return found->get<std::string>();
    if (found->is_number_integer()) return std::to_string(found->get<long long>());
    fail(std::string("\"") + key + "\" must be a text or an integer");
}

std::string required_text(const Json& object, const char* key, const char* what) {
    std::string value = text(object, key);
    if (value.empty()) fail(std::string(what) + " without \"" + key + "\"");
    return value;
}

std::uint16_t port(const Json& object, const char* key, std::uint16_t fallback) {
    const auto found = object.find(key);
    if (found == object.end()) return fallback;
    if (!found->is_number_integer() || found->get<long long>() < 0 ||
        found->get<long long>() > 65535) {
        fail(std::string("port \"") + key + "\" must be an integer from 0 to 65535");
    }
    return static_cast<std::uint16_t>(found->get<long long>());
}

const Json& list(const Json& document, const char* key) {
    static const Json kEmpty = Json::array();
    const auto found = document.find(key);
    if (found == document.end()) return kEmpty;
    if (!found->is_array()) fail(std::string("\"") + key + "\" must be a list");
    return *found;
}

const Json& object_at(const Json& document, const char* key) {
    static const Json kEmpty = Json::object();
    const auto found = document.find(key);
    if (found == document.end()) return kEmpty;
    if (!found->is_object()) fail(std::string("\"") + key + "\" must be an object");
    return *found;
}

Assignment assignment(const Json& object, const std::string& what) {
    return {required_text(object, "role_id", what.c_str()),
            required_text(object, "policy_id", what.c_str())};
}

void read_devices(const Json& document, Scenario* scenario) {
    std::set<std::string> ids;
    for (const Json& entry : list(document, "devices")) {
        Device device;
        device.id = required_text(entry, "id", "a device");
        if (!ids.insert(device.id).second) fail("device " + device.id + " is listed twice");
        device.name = text(entry, "name");
        device.computer_name = text(entry, "computer_name");
        device.mac = text(entry, "mac");
        device.address = text(entry, "address");
        device.forbidden = entry.value("forbidden", false);
        device.listening_port = port(entry, "listening_port", kDefaultAgentPort);
        scenario->devices.push_back(device);
    }
}

void read_credentials(const Json& document, Scenario* scenario) {
    for (const Json& entry : list(document, "users")) {
        User user;
        user.name = required_text(entry, "name", "a user");
        user.password = text(entry, "password");
        user.email = text(entry, "email");
        user.domain = text(entry, "domain");
        user.assignment = assignment(entry, "user " + user.name);
        user.may_request_guest_code = entry.value("guest_codes", true);
        scenario->users.push_back(user);
    }
    for (const Json& entry : list(document, "certificates")) {
        Certificate certificate;
        certificate.serial = required_text(entry, "serial", "a certificate");
        certificate.subject = text(entry, "subject");
        certificate.issued_to = text(entry, "issued_to");
        certificate.assignment = assignment(entry, "certificate " + certificate.serial);
        scenario->certificates.push_back(certificate);
    }
    for (const Json& entry : list(document, "serial_keys")) {
        SerialKey key;
        key.serial = required_text(entry, "serial", "a serial key");
        key.password = text(entry, "password");
        key.assignment = assignment(entry, "serial key " + key.serial);
        scenario->serial_keys.push_back(key);
    }
    const auto generated = document.find("generated_users");
    if (generated != document.end()) {
        std::string error;
        const std::vector<User> users = generated_users(*generated, &error);
        if (users.empty()) fail(error);
        scenario->users.insert(scenario->users.end(), users.begin(), users.end());
    }
    const auto no_auth = document.find("no_auth");
    if (no_auth != document.end()) scenario->no_auth = assignment(*no_auth, "\"no_auth\"");
    for (const Json& code : list(document, "guest_codes")) {
        if (!code.is_string() || code.get<std::string>().empty()) fail("a guest code is no text");
        scenario->guest_codes.push_back(code.get<std::string>());
    }
}

void read_policies(const Json& document, Scenario* scenario) {
    const Json& identity = object_at(document, "identity_policy");
    for (const char* node : kIdentityPolicyNodes) {
        if (!identity.contains(node)) fail(std::string("\"identity_policy\" lacks ") + node);
    }
    append_element("IdentityAuthPolicy", identity, &scenario->identity_policy);
    scenario->current_enforce_type = text(document, "current_enforce_type");

    for (const auto& [id, item] : object_at(document, "check_items").items()) {
        if (!item.is_object() || !item.contains("CheckType")) {
            fail("check item " + id + " has no \"CheckType\"");
        }
        append_children(item, &scenario->check_items[id]);
        scenario->item_names[id] = text(item, "Name", id);
    }
    for (const auto& [id, policy] : object_at(document, "check_policies").items()) {
        if (!policy.is_object()) fail("check policy " + id + " is no object");
        const Json& listed = object_at(policy, "CheckItems");
        const auto found = listed.find("Item");
        const Json items = found == listed.end() ? Json::array()
                           : found->is_array()   ? *found
                                                 : Json::array({*found});
        for (const Json& item : items) {
            const std::string item_id = text(item, "ItemID");
            if (!item_id.empty() && scenario->check_items.count(item_id) == 0) {
                fail("check policy " + id + " names item " + item_id + ", which is not defined");
            }
        }
        append_element("SecurityCheckPolicy", policy, &scenario->check_policies[id]);
    }
}

// The keys the scenario does not name come from its keys_file when that
// holds them (the signing key and the deployment secret, one line each), so
// a restarted server keeps its deployment's keys; otherwise they are made
// fresh, and written there.
void read_keys(const Json& document, Scenario* scenario) {
    if (scenario->security_off) {
        scenario->crypt_key.clear();
        return;
    }
    const std::string keys_file = text(document, "keys_file");
    std::string kept_sign_key, kept_secret;
    if (!keys_file.empty()) {
        std::ifstream kept(keys_file);
        std::getline(kept, kept_sign_key);
        std::getline(kept, kept_secret);
    }
    std::string sign_key = text(document, "sign_key", kept_sign_key);
    os::EcdsaPrivateKey key{};
    if (!sign_key.empty() && !activex::parse_private_key(sign_key, &key)) {
        fail("\"sign_key\" must be the Base64 of a 96-byte private key");
    }
    if (sign_key.empty()) {
        if (!os::ecdsa_generate(key)) fail("no signing key could be made");
        sign_key = activex::private_key_text(key);
    }
    scenario->sign_key = key;
    // A named crypt_key is one key for every device; otherwise each device's
    // key derives from the deployment secret.
    std::string secret;
    if (scenario->crypt_key.empty()) {
        secret = text(document, "deployment_secret", kept_secret);
        os::Sha256Digest random{};
        if (secret.empty() && !os::random_bytes(random.data(), random.size())) {
            fail("no deployment secret could be made");
        }
        if (secret.empty()) secret = os::digest_hex(random);
        scenario->deployment_secret = secret;
    }
    if (!keys_file.empty() && (sign_key != kept_sign_key || secret != kept_secret)) {
        std::ofstream(keys_file, std::ios::trunc) << sign_key << "\n" << secret << "\n";
        std::error_code ignored;  // a private key: its owner's only
        std::filesystem::permissions(
            keys_file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
            ignored);
    }
}

Scenario read(Json document) {
    if (!document.is_object()) fail("the scenario is no JSON object");
    to_gbk(&document);
    Scenario scenario;
    scenario.name = text(document, "name", "scenario");
    scenario.listen_address = text(document, "listen", scenario.listen_address);
    const Json& ports = object_at(document, "ports");
    scenario.udp_port = port(ports, "udp", kDefaultUdpPort);
    scenario.http_port = port(ports, "http", kDefaultHttpPort);
    scenario.crypt_key = text(document, "crypt_key");
    const std::string security = text(document, "security", "on");
    if (security != "on" && security != "off") fail("\"security\" must be \"on\" or \"off\"");
    scenario.security_off = security == "off";
    read_keys(document, &scenario);
    scenario.register_unknown = document.value("register_unknown", true);
    scenario.next_device_id = document.value("first_device_id", 1001L);
    read_devices(document, &scenario);
    read_credentials(document, &scenario);
    read_policies(document, &scenario);
    return scenario;
}

}  // namespace

std::optional<Scenario> parse_scenario(const std::string& json_text, std::string* error) {
    try {
        return read(Json::parse(json_text));
    } catch (const Invalid& invalid) {
        *error = invalid.message;
    } catch (const Json::exception& exception) {
        *error = exception.what();
    }
    return std::nullopt;
}

std::optional<Scenario> load_scenario(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read " + path;
        return std::nullopt;
    }
    std::ostringstream content;
    content << file.rdbuf();
    auto scenario = parse_scenario(content.str(), error);
    if (!scenario) *error = path + ": " + *error;
    return scenario;
}

}  // namespace simulator
