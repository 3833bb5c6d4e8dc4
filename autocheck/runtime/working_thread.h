// The working thread in its three phases, each callable on its own so that
// tests can run them: wait for the server, prepare, then passes forever.
// WorkingThread (autocheck/threads.h) is the thin shell around them.
#pragma once

namespace autocheck {

// What one pass hands to the next.
struct WorkingState {
    bool logon_start = false;  // "-logon" or "-user" on the command line
    int logon_cycle_done = 0;  // 1 once the logon-time cycle ran, or at installation
};

// Before the first contact: waits a time drawn anew at each start, up to
// RandomDelay seconds (at most an hour); absent, 0 or less: no wait.
void RandomStartDelay();
// Polls IsCanConnectToServer every 3 s until the server answers. After a
// month without a check the assistant is started with "-u" to uninstall
// itself and the process ends (exit code 0).
void WaitForServer();
// Registration, identity policy, the desktop agent's cut at logon, the
// command callback and the tray; the passes' state for `command_line`.
WorkingState PrepareWorkingPasses(const char* command_line);
// One pass: logon-time cycle, tray, heartbeat or wake-up notice, periodic
// cycle. A processor fault ends the pass, traced "发生异常".
void RunWorkingPass(WorkingState* state);

}  // namespace autocheck
