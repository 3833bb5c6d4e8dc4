// The main of every test program: a helper-process run when asked for one,
// the GoogleTest suites otherwise.
#include <gtest/gtest.h>

#include "support/helper_process.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime of this compiler misreads some dynamic TLS blocks of
// loaded modules as an old glibc's, and its leak scan then dies at exit;
// programs that load several modules with TLS make that likely. Leak
// checking stays on.
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
    return "intercept_tls_get_addr=0";
}
#endif

int main(int argc, char** argv) {
    int exit_code = 0;
    if (quarn::test::run_helper_if_requested(argc, argv, &exit_code)) return exit_code;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
