#include "autocheck/runtime/check_page_process.h"

#include <mutex>

#include "autocheck/bound_modules.h"
#include "autocheck/runtime/check_page.h"
#include "interface/launch.h"
#include "os/process.h"

namespace {

std::mutex& page_lock() {
    static std::mutex lock;
    return lock;
}

// Puts `page` in CheckPageProcess and hands back what was there.
os::Handle exchange_check_page(os::Handle page) {
    const std::lock_guard<std::mutex> guard(page_lock());
    const os::Handle previous = CheckPageProcess;
    CheckPageProcess = page;
    return previous;
}

}  // namespace

namespace autocheck {

os::Handle take_check_page() {
    return exchange_check_page(nullptr);
}

void end_check_page(os::Handle page) {
    if (page == nullptr) return;
    os::process_terminate(page, 0);
    os::handle_close(page);
}

void replace_check_page(const char* url) {
    end_check_page(take_check_page());
    os::Handle opened = nullptr;
    OpenUrlInTarnHtmlDlg(kCheckPageTitle, "", url, &opened, 0, 0, 1, 0);
    // Only one page opened this way stays alive, even if another was kept
    // while this one opened.
    end_check_page(exchange_check_page(opened));
}

}  // namespace autocheck
