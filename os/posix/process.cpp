// Processes and threads. Process handles are pidfds where the kernel has
// them (any process, no PID-reuse race), with a polling fallback.
#include "os/process.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "os/error.h"
#include "os/event.h"
#include "os/posix/internal.h"
#include "os/seams.h"
#include "os/system.h"

extern char** environ;

namespace os {
namespace posix {

KernelObject* object_of(Handle handle, ObjectKind kind) {
    if (handle == nullptr) return nullptr;
    auto* object = static_cast<KernelObject*>(handle);
    return object->kind == kind ? object : nullptr;
}

bool object_kind(Handle handle, ObjectKind* kind) {
    if (handle == nullptr) return false;
    const ObjectKind found = static_cast<KernelObject*>(handle)->kind;
    switch (found) {
        case ObjectKind::kEvent:
        case ObjectKind::kMapping:
        case ObjectKind::kProcess:
        case ObjectKind::kThread:
            *kind = found;
            return true;
    }
    return false;
}

std::uint64_t process_start_time(int pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    std::ifstream file(path);
    std::string stat;
    if (!std::getline(file, stat)) return 0;
    // The command name (field 2) may hold blanks and parentheses: fields
    // are counted after its last ')', each one preceded by a blank.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    const char* p = stat.c_str() + close + 1;
    for (int field = 2; field < 22 && *p != '\0'; ++p) {
        if (*p == ' ') ++field;
    }
    return std::strtoull(p, nullptr, 10);
}

}  // namespace posix

namespace {

// --- futex helpers (process-private) -------------------------------------------

void futex_wait_private(std::atomic<std::uint32_t>* word, std::uint32_t seen,
                        std::uint32_t timeout_ms) {
    timespec timeout{static_cast<time_t>(timeout_ms / 1000),
                     static_cast<long>(timeout_ms % 1000) * 1000000L};
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAIT_PRIVATE, seen,
            timeout_ms == kWaitInfinite ? nullptr : &timeout, nullptr, 0);
}

void futex_wake_private(std::atomic<std::uint32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr,
            nullptr, 0);
}

std::uint64_t now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

// Milliseconds left of `timeout_ms` since `start`; kWaitInfinite stays so.
bool remaining_ms(std::uint64_t start, std::uint32_t timeout_ms, std::uint32_t* left) {
    if (timeout_ms == kWaitInfinite) {
        *left = kWaitInfinite;
        return true;
    }
    const std::uint64_t elapsed = now_ms() - start;
    if (elapsed >= timeout_ms) return false;
    *left = static_cast<std::uint32_t>(timeout_ms - elapsed);
    return true;
}

// --- threads --------------------------------------------------------------------

struct ThreadShared {
    ThreadFunction function;
    void* argument;
    std::atomic<int> references{2};  // the thread and its handle
    std::atomic<std::uint32_t> done{0};
    std::uint32_t exit_code = 0;
};

