// Shared by the trace, memory and XML file suites: a reader that owns the
// trace ring for one test and drains only the records of the processes the
// test expects (other programs on the machine may trace while the ring
// exists). `Base` is the fixture it extends.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "cutil/trace_ring.h"
#include "os/module.h"
#include "os/process.h"

namespace quarn::test {

template <class Base = ::testing::Test>
class TraceRingTestOn : public Base {
  protected:
    void SetUp() override {
        Base::SetUp();
        ASSERT_TRUE(reader_.create());
        std::vector<cutil::trace::Record> stale;
        reader_.drain(&stale);
    }
    void TearDown() override {
        reader_.close();
        Base::TearDown();
    }

    // The waiting records of the given processes (default: this one), raw.
    std::vector<cutil::trace::Record> drain_raw(std::initializer_list<std::uint32_t> pids = {}) {
        std::vector<cutil::trace::Record> all;
        EXPECT_TRUE(reader_.drain(&all));
        std::vector<cutil::trace::Record> mine;
        for (const auto& record : all) {
            if (is_expected(record.process_id, pids)) mine.push_back(record);
        }
        return mine;
    }

    std::vector<cutil::trace::DecodedRecord> drain(std::initializer_list<std::uint32_t> pids = {}) {
        std::vector<cutil::trace::DecodedRecord> out;
        for (const auto& record : drain_raw(pids)) out.push_back(cutil::trace::decode(record));
        return out;
    }

    cutil::trace::Reader reader_;

  private:
    static bool is_expected(std::uint32_t pid, std::initializer_list<std::uint32_t> pids) {
        if (pids.size() == 0) return pid == os::process_id();
        for (const std::uint32_t p : pids) {
            if (p == pid) return true;
        }
        return false;
    }
};

using TraceRingTest = TraceRingTestOn<>;

// The file name of this test program, as LogTrace records its module.
inline std::string own_program_name() {
    char path[1024];
    const std::size_t length = os::module_executable_path(path, sizeof path);
    std::string name(path, length);
    const std::size_t cut = name.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : name.substr(cut + 1);
}

}  // namespace quarn::test
