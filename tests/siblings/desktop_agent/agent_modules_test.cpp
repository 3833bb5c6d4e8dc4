// The desktop agent's modules as the assistant meets them: installed in
// <system directory>\BrimAgent\, its configuration database written the way
// quarnctl agent set-option writes it, and the library's network control
// (ControlNetworkByPraxaTdi) cutting and restoring through them. What the
// agent keeps is read back from its state file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "autocheck/desktop_agent/praxa_network.h"
#include "interface/sibling_abi.h"
#include "os/module.h"
#include "siblings/BrimDatabase/config_db.h"
#include "siblings/BrimDepend/net_control.h"
#include "support/file_bytes.h"
#include "tests/fakes/agent_folder.h"
#include "tests/fakes/fake_module.h"

namespace {

using namespace quarn::test;

// The agent code names its files with "\"; this program's own file calls
// need the platform's separator.
std::string native(std::string path) {
    if (std::filesystem::path::preferred_separator == '/') {
        std::replace(path.begin(), path.end(), '\\', '/');
    }
    return path;
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(native(path).c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

std::string agent_option(const char* way, const char* except_ip, const char* minutes) {
    return std::string("<KORV><PolicyList><Policy><Option><CutoffNetwork><CutWay>") + way +
           "</CutWay><ExceptIP>" + except_ip + "</ExceptIP><RestoreTime>" + minutes +
           "</RestoreTime></CutoffNetwork></Option></Policy></PolicyList></KORV>";
}

// One agent folder for the whole program: the modules stay loaded once the
// library has loaded them, as they do in the assistant (so on Windows the
// folder cannot go before the program ends).
class AgentEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        folder = new AgentFolder;
        ASSERT_TRUE(folder->add(program_dir() + "BrimDepend.dll", "BrimDepend.dll"));
        ASSERT_TRUE(folder->add(program_dir() + "BrimDatabase.dll", "BrimDatabase.dll"));
    }
    void TearDown() override { delete folder; }
    static AgentFolder* folder;
};
AgentFolder* AgentEnvironment::folder = nullptr;
testing::Environment* const kAgentEnvironment =
    testing::AddGlobalTestEnvironment(new AgentEnvironment);

class AgentModules : public testing::Test {
  protected:
    void SetUp() override {
        std::remove(native(path(brim_db::kDatabaseFile)).c_str());
        std::remove(native(path(brim_net::kStateFile)).c_str());
    }
    static std::string path(const char* file) { return AgentEnvironment::folder->path(file); }
    static brim_net::State state() {
        brim_net::State state;
        EXPECT_TRUE(brim_net::load(path(brim_net::kStateFile).c_str(), &state));
        return state;
    }
};

struct CutCase {
    const char* name;
    std::string database;  // the file's bytes; "record:" + text writes an AgentOption record
    int result;
    const char* options;  // "CutWay|ExceptIP|RestoreTime" the agent keeps; "" for none
    bool restores_itself;
};

const CutCase kCuts[] = {
    {"Options", "record:" + agent_option("2", "10.0.0.1;10.0.0.2", "30"), 1,
     "2|10.0.0.1;10.0.0.2|30", true},
    {"NoRestoreTime", "record:" + agent_option("1", "10.0.0.1", "0"), 1, "1|10.0.0.1|0", false},
    {"EmptyExceptIp", "record:" + agent_option("1", "", "30"), 0, "", false},
    {"NoDatabase", "", 0, "", false},
    {"DamagedDatabase", "BRIMCFG1 not a database", 0, "", false},
};

class CutThroughAgent : public AgentModules, public testing::WithParamInterface<CutCase> {};

TEST_P(CutThroughAgent, KeepsWhatTheLibraryAsked) {
    const CutCase& c = GetParam();
    const std::string database = path(brim_db::kDatabaseFile);
    if (c.database.rfind("record:", 0) == 0) {
        ASSERT_TRUE(brim_db::write_record(database.c_str(), "AgentOption", c.database.substr(7)));
    } else if (!c.database.empty()) {
        ASSERT_TRUE(write_file(database, c.database));
    }

    EXPECT_EQ(c.result, ControlNetworkByPraxaTdi(1));
    const brim_net::State kept = state();
    EXPECT_EQ(c.options, kept.has_options ? kept.cut_way + "|" + kept.except_ip + "|" +
                                                std::to_string(kept.restore_time)
                                          : "");
    EXPECT_EQ(c.result == 1, brim_net::cut_now(kept, brim_net::now_text()));
    EXPECT_EQ(c.restores_itself, !kept.restore_at.empty());
    // A cut of 30 minutes is over by then.
    EXPECT_FALSE(brim_net::cut_now(kept, "9999-12-31 23:59:59") && c.restores_itself);

    // The restore never reads the database.
    std::remove(native(database).c_str());
    EXPECT_EQ(1, ControlNetworkByPraxaTdi(0));
    EXPECT_FALSE(brim_net::cut_now(state(), brim_net::now_text()));
    EXPECT_FALSE(state().restored_time.empty());
}

INSTANTIATE_TEST_SUITE_P(Agent, CutThroughAgent, testing::ValuesIn(kCuts),
                         [](const auto& row) { return std::string(row.param.name); });

// The database module's read contract, and damage of every kind refused whole.
TEST_F(AgentModules, DatabaseReadsRecordsAndRefusesDamage) {
    const std::string database = path(brim_db::kDatabaseFile);
    ASSERT_TRUE(brim_db::write_record(database.c_str(), "AgentOption", "<KORV/>"));
    ASSERT_TRUE(brim_db::write_record(database.c_str(), "Other", std::string("a\0b", 3)));
    os::Handle module =
        os::module_load(path("BrimDatabase.dll").c_str());  // kept, as the library keeps it
    const auto open = reinterpret_cast<sibling::DB_OpenConfigDB_ReadFunction>(
        os::module_symbol(module, "DB_OpenConfigDB_Read"));
    const auto read = reinterpret_cast<sibling::DB_ReadConfigDBFunction>(
        os::module_symbol(module, "DB_ReadConfigDB"));
    const auto close = reinterpret_cast<sibling::DB_CloseConfigDBFunction>(
        os::module_symbol(module, "DB_CloseConfigDB"));
    ASSERT_TRUE(open != nullptr && read != nullptr && close != nullptr);

    ASSERT_EQ(1, open(database.c_str(), 1));
    EXPECT_EQ(8, read("AgentOption", nullptr, 0));  // the text and its terminator
    char buffer[8];
    EXPECT_EQ(0, read("AgentOption", buffer, 7));
    EXPECT_EQ(1, read("AgentOption", buffer, 8));
    EXPECT_STREQ("<KORV/>", buffer);
    EXPECT_EQ(4, read("Other", nullptr, 0));
    EXPECT_EQ(0, read("Missing", nullptr, 0));
    EXPECT_EQ(1, close());
    EXPECT_EQ(0, read("AgentOption", nullptr, 0));

    const std::string good = read_file(native(database));
    std::string extra_record_count = good;
    extra_record_count[8] = 3;
    for (const std::string& damaged :
         {good.substr(0, good.size() - 1), good + "x", extra_record_count,
          good.substr(0, 12) + std::string(good.size() - 12, '\xff'), std::string()}) {
        ASSERT_TRUE(write_file(database, damaged));
        EXPECT_EQ(0, open(database.c_str(), 1));
        EXPECT_EQ(0, read("AgentOption", nullptr, 0));
        // A writer leaves a damaged database alone rather than lose its records.
        EXPECT_FALSE(brim_db::write_record(database.c_str(), "AgentOption", "<KORV/>"));
    }
    EXPECT_EQ(0, open(path("NoSuchFile.dat").c_str(), 1));
}

}  // namespace