void release(ThreadShared* shared) {
    if (shared->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete shared;
}

struct ThreadObject : posix::KernelObject {
    ThreadObject() : KernelObject(posix::ObjectKind::kThread) {}
    ThreadShared* shared = nullptr;
};

void* thread_entry(void* data) {
    auto* shared = static_cast<ThreadShared*>(data);
    shared->exit_code = shared->function(shared->argument);
    shared->done.store(1, std::memory_order_release);
    futex_wake_private(&shared->done);
    release(shared);
    return nullptr;
}

bool thread_wait(ThreadObject* thread, std::uint32_t timeout_ms) {
    const std::uint64_t start = now_ms();
    while (thread->shared->done.load(std::memory_order_acquire) == 0) {
        std::uint32_t left = 0;
        if (!remaining_ms(start, timeout_ms, &left)) return false;
        futex_wait_private(&thread->shared->done, 0, left);
    }
    return true;
}

// --- processes ------------------------------------------------------------------

struct ProcessObject : posix::KernelObject {
    ProcessObject() : KernelObject(posix::ObjectKind::kProcess) {}
    int pid = 0;
    int pidfd = -1;
    bool child = false;  // started by us: we reap it and know its exit code
    std::uint64_t start_time = 0;
    std::mutex mutex;
    bool ended = false;
    bool have_code = false;
    std::uint32_t exit_code = 0;
    bool terminated = false;  // ended through process_terminate of this handle
    std::uint32_t terminate_code = 0;
};

int open_pidfd(int pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

// Children whose handle was closed before they ended; reaped when seen ended.
std::mutex g_orphans_mutex;
std::vector<int> g_orphans;

void reap_orphans() {
    std::lock_guard<std::mutex> lock(g_orphans_mutex);
    for (auto it = g_orphans.begin(); it != g_orphans.end();) {
        const pid_t result = waitpid(*it, nullptr, WNOHANG);
        if (result == *it || (result < 0 && errno == ECHILD)) {
            it = g_orphans.erase(it);
        } else {
            ++it;
        }
    }
}

// The Windows-style exit code of a wait status.
std::uint32_t exit_code_of(int status, const ProcessObject* process) {
    if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
    if (process->terminated) return process->terminate_code;
    switch (WTERMSIG(status)) {
        case SIGSEGV:
        case SIGBUS:
            return 0xC0000005u;  // access violation
        case SIGFPE:
            return 0xC0000094u;  // integer divide by zero
        case SIGILL:
            return 0xC000001Du;  // illegal instruction
        case SIGABRT:
            return 3;  // what abort() leaves on Windows
        default:
            return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
    }
}

bool is_zombie(int pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    std::ifstream file(path);
    std::string stat;
    if (!std::getline(file, stat)) return true;
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

// Records the end of the process when it has ended; `block` waits for it.
// Called with the process mutex held.
bool settle(ProcessObject* process, bool block) {
    if (process->ended) return true;
    if (process->child) {
        int status = 0;
        pid_t result;
        do {
            result = waitpid(process->pid, &status, block ? 0 : WNOHANG);
        } while (result < 0 && errno == EINTR);
        if (result == 0) return false;
        process->ended = true;
        if (result == process->pid) {
            process->exit_code = exit_code_of(status, process);
            process->have_code = true;
        }
        return true;
    }
    // Not our child: ended when its pidfd says so, or (without one) when it
    // is gone, a zombie, or its pid names another process.
    bool ended = false;
    if (process->pidfd >= 0) {
        pollfd entry{process->pidfd, POLLIN, 0};
        ended = poll(&entry, 1, 0) > 0;
    } else {
        const bool gone = kill(process->pid, 0) != 0 && errno == ESRCH;
        const std::uint64_t start = posix::process_start_time(process->pid);
        ended = gone || start == 0 || start != process->start_time || is_zombie(process->pid);
    }
    if (ended) {
        process->ended = true;
        if (process->terminated) {
            process->exit_code = process->terminate_code;
            process->have_code = true;
        }
        return true;
    }
    return false;
}

bool process_wait(ProcessObject* process, std::uint32_t timeout_ms) {
    const std::uint64_t start = now_ms();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(process->mutex);
            if (settle(process, false)) return true;
        }
        std::uint32_t left = 0;
        if (!remaining_ms(start, timeout_ms, &left)) return false;
        if (process->pidfd >= 0) {
            pollfd entry{process->pidfd, POLLIN, 0};
            const int wait = left == kWaitInfinite || left > INT_MAX ? -1 : static_cast<int>(left);
            if (poll(&entry, 1, wait) > 0) {
                std::lock_guard<std::mutex> lock(process->mutex);
                // It ended: for a child the blocking reap returns at once.
                if (settle(process, process->child)) return true;
            }
        } else {
            timespec pause{0, 2 * 1000000L};
            nanosleep(&pause, nullptr);
        }
    }
}

ProcessObject* process_of(Handle handle) {
    return static_cast<ProcessObject*>(posix::object_of(handle, posix::ObjectKind::kProcess));
}

Handle spawn(const std::string& path, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int result = posix_spawn(&pid, path.c_str(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    reap_orphans();
    if (result != 0) {
        posix::set_last_error_from_errno(result);
        return nullptr;
    }
    auto* process = new ProcessObject;
    process->pid = pid;
    process->child = true;
    process->pidfd = open_pidfd(pid);
    process->start_time = posix::process_start_time(pid);
    set_last_error(kErrorSuccess);
    return process;
}

// Splits a parameter text the way Windows programs split their command line
// (CommandLineToArgvW): blanks separate, quotes group, 2n backslashes before a
// quote give n backslashes and a quote, 2n+1 give n and a literal quote, ""
// inside quotes is a literal quote.
std::vector<std::string> split_command_line(const char* text) {
    std::vector<std::string> arguments;
    if (text == nullptr) return arguments;
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') break;
        std::string argument;
        bool quoted = false;
        while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
            if (*p == '\\') {
                std::size_t slashes = 0;
                while (*p == '\\') {
                    ++slashes;
                    ++p;
                }
                if (*p == '"') {
                    argument.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        argument += '"';
                        ++p;
                    }
                } else {
                    argument.append(slashes, '\\');
                }
            } else if (*p == '"') {
                if (quoted && p[1] == '"') {
                    argument += '"';
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
            } else {
                argument += *p++;
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

bool is_executable_file(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// A bare program name is looked for where ShellExecuteExA looks: the current
// folder, the system directory, then PATH.
std::string locate_program(const std::string& file) {
    if (file.find('/') != std::string::npos) return file;
    std::vector<std::string> folders{"."};
    char system[4096];
    const std::size_t length = system_directory(system, sizeof system);
    if (length > 0 && length < sizeof system) folders.emplace_back(system);
    if (const char* path = std::getenv("PATH")) {
        std::string all = path;
        std::size_t begin = 0;
        while (begin <= all.size()) {
            const std::size_t end = all.find(':', begin);
            const std::string folder =
                all.substr(begin, end == std::string::npos ? end : end - begin);
            if (!folder.empty()) folders.push_back(folder);
            if (end == std::string::npos) break;
            begin = end + 1;
        }
    }
    for (const std::string& folder : folders) {
        const std::string candidate = folder + "/" + file;
        if (is_executable_file(candidate)) return candidate;
    }
    for (const std::string& folder : folders) {
        const std::string candidate = folder + "/" + file;
        if (exists(candidate)) return candidate;
    }
    return file;
}

}  // namespace

std::uint32_t process_id() {
    return static_cast<std::uint32_t>(getpid());
}

std::uint32_t thread_id() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

const char* process_command_line() {
    static const std::string* line = [] {
        std::ifstream file("/proc/self/cmdline", std::ios::binary);
        std::string text;
        char chunk[4096];
        while (file.read(chunk, sizeof chunk), file.gcount() > 0) {
            text.append(chunk, static_cast<std::size_t>(file.gcount()));
        }
        while (!text.empty() && text.back() == '\0') text.pop_back();
        // A program path with blanks is quoted, as Windows writes it, so
        // that a reader can tell where the arguments begin.
        const std::size_t name_end = text.find('\0');
        const std::string name = text.substr(0, name_end);
        if (name.find_first_of(" \t") != std::string::npos) {
            text.replace(0, name.size(), "\"" + name + "\"");
        }
        for (char& c : text) {
            if (c == '\0') c = ' ';
        }
        return new std::string(text);  // kept for the life of the process
    }();
    return line->c_str();
}

Handle thread_start(ThreadFunction function, void* argument) {
    if (function == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return nullptr;
    }
    auto* shared = new (std::nothrow) ThreadShared{function, argument};
    auto* thread = new (std::nothrow) ThreadObject;
    if (shared == nullptr || thread == nullptr) {
        delete shared;
        delete thread;
        set_last_error(kErrorNotEnoughMemory);
        return nullptr;
    }
    thread->shared = shared;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t id;
    const int result = pthread_create(&id, &attributes, thread_entry, shared);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        delete shared;
        delete thread;
        posix::set_last_error_from_errno(result);
        return nullptr;
    }
    return thread;
}

bool handle_wait(Handle handle, std::uint32_t timeout_ms) {
    posix::ObjectKind kind;
    if (!posix::object_kind(handle, &kind)) {
        set_last_error(kErrorInvalidHandle);
        return false;
    }
    switch (kind) {
        case posix::ObjectKind::kThread:
            return thread_wait(static_cast<ThreadObject*>(handle), timeout_ms);
        case posix::ObjectKind::kProcess:
            return process_wait(static_cast<ProcessObject*>(handle), timeout_ms);
        case posix::ObjectKind::kEvent:
            return posix::event_wait_object(handle, timeout_ms) == 0;
        case posix::ObjectKind::kMapping:
            break;
    }
    set_last_error(kErrorInvalidHandle);
    return false;
}

void handle_close(Handle handle) {
    posix::ObjectKind kind;
    if (!posix::object_kind(handle, &kind)) return;
    switch (kind) {
        case posix::ObjectKind::kThread: {
            auto* thread = static_cast<ThreadObject*>(handle);
            release(thread->shared);
            thread->kind = posix::ObjectKind{0};
            delete thread;
            return;
        }
        case posix::ObjectKind::kProcess: {
            auto* process = static_cast<ProcessObject*>(handle);
            {
                std::lock_guard<std::mutex> lock(process->mutex);
                if (process->child && !settle(process, false)) {
                    std::lock_guard<std::mutex> orphans(g_orphans_mutex);
                    g_orphans.push_back(process->pid);
                }
            }
            if (process->pidfd >= 0) close(process->pidfd);
            process->kind = posix::ObjectKind{0};
            delete process;
            reap_orphans();
            return;
        }
        case posix::ObjectKind::kEvent:
            posix::event_close_object(handle);
            return;
        case posix::ObjectKind::kMapping:
            return;  // closed by shared_memory_close
    }
}

int process_count_by_name(const char* exe_name, int stop_at) {
    if (exe_name == nullptr) return 0;
    int count = 0;
    posix::for_each_process([&](const char* pid) {
        if (posix::listed_name_matches(posix::process_file_name(pid), exe_name)) ++count;
        return stop_at <= 0 || count < stop_at;
    });
    return count;
}

bool process_shell_open(const char* file, const char* parameters, int /*show_state*/,
                        Handle* process) {
    if (process != nullptr) *process = nullptr;
    if (file == nullptr || *file == '\0') {
        set_last_error(kErrorFileNotFound);
        return false;
    }
    const std::string path = locate_program(posix::native_path(file));
    if (!exists(path)) {
        set_last_error(kErrorFileNotFound);
        return false;
    }
    if (!is_executable_file(path)) {
        // Documents would open in their associated program on Windows; this
        // backend starts programs only.
        set_last_error(kErrorNoAssociation);
        return false;
    }
    Handle started = spawn(path, split_command_line(parameters));
    if (started == nullptr) return false;
    if (process != nullptr) {
        *process = started;
    } else {
        handle_close(started);
    }
    return true;
}

Handle process_spawn(const char* path, const char* const* arguments) {
    if (path == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return nullptr;
    }
    std::vector<std::string> list;
    for (const char* const* p = arguments; p != nullptr && *p != nullptr; ++p)
        list.emplace_back(*p);
    return spawn(posix::native_path(path), list);
}

Handle process_open_for_terminate(std::uint32_t pid) {
    const int id = static_cast<int>(pid);
    if (id <= 0 || (kill(id, 0) != 0 && errno == ESRCH)) {
        set_last_error(kErrorInvalidParameter);  // what OpenProcess reports
        return nullptr;
    }
    auto* process = new ProcessObject;
    process->pid = id;
    process->pidfd = open_pidfd(id);
    process->start_time = posix::process_start_time(id);
    set_last_error(kErrorSuccess);
    return process;
}

bool process_terminate(Handle handle, std::uint32_t exit_code) {
    ProcessObject* process = process_of(handle);
    if (process == nullptr) {
        set_last_error(kErrorInvalidHandle);
        return false;
    }
    std::lock_guard<std::mutex> lock(process->mutex);
    if (settle(process, false)) {
        set_last_error(kErrorAccessDenied);  // TerminateProcess of an ended process
        return false;
    }
    int result = -1;
#ifdef SYS_pidfd_send_signal
    if (process->pidfd >= 0) {
        result =
            static_cast<int>(syscall(SYS_pidfd_send_signal, process->pidfd, SIGKILL, nullptr, 0));
    }
#endif
    if (result != 0) result = kill(process->pid, SIGKILL);
    if (result != 0) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    process->terminated = true;
    process->terminate_code = exit_code;
    return true;
}

bool process_exit_code(Handle handle, std::uint32_t* exit_code) {
    ProcessObject* process = process_of(handle);
    if (process == nullptr || exit_code == nullptr) {
        set_last_error(kErrorInvalidHandle);
        return false;
    }
    std::lock_guard<std::mutex> lock(process->mutex);
    if (!settle(process, false)) return false;
    if (!process->have_code) {
        set_last_error(kErrorAccessDenied);  // another process's child: code unknown
        return false;
    }
    *exit_code = process->exit_code;
    return true;
}

void process_exit(std::uint32_t exit_code) {
    if (seams::ExitHook hook = seams::exit_hook()) hook(exit_code);
    // Like ExitProcess: other threads stop where they are, no static
    // destructor runs under them. Buffered output is written first.
    std::fflush(nullptr);
    _exit(static_cast<int>(exit_code & 0xFF));
}

}  // namespace os
