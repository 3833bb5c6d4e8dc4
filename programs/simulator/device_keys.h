// Each device's push/reply key. Under a deployment secret the key of device
// D is the hex of HMAC-SHA256(secret, "QuarnDeviceKey\n" D): the server
// keeps one secret, every endpoint gets only its own key (in its
// installation packet), and one endpoint's key forges nothing for another. A
// scenario that names a crypt_key gives that one key to every device instead.
#pragma once

#include <cstddef>
#include <string>

#include "siblings/QuarnAssCommunicate/datagram.h"

namespace simulator {

struct Scenario;
class ServerState;

// The key device `device_id` holds; empty when the scenario runs without keys.
std::string device_key(const Scenario& scenario, const std::string& device_id);

// Reads a datagram under the key of the device it verifies for (the shared
// key when the scenario names one); *key receives that key and *device the
// device's id (empty under a shared key: any device may hold it). A device
// is found by trying the keys of the devices the server knows: the header
// names no device.
communicate::Verdict read_device_datagram(const ServerState& state, const void* bytes,
                                          std::size_t size, communicate::Fragment* fragment,
                                          std::string* key, std::string* device);

}  // namespace simulator
