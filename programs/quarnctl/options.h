// The options of one quarnctl command: "--flag" and "--name VALUE" (or
// "--name=VALUE"); anything else is an error reported on stderr.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>

namespace quarnctl {

struct OptionRule {
    const char* name;  // "--follow"
    bool takes_value;
};

class Options {
  public:
    // False (with a message naming `command`) on an unknown option, a
    // missing value or a stray argument.
    bool parse(const char* command, int argc, char** argv, std::initializer_list<OptionRule> rules);
    bool has(const char* name) const { return values_.count(name) != 0; }
    // The option's value, `fallback` when absent.
    std::string value_or(const char* name, const std::string& fallback) const {
        const auto found = values_.find(name);
        return found != values_.end() ? found->second : fallback;
    }
    // The option as a number of milliseconds, `fallback` when absent; false
    // (with a message) when it is not a whole number.
    bool milliseconds(const char* name, std::uint32_t fallback, std::uint32_t* out) const;

  private:
    std::string command_;
    std::map<std::string, std::string> values_;
};

}  // namespace quarnctl
