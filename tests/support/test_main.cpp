// The main of every test program: a helper-process run when asked for one,
// the GoogleTest suites otherwise.
#include <gtest/gtest.h>

#include "support/helper_process.h"

int main(int argc, char** argv) {
    int exit_code = 0;
    if (quarn::test::run_helper_if_requested(argc, argv, &exit_code)) return exit_code;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
