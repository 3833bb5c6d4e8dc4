#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "os/error.h"
#include "os/module.h"
#include "os/types.h"

namespace {

// A system module every test process has loaded, and one of its exports.
#ifdef _WIN32
constexpr char kSystemModule[] = "kernel32.dll";
constexpr char kSystemExport[] = "GetTickCount";
#else
constexpr char kSystemModule[] = "libc.so.6";
constexpr char kSystemExport[] = "malloc";
#endif

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string file_name_of(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string executable_path() {
    char path[1024];
    EXPECT_GT(os::module_executable_path(path, sizeof path), 0u);
    return path;
}

TEST(Module, FindsALoadedModuleByFileNameWhateverTheCase) {
    os::Handle exact = os::module_find(kSystemModule);
    ASSERT_NE(nullptr, exact);
    os::Handle shouted = os::module_find(upper(kSystemModule).c_str());
    ASSERT_NE(nullptr, shouted);
    EXPECT_NE(nullptr, os::module_symbol(shouted, kSystemExport));
}

TEST(Module, FindsTheExecutableByItsFileName) {
    const std::string name = upper(file_name_of(executable_path()));
    EXPECT_NE(nullptr, os::module_find(name.c_str()));
}

TEST(Module, FindNeverLoads) {
    os::set_last_error(0);
    EXPECT_EQ(nullptr, os::module_find("QuarnNeverLoaded.dll"));
    EXPECT_EQ(os::kErrorModNotFound, os::last_error());
}

TEST(Module, LoadOfAMissingFileFailsWith126) {
    EXPECT_EQ(nullptr, os::module_load("QuarnNoSuchModule.dll"));
    EXPECT_EQ(os::kErrorModNotFound, os::last_error());
}

TEST(Module, MissingSymbolFailsWith127) {
    os::Handle module = os::module_find(kSystemModule);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(nullptr, os::module_symbol(module, "QuarnNoSuchExport"));
    EXPECT_EQ(os::kErrorProcNotFound, os::last_error());
}

// A name found through a module but defined elsewhere (a dependency on
// POSIX, a forwarded export on Windows) is not the module's own.
TEST(Module, OwnSymbolIsOnlyWhatTheModuleItselfDefines) {
#ifdef _WIN32
    const struct {
        const char* module;
        const char* name;
        bool own;
    } rows[] = {{"kernel32.dll", "EnterCriticalSection", false},
                {"ntdll.dll", "RtlEnterCriticalSection", true}};
#else
    const std::string executable = file_name_of(executable_path());
    const struct {
        const char* module;
        const char* name;
        bool own;
    } rows[] = {{executable.c_str(), "getpid", false}, {kSystemModule, "getpid", true}};
#endif
    for (const auto& row : rows) {
        os::Handle module = os::module_find(row.module);
        ASSERT_NE(nullptr, module) << row.module;
        ASSERT_NE(nullptr, os::module_symbol(module, row.name)) << row.name;
        EXPECT_EQ(row.own, os::module_own_symbol(module, row.name) != nullptr) << row.name;
        if (!row.own) {
            EXPECT_EQ(os::kErrorProcNotFound, os::last_error());
        }
    }
}

TEST(Module, LoadByPathGivesTheLoadedModule) {
    char path[1024];
    os::Handle system = os::module_find(kSystemModule);
    void* symbol = os::module_symbol(system, kSystemExport);
    ASSERT_GT(os::module_path_of_address(symbol, path, sizeof path), 0u);
#ifndef _WIN32
    for (char* p = path; *p != '\0'; ++p) {
        if (*p == '\\') *p = '/';
    }
#endif
    os::Handle loaded = os::module_load(path);
    ASSERT_NE(nullptr, loaded);
    EXPECT_EQ(symbol, os::module_symbol(loaded, kSystemExport));
}

TEST(Module, PathOfAnAddressNamesItsModuleWithBackslashes) {
    char path[1024];
    const std::size_t length = os::module_path_of_address(
        reinterpret_cast<const void*>(&executable_path), path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(length, std::strlen(path));
    EXPECT_EQ(nullptr, std::strchr(path, '/'));
    std::string expected = executable_path();
    for (char& c : expected) {
        if (c == '/') c = '\\';
    }
    EXPECT_EQ(upper(expected), upper(path));

    char system[1024];
    ASSERT_GT(os::module_path_of_address(os::module_symbol(os::module_find(kSystemModule),
                                                           kSystemExport),
                                         system, sizeof system),
              0u);
    EXPECT_EQ(upper(kSystemModule), upper(file_name_of(system)));
}

TEST(Module, PathIsCutToTheBuffer) {
    char path[8];
    EXPECT_EQ(7u, os::module_executable_path(path, sizeof path));
    EXPECT_EQ(7u, std::strlen(path));
    EXPECT_EQ(7u, os::module_path_of_address(reinterpret_cast<const void*>(&executable_path),
                                             path, sizeof path));
}

}  // namespace
