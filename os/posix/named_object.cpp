// Named kernel objects (events, file mappings) on POSIX shared memory, with
// the lifetime Windows gives them: an object exists while a handle to it is
// open anywhere, and a crashed holder never keeps it alive.
//
//   - Each object is one segment "/quarn.<uid>.o.<encoded name>": a header page
//     (kind, size, event state) and the payload.
//   - Every open handle owns an open file description of the segment holding
//     a shared OFD lock on byte 0. The kernel drops the lock when the
//     description is closed, also when its process dies.
//   - "Is anybody holding it?" is a non-blocking exclusive lock attempt:
//     success means no live holder, so the name is stale (open fails with 2,
//     create starts a fresh object) or, at close, ours was the last handle
//     (the name is removed).
//   - Create, open and close run under one per-user lock (flock on the
//     "/quarn.<uid>" segment, released by the kernel if its holder dies), so
//     initialisation and removal never race.
//   - The same small segment holds the hub word every event change bumps and
//     every waiter futex-waits on, and the count of objects ever created: a
//     name found absent stays absent until that count moves, so an open that
//     failed is answered again from memory (the allocation registry looks
//     for its monitor at every registration).
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>

#include "os/error.h"
#include "os/event.h"
#include "os/posix/internal.h"

namespace os::posix {
namespace {

constexpr std::uint32_t kNamedMagic = 0x514e4f42u;  // "QNOB"
constexpr std::size_t kHubSize = 4096;

std::string user_prefix() {
    return "/quarn." + std::to_string(getuid());
}

struct Hub {
    int fd = -1;
    std::atomic<std::uint32_t>* word = nullptr;
    std::atomic<std::uint32_t>* creations = nullptr;  // in its own cache line
    std::mutex mutex;  // flock is per description: threads need their own turn
};

Hub& hub() {
    // Never destroyed: threads may still open named objects while the
    // process exits. Built in static storage rather than on the heap, so a
    // module that is unloaded (test doubles are) leaves no heap block behind.
    alignas(Hub) static unsigned char storage[sizeof(Hub)];
    static Hub* instance = [] {
        auto* h = new (storage) Hub;
        const std::string name = user_prefix();
        const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        struct stat info {};
        if (fd < 0 || fstat(fd, &info) != 0 || info.st_uid != getuid()) {
            if (fd >= 0) close(fd);
            return h;
        }
        if (static_cast<std::size_t>(info.st_size) < kHubSize && ftruncate(fd, kHubSize) != 0) {
            close(fd);
            return h;
        }
        void* base = mmap(nullptr, kHubSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (base == MAP_FAILED) {
            close(fd);
            return h;
        }
        h->fd = fd;
        h->word = static_cast<std::atomic<std::uint32_t>*>(base);
        h->creations = h->word + 16;
        return h;
    }();
    return *instance;
}

// The per-user lock over create, open and close.
class NamespaceLock {
  public:
    NamespaceLock() : hub_(hub()), guard_(hub_.mutex) {
        if (hub_.fd >= 0) {
            while (flock(hub_.fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~NamespaceLock() {
        if (hub_.fd >= 0) flock(hub_.fd, LOCK_UN);
    }
    NamespaceLock(const NamespaceLock&) = delete;
    NamespaceLock& operator=(const NamespaceLock&) = delete;
    bool usable() const { return hub_.fd >= 0; }

  private:
    Hub& hub_;
    std::lock_guard<std::mutex> guard_;
};

// Names an open found absent, each with the count of creations then. Fixed
// arrays in static storage, as the hub: an unloaded module leaves no heap
// block behind.
class AbsentNames {
  public:
    bool known_absent(const char* name) {
        const std::uint32_t now = current();
        const std::lock_guard<std::mutex> guard(mutex_);
        for (const Entry& entry : entries_) {
            if (entry.used && entry.creations == now && std::strcmp(entry.name, name) == 0) {
                return true;
            }
        }
        return false;
    }
    // `creations` as read under the namespace lock before the failed open.
    void remember(const char* name, std::uint32_t creations) {
        if (hub().creations == nullptr || std::strlen(name) >= sizeof(Entry::name)) return;
        const std::lock_guard<std::mutex> guard(mutex_);
        Entry* slot = &entries_[next_];
        for (Entry& entry : entries_) {
            if (entry.used && std::strcmp(entry.name, name) == 0) slot = &entry;
        }
        if (slot == &entries_[next_]) next_ = (next_ + 1) % kEntries;
        std::strcpy(slot->name, name);
        slot->creations = creations;
        slot->used = true;
    }
    static std::uint32_t current() {
        const Hub& h = hub();
        return h.creations != nullptr ? h.creations->load(std::memory_order_acquire) : 0;
    }

  private:
    static constexpr std::size_t kEntries = 8;
    struct Entry {
        char name[120];
        std::uint32_t creations;
        bool used;
    };
    std::mutex mutex_;
    Entry entries_[kEntries]{};
    std::size_t next_ = 0;
};

AbsentNames& absent_names() {
    alignas(AbsentNames) static unsigned char storage[sizeof(AbsentNames)];
    static AbsentNames* instance = new (storage) AbsentNames;
    return *instance;
}

bool try_lock_byte0(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Fails with last error `code` after closing what `fd` and `base` hold.
NamedResult fail(std::uint32_t code, int fd, void* base = nullptr, std::size_t mapped = 0) {
    if (base != nullptr) munmap(base, mapped);
    if (fd >= 0) close(fd);
    set_last_error(code);
    return NamedResult::kFailed;
}

std::uint64_t fnv1a(const char* text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (; *text != '\0'; ++text) {
        hash ^= static_cast<unsigned char>(*text);
        hash *= 1099511628211ULL;
    }
    return hash;
}

}  // namespace

std::string encode_object_name(const char* name) {
    // "Local\X" is the session namespace, where "X" lives too.
    if (std::strncmp(name, "Local\\", 6) == 0) name += 6;
    std::string encoded = user_prefix() + ".o.";
    for (const char* p = name; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.') {
            encoded += static_cast<char>(c);
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "_%02X", c);
            encoded += escape;
        }
    }
    if (encoded.size() > 200) {
        // Keep it under NAME_MAX: a readable beginning and a hash of the whole.
        char hash[24];
        std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(fnv1a(name)));
        encoded = encoded.substr(0, 180) + hash;
    }
    return encoded;
}

NamedResult named_create(const char* name, NamedKind kind, std::size_t payload_size, bool create,
                         void (*init)(NamedHeader* header, const void* context),
                         const void* context, NamedSegment* out) {
    if (name == nullptr || (create && payload_size > (std::size_t{1} << 40))) {
        set_last_error(kErrorInvalidParameter);
        return NamedResult::kFailed;
    }
    // Only the namespace prefixes may hold a backslash ("a\b" is a path into
    // a directory that does not exist, as the Windows object manager says).
    const char* bare = name;
    if (std::strncmp(bare, "Global\\", 7) == 0) {
        bare += 7;
    } else if (std::strncmp(bare, "Local\\", 6) == 0) {
        bare += 6;
    }
    if (std::strchr(bare, '\\') != nullptr) {
        set_last_error(kErrorPathNotFound);
        return NamedResult::kFailed;
    }
    if (!create && absent_names().known_absent(name)) {
        set_last_error(kErrorFileNotFound);
        return NamedResult::kFailed;
    }
    const std::string shm_name = encode_object_name(name);
    NamespaceLock lock;
    if (!lock.usable()) {
        set_last_error(kErrorAccessDenied);
        return NamedResult::kFailed;
    }
    // Creations happen under this lock: the count read now is the one the
    // open below sees.
    const std::uint32_t creations = AbsentNames::current();
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = -1;
        bool fresh = false;
        if (create) {
            fd = shm_open(shm_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) {
                fresh = true;
            } else if (errno != EEXIST) {
                return fail(error_from_errno(errno), -1);
            }
        }
        if (!fresh) {
            fd = shm_open(shm_name.c_str(), O_RDWR | O_CLOEXEC, 0);
            if (fd < 0) {
                if (errno == ENOENT && create) continue;
                if (errno == ENOENT) absent_names().remember(name, creations);
                return fail(errno == ENOENT ? kErrorFileNotFound : error_from_errno(errno), -1);
            }
            if (try_lock_byte0(fd, F_WRLCK)) {
                // Nobody holds it: left behind by a process that died.
                shm_unlink(shm_name.c_str());
                close(fd);
                if (!create) {
                    absent_names().remember(name, creations);
                    return fail(kErrorFileNotFound, -1);
                }
                continue;
            }
            struct stat info {};
            if (fstat(fd, &info) != 0 || info.st_uid != getuid() ||
                static_cast<std::size_t>(info.st_size) < kNamedHeaderSize) {
                return fail(kErrorAccessDenied, fd);
            }
            const auto mapped = static_cast<std::size_t>(info.st_size);
            void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (base == MAP_FAILED) return fail(error_from_errno(errno), fd);
            const auto* header = static_cast<const NamedHeader*>(base);
            if (header->magic != kNamedMagic || header->kind != static_cast<std::uint32_t>(kind)) {
                return fail(kErrorInvalidHandle, fd, base, mapped);
            }
            if (header->payload_size < payload_size ||
                mapped - kNamedHeaderSize < header->payload_size) {
                return fail(kErrorAccessDenied, fd, base, mapped);
            }
            if (!try_lock_byte0(fd, F_RDLCK))
                return fail(error_from_errno(errno), fd, base, mapped);
            out->name = shm_name;
            out->fd = fd;
            out->base = base;
            out->mapped = mapped;
            set_last_error(create ? kErrorAlreadyExists : kErrorSuccess);
            return NamedResult::kOpened;
        }
        const std::size_t mapped = kNamedHeaderSize + payload_size;
        if (ftruncate(fd, static_cast<off_t>(mapped)) != 0) {
            const int error_number = errno;
            shm_unlink(shm_name.c_str());
            return fail(
                error_number == ENOSPC ? kErrorNotEnoughMemory : error_from_errno(error_number),
                fd);
        }
        void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (base == MAP_FAILED || !try_lock_byte0(fd, F_RDLCK)) {
            const int error_number = errno;
            shm_unlink(shm_name.c_str());
            return fail(error_from_errno(error_number), fd, base == MAP_FAILED ? nullptr : base,
                        mapped);
        }
        auto* header = new (base) NamedHeader{};
        header->kind = static_cast<std::uint32_t>(kind);
        header->payload_size = payload_size;
        if (init != nullptr) init(header, context);
        header->magic = kNamedMagic;
        if (hub().creations != nullptr) hub().creations->fetch_add(1, std::memory_order_acq_rel);
        out->name = shm_name;
        out->fd = fd;
        out->base = base;
        out->mapped = mapped;
        set_last_error(kErrorSuccess);
        return NamedResult::kCreated;
    }
    set_last_error(kErrorAccessDenied);  // the name keeps changing under us
    return NamedResult::kFailed;
}

void named_close(NamedSegment* segment) {
    if (segment == nullptr || segment->fd < 0) return;
    NamespaceLock lock;
    if (segment->base != nullptr) munmap(segment->base, segment->mapped);
    // Our shared lock becomes exclusive only when no other handle holds one.
    if (try_lock_byte0(segment->fd, F_WRLCK)) {
        struct stat ours {};
        struct stat named {};
        const int current = shm_open(segment->name.c_str(), O_RDONLY | O_CLOEXEC, 0);
        if (current >= 0) {
            if (fstat(segment->fd, &ours) == 0 && fstat(current, &named) == 0 &&
                ours.st_ino == named.st_ino && ours.st_dev == named.st_dev) {
                shm_unlink(segment->name.c_str());
            }
            close(current);
        }
    }
    close(segment->fd);
    segment->fd = -1;
    segment->base = nullptr;
    segment->mapped = 0;
}

std::atomic<std::uint32_t>* hub_word() {
    static std::atomic<std::uint32_t> private_word{0};  // when the hub cannot be shared
    Hub& h = hub();
    return h.word != nullptr ? h.word : &private_word;
}

void hub_wake() {
    std::atomic<std::uint32_t>* word = hub_word();
    word->fetch_add(1, std::memory_order_acq_rel);
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAKE, INT_MAX, nullptr,
            nullptr, 0);
}

void hub_wait(std::uint32_t seen, std::uint32_t timeout_ms) {
    std::atomic<std::uint32_t>* word = hub_word();
    timespec timeout{static_cast<time_t>(timeout_ms / 1000),
                     static_cast<long>(timeout_ms % 1000) * 1000000L};
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAIT, seen,
            timeout_ms == kWaitInfinite ? nullptr : &timeout, nullptr, 0);
}

}  // namespace os::posix
