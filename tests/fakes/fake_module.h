// The tests' side of the sibling doubles: load one under its real file name,
// script its answers, read the calls it recorded, unload it again.
//
//   quarn::test::FakeModule log(quarn::test::fake_path("QuarnAssLog.dll"));
//   log.answer("TarnLogToFile", 0);
//   http.queue_answer("HttpPost", 1, "RoleID='0'");  // first call, then the answer above
//   EXPECT_EQ(1u, log.calls_of("TarnLogToFile").size());
#pragma once

#include <string>
#include <vector>

#include "os/types.h"

namespace quarn::test {

// Folder of the test program, with its trailing separator.
std::string program_dir();
// bin/fakes/<file_name>: the double with its module's exports.
std::string fake_path(const char* file_name);
// bin/fakes-without-exports/<file_name>: the same file name, no exports.
std::string fake_without_exports_path(const char* file_name);

struct RecordedCall {
    std::string name;
    std::string arguments;  // joined by "|"
};

class FakeModule {
  public:
    FakeModule() = default;
    explicit FakeModule(const std::string& path) { load(path); }
    ~FakeModule() { unload(); }
    FakeModule(const FakeModule&) = delete;
    FakeModule& operator=(const FakeModule&) = delete;

    // Loads the double (unloading the one held before) and resets it.
    bool load(const std::string& path);
    // Unloads it completely, after emptying the gateway's cached entry
    // points (they may point into it).
    void unload();
    bool loaded() const { return module_ != nullptr; }
    os::Handle handle() const { return module_; }

    void answer(const char* export_name, int result, const char* text = nullptr) const;
    void answer_pointer(const char* export_name, int result, void* pointer) const;
    // One answer of `export_name` queued behind the others: calls take them
    // in order, then fall back to answer().
    void queue_answer(const char* export_name, int result, const char* text = nullptr) const;
    std::vector<RecordedCall> calls() const;
    std::vector<RecordedCall> calls_of(const char* export_name) const;
    void reset() const;
    void* symbol(const char* name) const;

  private:
    os::Handle module_ = nullptr;
    std::string file_name_;
};

}  // namespace quarn::test
