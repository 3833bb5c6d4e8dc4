// A fresh folder under the system's temporary folder for one test, removed
// with everything in it afterwards (attributes cleared first, so read-only,
// hidden and system files go as well).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "os/file.h"
#include "os/process.h"

namespace quarn::test {

class FileTestFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        static int counter = 0;
        std::error_code error;
        root_ =
            std::filesystem::temp_directory_path(error) /
            ("quarn_files_" + std::to_string(os::process_id()) + "_" + std::to_string(++counter));
        std::filesystem::remove_all(root_, error);
        ASSERT_TRUE(std::filesystem::create_directories(root_, error)) << root_.string();
        folder_ = root_.string();
    }

    void TearDown() override {
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(root_, error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            os::file_set_attributes(it->path().string().c_str(), os::kFileAttributeNormal);
        }
        std::filesystem::remove_all(root_, error);
    }

    // `name` inside the folder ("/" separators work on both platforms).
    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    static bool write_file(const std::string& file, const std::string& content) {
        os::Handle handle = os::file_create_write(file.c_str(), os::kFileShareRead);
        if (handle == nullptr) return false;
        const bool written = os::file_write(handle, content.data(), content.size());
        os::file_close(handle);
        return written;
    }

    // The whole content, or "<missing>" when the file cannot be read.
    static std::string read_file(const std::string& file) {
        os::Handle handle = os::file_open_read(
            file.c_str(), os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete);
        if (handle == nullptr) return "<missing>";
        std::string content;
        char buffer[4096];
        std::size_t done = 0;
        while (os::file_read(handle, buffer, sizeof buffer, &done) && done > 0) {
            content.append(buffer, done);
        }
        os::file_close(handle);
        return content;
    }

    static bool exists(const std::string& file) {
        return os::file_attributes(file.c_str()) != os::kInvalidFileAttributes;
    }

    static bool is_directory(const std::string& file) {
        const std::uint32_t attributes = os::file_attributes(file.c_str());
        return attributes != os::kInvalidFileAttributes &&
               (attributes & os::kFileAttributeDirectory) != 0;
    }

    std::filesystem::path root_;
    std::string folder_;
};

}  // namespace quarn::test
