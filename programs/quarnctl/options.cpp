#include "programs/quarnctl/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quarnctl {

bool Options::parse(const char* command, int argc, char** argv,
                    std::initializer_list<OptionRule> rules) {
    command_ = command;
    values_.clear();
    for (int i = 0; i < argc; ++i) {
        std::string argument = argv[i];
        std::string value;
        bool has_inline_value = false;
        const std::size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
            has_inline_value = true;
        }
        const OptionRule* rule = nullptr;
        for (const OptionRule& candidate : rules) {
            if (argument == candidate.name) rule = &candidate;
        }
        if (rule == nullptr) {
            std::fprintf(stderr, "quarnctl %s: unknown argument '%s' (see --help)\n", command,
                         argv[i]);
            return false;
        }
        if (rule->takes_value && !has_inline_value) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quarnctl %s: %s needs a value\n", command, rule->name);
                return false;
            }
            value = argv[++i];
        } else if (!rule->takes_value && has_inline_value) {
            std::fprintf(stderr, "quarnctl %s: %s takes no value\n", command, rule->name);
            return false;
        }
        values_[rule->name] = value;
    }
    return true;
}

bool Options::milliseconds(const char* name, std::uint32_t fallback, std::uint32_t* out) const {
    const auto found = values_.find(name);
    if (found == values_.end()) {
        *out = fallback;
        return true;
    }
    const char* text = found->second.c_str();
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 || value > 0x7FFFFFFFul) {
        std::fprintf(stderr, "quarnctl %s: %s wants milliseconds, not '%s'\n", command_.c_str(),
                     name, text);
        return false;
    }
    *out = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace quarnctl
