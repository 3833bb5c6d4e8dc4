// The configuration store: one file of named texts in the assistant
// directory, shared by every process of the user. Reads are served from
// memory and reload only when the file was replaced; every write replaces the
// file whole under a cross-process lock, after taking in whatever another
// process wrote since this one last looked.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "os/data_protection.h"
#include "os/types.h"
#include "siblings/QuarnAssConfigMgr/store_format.h"

namespace config_store {

inline constexpr char kTraceSource[] = "QuarnAssConfigMgr.cpp";
inline constexpr char kStoreFileName[] = "QuarnAssConfig.dat";
// A store that does not open is kept under this suffix for a person to look at.
inline constexpr char kDamagedSuffix[] = ".damaged";

// How long a stamp must stand before reads trust it without the header.
inline constexpr std::uint32_t kSettleMs = 2000;

class ConfigStore {
  public:
    // `folder` ends in a separator; the store is folder + kStoreFileName.
    explicit ConfigStore(const std::string& folder);
    ~ConfigStore();
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    bool read(const std::string& key, std::string* value);
    bool write(const std::string& key, const std::string& value);
    // Every key and value as the file now holds them.
    bool snapshot(Values* values);
    // Creates the folder and opens the store (recovering a damaged one).
    bool prepare();
    const std::string& path() const { return path_; }

  private:
    class CrossProcessLock;
    // Brings the image up to date with the file; under the cross-process lock.
    void refresh_locked(bool strict);
    // The file's header names the generation of the image.
    bool header_matches() const;
    void mark_current(const os::FileStamp& stamp);
    // Holds the file now under the name (see pinned_); under the lock.
    void hold_current(const os::FileStamp& stamp);
    void load_locked();
    void set_aside_locked(DecodeResult why);

    std::mutex mutex_;
    std::string folder_;
    std::string path_;
    os::Handle lock_ = nullptr;
    StoreImage image_;
    os::FileStamp stamp_;
    std::uint32_t stamp_tick_ = 0;  // when stamp_ was taken
    bool settled_ = false;          // stamp_ has stood long enough to be trusted alone
    // POSIX: the file of stamp_ is held open, so no other file can take its
    // number: a stamp equal to stamp_ names that very file, and every write
    // makes a new file, so the image is current without reading the header.
    os::HeldFile held_;
    bool pinned_ = false;
    bool loaded_ = false;
    bool folder_ready_ = false;
};

// The store of the current assistant directory (GetAssistantDir); one object
// per directory for the life of the process.
ConfigStore& current_store();

}  // namespace config_store
