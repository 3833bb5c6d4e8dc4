#include "siblings/QuarnAssConfigMgr/config_store.h"

#include <map>

#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "os/error.h"
#include "os/mutex.h"
#include "os/time.h"

namespace config_store {
namespace {}  // namespace

// Holds the store's named mutex for a scope; holds nothing (and says so) when
// the mutex could not be taken.
class ConfigStore::CrossProcessLock {
  public:
    explicit CrossProcessLock(os::Handle mutex)
        : mutex_(mutex), held_(mutex != nullptr && os::mutex_lock(mutex)) {}
    ~CrossProcessLock() {
        if (held_) os::mutex_unlock(mutex_);
    }
    CrossProcessLock(const CrossProcessLock&) = delete;
    CrossProcessLock& operator=(const CrossProcessLock&) = delete;
    bool held() const { return held_; }

  private:
    os::Handle mutex_;
    bool held_;
};

ConfigStore::ConfigStore(const std::string& folder)
    : folder_(folder),
      path_(folder + kStoreFileName),
      lock_(os::mutex_open(os::mutex_name_for_path("QuarnAssConfigMgr.", path_).c_str())) {
    if (lock_ == nullptr) {
        LogTrace("ConfigStore", kTraceError, kTraceSource, __LINE__, "打开配置锁失败: %u",
                 static_cast<unsigned>(os::last_error()));
    }
}

ConfigStore::~ConfigStore() {
    os::file_release(&held_);
    os::mutex_close(lock_);
}

void ConfigStore::set_aside_locked(DecodeResult why) {
    const std::string aside = path_ + kDamagedSuffix;
    const bool moved = os::file_rename_replacing(path_.c_str(), aside.c_str());
    LogTrace("LoadConfig", kTraceError, kTraceSource, __LINE__, "配置文件损坏(%s), %s %s",
             describe(why), moved ? "已移至" : "无法移走", aside.c_str());
}

void ConfigStore::load_locked() {
    // Held, then stamped, before the read: a change after it shows as a new
    // stamp next time.
    pinned_ = false;
    os::FileStamp held;
    const bool holding = os::file_hold(path_.c_str(), &held_, &held);
    os::FileStamp stamp;
    os::file_stamp(path_.c_str(), &stamp);
    std::string bytes;
    StoreImage loaded;
    loaded.generation = image_.generation;
    if (!os::file_read_all(path_.c_str(), kHeaderSize + kMaxBodyBytes + 4096, &bytes)) {
        const std::uint32_t error = os::last_error();
        if (error != os::kErrorFileNotFound && error != os::kErrorPathNotFound) {
            if (error == os::kErrorInsufficientBuffer) {
                set_aside_locked(DecodeResult::kDamaged);
                os::file_stamp(path_.c_str(), &stamp);
            } else {
                // Unreadable for now (held by another program): keep what we had.
                LogTrace("LoadConfig", kTraceError, kTraceSource, __LINE__, "读取配置文件失败: %u",
                         static_cast<unsigned>(error));
                return;
            }
        }
    } else {
        const DecodeResult result = decode_store(bytes, &loaded);
        if (result != DecodeResult::kOk) {
            set_aside_locked(result);
            loaded = StoreImage{};
            // Later generations stay above any this process has seen.
            loaded.generation = image_.generation;
            os::file_stamp(path_.c_str(), &stamp);
        }
    }
    image_ = std::move(loaded);
    mark_current(stamp);
    pinned_ = holding && held == stamp;
}

bool ConfigStore::header_matches() const {
    char header[kHeaderSize];
    std::size_t got = 0;
    std::uint64_t generation = 0;
    return os::file_read_at(path_.c_str(), 0, header, sizeof header, &got) &&
           peek_generation(header, got, &generation) && generation == image_.generation;
}

void ConfigStore::mark_current(const os::FileStamp& stamp) {
    stamp_ = stamp;
    stamp_tick_ = os::tick_count();
    settled_ = false;
    loaded_ = true;
    pinned_ = false;
}

void ConfigStore::hold_current(const os::FileStamp& stamp) {
    os::FileStamp held;
    pinned_ = os::file_hold(path_.c_str(), &held_, &held) && held == stamp;
}

void ConfigStore::refresh_locked(bool strict) {
    os::FileStamp now;
    if (!os::file_stamp(path_.c_str(), &now) || !loaded_ || now != stamp_) {
        load_locked();
        return;
    }
    // The stamp may repeat when a file is replaced within the clock's
    // resolution by one of the same size; the generation never does.
    if (strict && now.exists && !pinned_ && !header_matches()) load_locked();
}

bool ConfigStore::read(const std::string& key, std::string* value) {
    std::lock_guard<std::mutex> guard(mutex_);
    os::FileStamp now;
    bool stale = !loaded_ || !os::file_stamp(path_.c_str(), &now) || now != stamp_;
    if (!stale && !settled_ && now.exists && !pinned_) {
        // A replace that repeats the stamp can only follow within the clock's
        // resolution of the last one: the generation is checked until the
        // stamp has stood for a while, after which a new write shows in it.
        const bool settling = os::tick_count() - stamp_tick_ < kSettleMs;
        stale = !header_matches();
        settled_ = !stale && !settling;
    }
    if (stale) {
        const CrossProcessLock lock(lock_);
        refresh_locked(true);
    }
    const auto found = image_.values.find(key);
    if (found == image_.values.end()) return false;
    *value = found->second;
    return true;
}

bool ConfigStore::snapshot(Values* values) {
    std::lock_guard<std::mutex> guard(mutex_);
    const CrossProcessLock lock(lock_);
    refresh_locked(true);
    *values = image_.values;
    return true;
}

bool ConfigStore::write(const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> guard(mutex_);
    const CrossProcessLock lock(lock_);
    if (!lock.held()) {
        // Without the lock another writer could lose this write or ours.
        LogTrace("TarnWriteConfig", kTraceError, kTraceSource, __LINE__, "无法取得配置锁: %s",
                 key.c_str());
        return false;
    }
    refresh_locked(true);
    const auto found = image_.values.find(key);
    if (found != image_.values.end() && found->second == value) return true;

    StoreImage next = image_;
    next.values[key] = value;
    next.generation = image_.generation + 1;
    std::string bytes;
    if (!encode_store(next, &bytes)) {
        LogTrace("TarnWriteConfig", kTraceError, kTraceSource, __LINE__, "无法编码配置: %s",
                 key.c_str());
        return false;
    }
    if (!folder_ready_) folder_ready_ = os::private_directory_create(folder_.c_str());
    if (!os::file_replace_durably(path_.c_str(), bytes.data(), bytes.size())) {
        LogTrace("TarnWriteConfig", kTraceError, kTraceSource, __LINE__, "写入配置文件失败: %s, %u",
                 key.c_str(), static_cast<unsigned>(os::last_error()));
        return false;
    }
    image_ = std::move(next);
    os::FileStamp written;
    os::file_stamp(path_.c_str(), &written);
    mark_current(written);
    hold_current(written);
    return true;
}

bool ConfigStore::prepare() {
    std::lock_guard<std::mutex> guard(mutex_);
    folder_ready_ = os::private_directory_create(folder_.c_str());
    if (!folder_ready_) {
        LogTrace("Init", kTraceError, kTraceSource, __LINE__, "创建目录失败: %s, %u",
                 folder_.c_str(), static_cast<unsigned>(os::last_error()));
    }
    const CrossProcessLock lock(lock_);
    refresh_locked(true);
    return folder_ready_;
}

ConfigStore& current_store() {
    static std::mutex registry_lock;
    static std::map<std::string, std::unique_ptr<ConfigStore>> stores;
    char folder[kPathSize] = "";
    GetAssistantDir(folder);
    std::lock_guard<std::mutex> guard(registry_lock);
    auto& store = stores[folder];
    if (!store) store = std::make_unique<ConfigStore>(folder);
    return *store;
}

}  // namespace config_store
