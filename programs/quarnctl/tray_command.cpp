// quarnctl tray: what the tray module shows (icon, tooltip, menu, balloon),
// and a click on one of its menu entries or a double click on the icon.
#include <cstdio>
#include <cstring>
#include <string>

#include "os/text.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"
#include "siblings/QuarnAssShowIcon/tray_state.h"

namespace quarnctl {
namespace {

void print_state(const tray_state::State& state) {
    std::printf("tray of process %u\n", static_cast<unsigned>(state.owner_pid));
    if (state.icon_shown == 0) {
        std::printf("icon: not shown\n");
    } else {
        std::printf("icon: %s\n", state.icon_path[0] != '\0' ? printable(state.icon_path).c_str()
                                                             : "(the system's application icon)");
        std::printf("tooltip: %s\n", printable(state.tooltip).c_str());
    }
    std::printf("menu: %d entries\n", static_cast<int>(state.entry_count));
    for (int i = 0; i < state.entry_count; ++i) {
        const tray_state::Entry& entry = state.entries[i];
        if (std::strcmp(entry.event_name, tray_state::kSeparatorEvent) == 0) {
            std::printf("  %2d  ----------  (%s)\n", i + 1, printable(entry.caption).c_str());
        } else {
            std::printf("  %2d  %s -> %s\n", i + 1, printable(entry.caption).c_str(),
                        printable(entry.event_name).c_str());
        }
    }
    if (state.notify_message != 0) {
        std::printf("mouse message %d -> %s\n", static_cast<int>(state.notify_message),
                    printable(state.notify_event).c_str());
    }
    if (state.balloon_shown != 0) {
        std::printf("balloon: %s | %s  (%d ms from %s)\n", printable(state.balloon_title).c_str(),
                    printable(state.balloon_text).c_str(), static_cast<int>(state.balloon_ms),
                    state.balloon_time);
    }
}

int report(tray_state::Click result, const std::string& what) {
    switch (result) {
        case tray_state::Click::kDone:
            return 0;
        case tray_state::Click::kNoTray:
            std::fprintf(stderr, "quarnctl tray: no tray in this session\n");
            return 1;
        case tray_state::Click::kNoEntry:
            std::fprintf(stderr, "quarnctl tray: the tray has no entry %s\n", what.c_str());
            return 1;
        case tray_state::Click::kNoEvent:
            std::fprintf(stderr, "quarnctl tray: nothing waits on the event of %s\n", what.c_str());
            return 1;
    }
    return 1;
}

}  // namespace

int run_tray(int argc, char** argv) {
    if (argc == 0) {
        tray_state::State state;
        if (!tray_state::read(&state)) {
            std::printf("no tray in this session\n");
            return 1;
        }
        print_state(state);
        return 0;
    }
    if (argc == 1 && std::strcmp(argv[0], "double-click") == 0) {
        return report(tray_state::double_click(), "for a double click");
    }
    if (argc == 2 && std::strcmp(argv[0], "click") == 0) {
        // The caption as typed: the system's code page (Windows), or UTF-8
        // from a terminal, which the tray's GBK captions are compared in.
        tray_state::Click result = tray_state::click(argv[1]);
        if (result == tray_state::Click::kNoEntry) {
            const std::string gbk = os::utf8_to_gbk(argv[1], std::strlen(argv[1]));
            result = tray_state::click(gbk.c_str());
        }
        return report(result, std::string("\"") + argv[1] + "\"");
    }
    std::fprintf(stderr,
                 "quarnctl tray: expected no argument, click \"<caption>\" or double-click\n");
    return 2;
}

}  // namespace quarnctl
