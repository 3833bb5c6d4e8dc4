// Check-item plug-ins: CheckSample answers "passed" with the argument's
// length, or as scripted; CheckByOption answers the verdict and reason its
// argument's Option carries (<Verdict>, <Reason>; no Verdict, no verdict in
// the answer); CheckGarbled answers text that is no XML; CheckCrash writes
// through a null pointer; CheckHang answers after a wait. Each records what
// it was given.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

namespace {

// The text of the first <tag>…</tag> in `argument`; false when there is none.
bool element_text(const char* argument, const char* tag, std::string* text) {
    if (argument == nullptr) return false;
    const std::string open = std::string("<") + tag + ">";
    const std::string close = std::string("</") + tag + ">";
    const char* begin = std::strstr(argument, open.c_str());
    if (begin == nullptr) return false;
    begin += open.size();
    const char* end = std::strstr(begin, close.c_str());
    if (end == nullptr) return false;
    text->assign(begin, end);
    return true;
}

}  // namespace

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

QUARN_EXPORT int QUARN_CDECL CheckByOption(const char* argument, char** result) {
    fake::record("CheckByOption", "%s", fake::text(argument));
    std::string reply = "<Result><CheckType>";
    std::string text;
    if (element_text(argument, "Verdict", &text)) reply += "<Result>" + text + "</Result>";
    if (element_text(argument, "Reason", &text)) reply += "<Reason>" + text + "</Reason>";
    reply += "</CheckType></Result>";
    fake::hand_out_text(result, reply);
    return 0;
}

QUARN_EXPORT int QUARN_CDECL CheckGarbled(const char* argument, char** result) {
    fake::record("CheckGarbled", "%s", fake::text(argument));
    fake::hand_out_text(result, "no verdict here, nor any tag");
    return 0;
}

// The fault is the point: the sanitizers must not report it first.
QUARN_EXPORT __attribute__((noinline, no_sanitize_undefined, no_sanitize_address)) int QUARN_CDECL
CheckCrash(const char* argument, char** /*result*/) {
    fake::record("CheckCrash", "%s", fake::text(argument));
    volatile int* volatile target = nullptr;
    *target = 1;
    return 0;
}

// Keeps its caller waiting for the argument's <Seconds> (1 when absent),
// then answers as CheckByOption.
QUARN_EXPORT int QUARN_CDECL CheckHang(const char* argument, char** result) {
    fake::record("CheckHang", "%s", fake::text(argument));
    std::string seconds;
    const int wait = element_text(argument, "Seconds", &seconds) ? std::atoi(seconds.c_str()) : 1;
    std::this_thread::sleep_for(std::chrono::seconds(wait));
    return CheckByOption(argument, result);
}

static_assert(sizeof(sibling::PluginFunction{&CheckSample}) > 0);
static_assert(sizeof(sibling::PluginFunction{&CheckHang}) > 0);
static_assert(sizeof(sibling::PluginFunction{&CheckByOption}) > 0);
static_assert(sizeof(sibling::PluginFunction{&CheckGarbled}) > 0);
static_assert(sizeof(sibling::PluginFunction{&CheckCrash}) > 0);
