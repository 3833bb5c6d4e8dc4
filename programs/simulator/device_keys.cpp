#include "programs/simulator/device_keys.h"

#include "os/crypto.h"
#include "programs/simulator/scenario.h"
#include "programs/simulator/server_state.h"

namespace simulator {

std::string device_key(const Scenario& scenario, const std::string& device_id) {
    if (scenario.deployment_secret.empty()) return scenario.crypt_key;
    const std::string label = "QuarnDeviceKey\n" + device_id;
    os::Sha256Digest tag{};
    if (!os::hmac_sha256({scenario.deployment_secret.data(), scenario.deployment_secret.size()},
                         {{label.data(), label.size()}}, tag)) {
        return {};
    }
    return os::digest_hex(tag);
}

communicate::Verdict read_device_datagram(const ServerState& state, const void* bytes,
                                          std::size_t size, communicate::Fragment* fragment,
                                          std::string* key, std::string* device) {
    const Scenario& scenario = state.scenario();
    device->clear();
    if (scenario.deployment_secret.empty()) {
        *key = scenario.crypt_key;
        return communicate::read_datagram(bytes, size, *key, fragment);
    }
    communicate::Verdict verdict = communicate::Verdict::kBadTag;
    for (const DeviceRecord& record : state.devices()) {
        *key = device_key(scenario, record.device.id);
        verdict = communicate::read_datagram(bytes, size, *key, fragment);
        // Only a tag that does not match this device's key can match another's.
        if (verdict == communicate::Verdict::kAccepted) *device = record.device.id;
        if (verdict != communicate::Verdict::kBadTag) return verdict;
    }
    key->clear();
    return verdict;
}

}  // namespace simulator
