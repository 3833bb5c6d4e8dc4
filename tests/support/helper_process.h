// Cross-process tests re-run their own test program as a helper process:
//   QUARN_TEST_HELPER(writer) { ...; return 0; }
//   os::Handle child = quarn::test::spawn_helper("writer", {"arg"});
//   EXPECT_EQ(0, quarn::test::wait_helper(child));
#pragma once

#include <cstdint>
#include <initializer_list>

#include "os/types.h"

namespace quarn::test {

using HelperFunction = int (*)(int argc, char** argv);

struct HelperRegistration {
    HelperRegistration(const char* name, HelperFunction function);
};

// Runs the helper named on the command line ("--quarn-helper=<name>"), when
// there is one; returns false otherwise. *exit_code receives its result.
bool run_helper_if_requested(int argc, char** argv, int* exit_code);

// Starts this test program as a helper process running `name`.
os::Handle spawn_helper(const char* name, std::initializer_list<const char*> arguments = {});
// Waits for the helper and closes its handle: its exit code, or -1 when it
// did not end within the timeout (it is then terminated).
int wait_helper(os::Handle helper, std::uint32_t timeout_ms = 30000);

}  // namespace quarn::test

#define QUARN_TEST_HELPER(name)                                                   \
    static int name##_helper_main(int argc, char** argv);                          \
    static const ::quarn::test::HelperRegistration name##_helper_registration(     \
        #name, name##_helper_main);                                                \
    static int name##_helper_main([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
