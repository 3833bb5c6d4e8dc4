#include "interface/trust_settings.h"

#include "interface/config_access.h"
#include "os/memory.h"

std::string config_value(const char* key) {
    char* block = nullptr;
    if (Call_TarnReadConfig(key, &block) == 0 || block == nullptr) return {};
    std::string value = block;
    os::global_free(block);
    return value;
}

bool security_downgraded() {
    return config_value(kSecurityDowngradeName) == "1";
}
