#include "siblings/QuarnAssCommunicate/settings.h"

#include <cstdlib>

#include "interface/config_access.h"
#include "interface/trust_settings.h"
#include "os/crypto.h"
#include "os/memory.h"
#include "os/time.h"

namespace communicate {
namespace {

bool read_key(const char* name, std::string* value) {
    char* block = nullptr;
    if (Call_TarnReadConfig(name, &block) == 0 || block == nullptr) return false;
    value->assign(block);
    os::global_free(block);
    return true;
}

}  // namespace

std::string configured_key() {
    std::string key;
    read_key("CryptKey", &key);
    return key;
}

std::string configured_push_key() {
    std::string key = configured_key();
    if (!key.empty() || security_downgraded()) return key;
    static const std::string nobodys = [] {
        std::string bytes(32, '\0');
        if (os::random_bytes(&bytes[0], bytes.size())) return bytes;
        // The generator does not fail in practice; should it, the key is the
        // hash of what only this process knows (its start tick and layout).
        const std::uintptr_t where = reinterpret_cast<std::uintptr_t>(&bytes);
        const std::uint32_t tick = os::tick_count();
        os::Sha256Digest digest{};
        os::sha256({{&where, sizeof where}, {&tick, sizeof tick}}, digest);
        return std::string(digest.begin(), digest.end());
    }();
    return nobodys;
}

std::uint16_t configured_listening_port() {
    std::string text;
    if (!read_key("ListeningPort", &text) || text.empty()) return kDefaultListeningPort;
    char* end = nullptr;
    const long port = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) return kDefaultListeningPort;
    return static_cast<std::uint16_t>(port);
}

}  // namespace communicate
