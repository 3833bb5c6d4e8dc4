// A throw-away assistant directory: a fresh folder that APPDATA points to
// while the object lives, with a "Quarn" folder into which tests copy the
// doubles a scenario needs.
#pragma once

#include <string>

namespace quarn::test {

class AssistantHome {
  public:
    AssistantHome();
    ~AssistantHome();
    AssistantHome(const AssistantHome&) = delete;
    AssistantHome& operator=(const AssistantHome&) = delete;

    // The value given to APPDATA (no trailing separator).
    const std::string& appdata() const { return appdata_; }
    // The assistant directory in native form, with its trailing separator.
    std::string dir() const;
    // Copies `source` into the assistant directory as `file_name`.
    bool add(const std::string& source, const char* file_name) const;
    // Path of a file in the assistant directory.
    std::string path(const char* file_name) const { return dir() + file_name; }

  private:
    std::string appdata_;
    std::string saved_appdata_;
    bool had_appdata_ = false;
};

}  // namespace quarn::test
