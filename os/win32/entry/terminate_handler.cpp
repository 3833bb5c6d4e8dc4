// The terminate handler of every module and program we link. The C++
// runtime's own prints the escaping exception's demangled type name, which
// links the runtime's whole demangler (about 46 KB) into each statically
// linked binary; this one prints the exception's message instead and ends the
// process the same way (abort).
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    static bool terminating = false;
    if (terminating) {
        std::fputs("terminate called recursively\n", stderr);
        std::abort();
    }
    terminating = true;
    if (std::current_exception() != nullptr) {
        try {
            throw;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "terminate called after throwing an exception: %s\n",
                         error.what());
        } catch (...) {
            std::fputs("terminate called after throwing an exception of an unknown type\n",
                       stderr);
        }
    } else {
        std::fputs("terminate called without an active exception\n", stderr);
    }
    std::abort();
}

}  // namespace __gnu_cxx
