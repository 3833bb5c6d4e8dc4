// The main of every test program: a helper-process run when asked for one,
// the GoogleTest suites otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "os/process.h"
#include "os/system.h"
#include "support/helper_process.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime of this compiler misreads some dynamic TLS blocks of
// loaded modules as an old glibc's, and its leak scan then dies at exit;
// programs that load several modules with TLS make that likely. Leak
// checking stays on.
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
    return "intercept_tls_get_addr=0";
}
#endif

namespace {

namespace fs = std::filesystem;

constexpr char kRunPrefix[] = "quarn-run-";

// Every temporary folder of this program and its helpers goes into one
// folder of its own, removed when the suites end. Windows keeps the modules
// a test loaded from there locked until the process is gone: what is left
// is removed by the next program of the same system temporary folder (the
// Wine prefix's own), once the program that made it has ended.
fs::path private_temp_folder() {
    std::error_code error;
    const fs::path system = fs::temp_directory_path(error);
    if (error) return {};
#ifdef _WIN32
    for (const auto& entry : fs::directory_iterator(system, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kRunPrefix, 0) != 0) continue;
        const unsigned long pid = std::strtoul(name.c_str() + sizeof kRunPrefix - 1, nullptr, 10);
        const os::Handle owner = pid != 0 ? os::process_open_for_terminate(pid) : nullptr;
        if (owner != nullptr) {
            os::handle_close(owner);
            continue;
        }
        std::error_code ignored;
        fs::remove_all(entry.path(), ignored);
    }
#endif
    const fs::path folder = system / (kRunPrefix + std::to_string(os::process_id()));
    if (!fs::create_directories(folder, error) && error) return {};
    // The variables GetTempPath and temp_directory_path read.
    for (const char* name : {"TMPDIR", "TMP", "TEMP"}) os::env_set(name, folder.string().c_str());
    return folder;
}

}  // namespace

int main(int argc, char** argv) {
    int exit_code = 0;
    if (quarn::test::run_helper_if_requested(argc, argv, &exit_code)) return exit_code;
    testing::InitGoogleTest(&argc, argv);
    const fs::path temp = private_temp_folder();
    exit_code = RUN_ALL_TESTS();
    std::error_code ignored;
    if (!temp.empty()) fs::remove_all(temp, ignored);
    return exit_code;
}
