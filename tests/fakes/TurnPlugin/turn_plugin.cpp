// A check-item plug-in whose verdicts come in turn: the text scripted for
// "CheckInTurn" lists them separated by "|" ("No|Yes"), one per call, the
// last one repeated. Unscripted it passes. Lets a test fail a first check
// and pass the check that follows it. The verdict "-" answers a text that is
// no document: the engine gets no result for the item.
#include <cstdio>
#include <mutex>
#include <string>

#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

namespace {

std::mutex g_lock;
int g_turn = 0;

void forget_turn() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_turn = 0;
}

const bool g_hooked = (fake::set_reset_hook(&forget_turn), true);

std::string verdict_of_turn(const std::string& list, int turn) {
    std::size_t start = 0;
    for (int i = 0; i < turn; ++i) {
        const std::size_t bar = list.find('|', start);
        if (bar == std::string::npos) break;  // the last verdict repeats
        start = bar + 1;
    }
    return list.substr(start, list.find('|', start) - start);
}

}  // namespace

QUARN_EXPORT int QUARN_CDECL CheckInTurn(const char* argument, char** result) {
    fake::record("CheckInTurn", "%s", fake::text(argument));
    const fake::Answer a = fake::answer("CheckInTurn");
    int turn = 0;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        turn = g_turn++;
    }
    const std::string verdict = a.scripted && g_hooked ? verdict_of_turn(a.text, turn) : "Yes";
    if (verdict == "-") {
        fake::hand_out_text(result, "no document");
        return 0;
    }
    char reply[256];
    std::snprintf(reply, sizeof reply,
                  "<Result><CheckType><Result>%s</Result><Reason>turn %d</Reason></CheckType>"
                  "</Result>",
                  verdict.c_str(), turn + 1);
    fake::hand_out_text(result, reply);
    return 0;
}

static_assert(sizeof(sibling::PluginFunction{&CheckInTurn}) > 0);
