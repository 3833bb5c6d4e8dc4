#include "tests/fakes/assistant_home.h"

#include <atomic>
#include <filesystem>
#include <system_error>

#include "os/process.h"
#include "os/system.h"

namespace fs = std::filesystem;

namespace quarn::test {
namespace {

std::atomic<int> g_counter{0};

}  // namespace

AssistantHome::AssistantHome() {
    char saved[1024] = "";
    had_appdata_ = os::env_get("APPDATA", saved, sizeof saved) > 0;
    saved_appdata_ = saved;
    const fs::path base =
        fs::temp_directory_path() / ("quarn-home-" + std::to_string(os::process_id()) + "-" +
                                     std::to_string(g_counter.fetch_add(1)));
    std::error_code ignored;
    fs::remove_all(base, ignored);
    fs::create_directories(base / "Quarn");
    appdata_ = base.string();
    os::env_set("APPDATA", appdata_.c_str());
}

AssistantHome::~AssistantHome() {
    os::env_set("APPDATA", had_appdata_ ? saved_appdata_.c_str() : nullptr);
    // Modules loaded from here stay loaded (and locked on Windows): what
    // cannot be removed is left to the system's temporary folder.
    std::error_code ignored;
    fs::remove_all(appdata_, ignored);
}

std::string AssistantHome::dir() const {
    return (fs::path(appdata_) / "Quarn").string() +
           static_cast<char>(fs::path::preferred_separator);
}

bool AssistantHome::add(const std::string& source, const char* file_name) const {
    std::error_code error;
    fs::copy_file(source, fs::path(dir()) / file_name, fs::copy_options::overwrite_existing, error);
    return !error;
}

}  // namespace quarn::test
