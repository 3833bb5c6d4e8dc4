// Double of a running assistant TarnAssistant.exe: a process of that name
// that lives for the milliseconds of its first argument (default 30000).
#include <cstdlib>

#include "os/time.h"

int main(int argc, char** argv) {
    const long lifetime = argc > 1 ? std::atol(argv[1]) : 30000;
    os::sleep_ms(static_cast<std::uint32_t>(lifetime > 0 ? lifetime : 0));
    return 0;
}
