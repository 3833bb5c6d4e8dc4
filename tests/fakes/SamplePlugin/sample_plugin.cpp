// A check-item plug-in: answers "passed" with the argument's length, or as
// scripted, and records what it was given.
#include <cstdio>
#include <cstring>

#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

QUARN_EXPORT int QUARN_CDECL CheckSample(const char* argument, char** result) {
    fake::record("CheckSample", "%s", fake::text(argument));
    const fake::Answer a = fake::answer("CheckSample");
    if (a.scripted) {
        if (a.has_text) fake::hand_out_text(result, a.text);
        return a.result;
    }
    char reply[128];
    std::snprintf(reply, sizeof reply,
                  "<Result><CheckType><Result>Yes</Result><Length>%u</Length></CheckType></Result>",
                  argument != nullptr ? static_cast<unsigned>(std::strlen(argument)) : 0u);
    fake::hand_out_text(result, reply);
    return 0;
}

static_assert(sizeof(sibling::PluginFunction{&CheckSample}) > 0);
