// TarnAssistant.exe, the assistant host: reads its switches, does what
// "-u" and "-cl:" ask, registers its logon start, then runs the agent
// library until the library ends the process (or, on POSIX, the session
// asks it to end).
#include <cstdio>
#include <cstring>

#include "cutil/product_version.h"
#include "cutil/trace.h"
#include "os/process.h"
#include "os/session.h"
#include "programs/TarnAssistant/host.h"
#include "programs/TarnAssistant/switches.h"

int main(int argc, char** argv) {
    using namespace assistant;
    // Answered before anything starts: an administrator asks which version is
    // installed without starting a second assistant.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("TarnAssistant %s\n", quarn::product_version());
        std::fflush(stdout);
        return 0;
    }
    // Before any thread exists, so that every thread leaves these to main.
    os::termination_hold();
    const Switches switches = parse_switches(argc, argv);
    for (const std::string& piece : switches.unknown) {
        LogTrace("main", kTraceError, kTraceSource, __LINE__, "不认识的参数: %s", piece.c_str());
    }
    const std::string folder = own_folder();
    load_siblings(folder);
    if (switches.uninstall) {
        // "-u|-install" comes from a packet that uninstalls: nothing runs after it.
        uninstall();
        return 0;
    }
    if (switches.link) make_desktop_link(folder, switches.link_name);
    register_autostart();
    if (!start_agent(folder)) return 1;
    const int signal_number = os::termination_wait();
    LogTrace("main", kTraceInfo, kTraceSource, __LINE__, "收到结束请求 (%d), 小助手退出",
             signal_number);
    os::process_exit(0);
}
