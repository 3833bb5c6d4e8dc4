#include "siblings/QuarnAssCommunicate/settings.h"

#include <cstdlib>

#include "interface/config_access.h"
#include "os/memory.h"

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

std::uint16_t configured_listening_port() {
    std::string text;
    if (!read_key("ListeningPort", &text) || text.empty()) return kDefaultListeningPort;
    char* end = nullptr;
    const long port = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) return kDefaultListeningPort;
    return static_cast<std::uint16_t>(port);
}

}  // namespace communicate
