#include "dialog_fixture.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "os/module.h"
#include "os/process.h"
#include "os/system.h"
#include "programs/TarnHtmlDlg/command_line.h"
#include "programs/TarnHtmlDlg/dialog.h"
#include "support/helper_process.h"

namespace page_dialog_test {
namespace {

std::string own_path() {
    char self[1024] = "";
    os::module_executable_path(self, sizeof self);
    return self;
}

}  // namespace

// The default browser's stand-in: records the address it was handed.
QUARN_TEST_HELPER(browser) {
    char record[1024] = "";
    if (os::env_get(kBrowserRecordVariable, record, sizeof record) == 0) return 1;
    std::ofstream(record, std::ios::binary) << (argc > 0 ? argv[0] : "");
    return 0;
}

void PageDialogProcess::SetUp() {
    ASSERT_TRUE(reader_.create()) << "the trace ring is not available";
    std::vector<cutil::trace::Record> stale;
    reader_.drain(&stale);
    folder_ = std::filesystem::temp_directory_path() /
              ("quarn_page_dialog_" + std::to_string(os::process_id()));
    std::filesystem::create_directories(folder_);
    const std::string record = (folder_ / "browser.txt").string();
    os::env_set(kBrowserRecordVariable, record.c_str());
    const std::string browser = "\"" + own_path() + "\" --quarn-helper=browser";
    os::env_set(html_dlg::kBrowserVariable, browser.c_str());
}

void PageDialogProcess::TearDown() {
    os::env_set(html_dlg::kBrowserVariable, nullptr);
    os::env_set(kBrowserRecordVariable, nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

int PageDialogProcess::run(const std::string& parameters, unsigned timeout_ms) {
    const std::string self = own_path();
    const std::string program = self.substr(0, self.find_last_of("/\\") + 1) + "TarnHtmlDlg.exe";
    os::Handle process = nullptr;
    if (!os::process_shell_open(program.c_str(), parameters.c_str(), 1, &process) ||
        process == nullptr) {
        ADD_FAILURE() << "cannot start " << program;
        return -1;
    }
    int result = -1;
    std::uint32_t code = 0;
    if (os::handle_wait(process, timeout_ms) && os::process_exit_code(process, &code)) {
        result = static_cast<int>(code);
    } else {
        os::process_terminate(process, 1);
        os::handle_wait(process, 10000);
    }
    os::handle_close(process);
    return result;
}

std::vector<std::string> PageDialogProcess::messages() {
    std::vector<cutil::trace::Record> raw;
    if (reader_.drain(&raw)) {
        for (const auto& record : raw) {
            const auto decoded = cutil::trace::decode(record);
            if (decoded.source == html_dlg::kTraceSource) messages_.push_back(decoded.message);
        }
    }
    return messages_;
}

bool PageDialogProcess::traced(const std::string& prefix) {
    for (const std::string& message : messages()) {
        if (message.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

std::string PageDialogProcess::browser_request() {
    std::ifstream file(folder_ / "browser.txt", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string command_line(const std::string& url, const char* title, int width, int height, int tray,
                         const char* message) {
    char text[2048];
    std::snprintf(text, sizeof text,
                  "Url=\"%s\" Icon=\"%s\" Title=%s Width=%d Height=%d ShowSysIcon=%d "
                  "SysIconMsg=\"%s\"",
                  url.c_str(), "TarnAssistant.ico", title, width, height, tray, message);
    return text;
}

}  // namespace page_dialog_test
