// The desktop agent's folder, "<system directory>\BrimAgent\", for tests that
// install doubles of its modules there as an installed agent's would be: a
// fresh folder named by QUARN_SYSTEM_DIR on POSIX, the real system directory
// (under Wine the prefix's system32) on Windows. Removed again at the end.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "os/process.h"
#include "os/system.h"

namespace quarn::test {

class AgentFolder {
  public:
    AgentFolder() {
        if (kPosix) {
            system_ = std::filesystem::temp_directory_path() /
                      ("quarn-system-" + std::to_string(os::process_id()));
            os::env_set("QUARN_SYSTEM_DIR", system_.string().c_str());
        } else {
            char directory[260] = "";
            os::system_directory(directory, sizeof directory);
            system_ = directory;
        }
        std::error_code ignored;
        std::filesystem::remove_all(system_ / "BrimAgent", ignored);
        std::filesystem::create_directories(system_ / "BrimAgent");
    }
    ~AgentFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(system_ / "BrimAgent", ignored);
        if (kPosix) {
            std::filesystem::remove_all(system_, ignored);
            os::env_set("QUARN_SYSTEM_DIR", nullptr);
        }
    }
    AgentFolder(const AgentFolder&) = delete;
    AgentFolder& operator=(const AgentFolder&) = delete;

    // The path the agent code builds: "<system directory>\BrimAgent\<file>".
    std::string path(const char* file) const { return system_.string() + "\\BrimAgent\\" + file; }
    bool add(const std::string& source, const char* file) const {
        std::error_code error;
        std::filesystem::copy_file(source, system_ / "BrimAgent" / file, error);
        return !error;
    }

  private:
    static constexpr bool kPosix = std::filesystem::path::preferred_separator == '/';
    std::filesystem::path system_;
};

}  // namespace quarn::test
