// Named objects another account made first under our names (POSIX keeps them
// in the folder every account writes to): refused, never waited on. Needs
// root to make an object owned by someone else.
#ifndef _WIN32
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "os/error.h"
#include "os/event.h"
#include "os/mutex.h"
#include "os/process.h"
#include "os/shared_memory.h"
#include "support/helper_process.h"

namespace {

constexpr uid_t kOtherAccount = 65534;  // nobody

// The object "/quarn.<uid>.<kind>.<name>" as another account leaves it:
// owned by that account, open to all, and held (its lock taken).
class Squatter {
  public:
    Squatter(char kind, const std::string& name)
        : path_("/quarn." + std::to_string(getuid()) + "." + kind + "." + name) {
        fd_ = shm_open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
        if (fd_ < 0) return;
        struct flock share {};
        share.l_type = F_RDLCK;
        share.l_len = 1;
        ready_ = fchown(fd_, kOtherAccount, kOtherAccount) == 0 && fchmod(fd_, 0666) == 0 &&
                 ftruncate(fd_, 8192) == 0 && flock(fd_, LOCK_EX) == 0 &&  // a mutex held for ever
                 fcntl(fd_, F_OFD_SETLK, &share) == 0;  // an event someone still holds
    }
    ~Squatter() {
        if (fd_ >= 0) close(fd_);
        shm_unlink(path_.c_str());
    }
    bool made() const { return ready_; }

  private:
    std::string path_;
    int fd_ = -1;
    bool ready_ = false;
};

TEST(NamedObjectSquat, ObjectsOfAnotherAccountAreRefusedNotWaitedOn) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to own a file as another account";
    const std::string name = "QuarnSquat" + std::to_string(os::process_id());
    {
        Squatter squatter('m', name);
        ASSERT_TRUE(squatter.made());
        os::set_last_error(0);
        os::Handle mutex = os::mutex_open(name.c_str());
        EXPECT_EQ(nullptr, mutex);
        EXPECT_EQ(os::kErrorAccessDenied, os::last_error());
        os::mutex_close(mutex);
    }
    {
        Squatter squatter('o', name);
        ASSERT_TRUE(squatter.made());
        os::Handle event = os::event_create(name.c_str(), os::EventReset::kManual, false);
        EXPECT_EQ(nullptr, event);
        EXPECT_EQ(os::kErrorAccessDenied, os::last_error());
        if (event != nullptr) os::event_close(event);
    }
    // Our own name, once the squatter has gone, works again.
    os::Handle mutex = os::mutex_open(name.c_str());
    ASSERT_NE(nullptr, mutex);
    EXPECT_TRUE(os::mutex_lock(mutex));
    os::mutex_unlock(mutex);
    os::mutex_close(mutex);
    shm_unlink(("/quarn." + std::to_string(getuid()) + ".m." + name).c_str());
}

// The per-user hub, made first by another account and held, in a /dev/shm
// of this helper's own (the suites beside this one use the real hub): every
// event and mapping is refused at once; a wait on the hub's lock would hang.
QUARN_TEST_HELPER(hub_squatted) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/dev/shm", "tmpfs", 0, nullptr) != 0) {
        return 2;
    }
    const std::string hub = "/quarn." + std::to_string(getuid());
    const int fd = shm_open(hub.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    if (fd < 0 || fchown(fd, kOtherAccount, kOtherAccount) != 0 || fchmod(fd, 0666) != 0 ||
        ftruncate(fd, 8192) != 0 || flock(fd, LOCK_EX) != 0) {
        return 3;
    }
    os::set_last_error(0);
    const os::Handle event = os::event_create("QuarnHubSquat", os::EventReset::kManual, false);
    if (event != nullptr || os::last_error() != os::kErrorAccessDenied) return 4;
    os::SharedMemory memory{};
    if (os::shared_memory_create("QuarnHubSquat", 4096, &memory)) return 5;
    return 0;
}

TEST(NamedObjectSquat, HubOfAnotherAccountRefusesEveryObjectAtOnce) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to own a file as another account";
    const int result = quarn::test::wait_helper(quarn::test::spawn_helper("hub_squatted"), 20000);
    if (result == 2) GTEST_SKIP() << "no /dev/shm of its own could be mounted";
    EXPECT_EQ(0, result);
}

}  // namespace
#endif
