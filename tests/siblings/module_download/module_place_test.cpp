// Which module paths the module-call component loads, and from where.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "siblings/QuarnActivex/module_location.h"

namespace {

using activex::Location;

TEST(ModulePlace, OnlyTrustedFoldersAndPlainRemoteNames) {
    const std::vector<std::string> trusted = {"/home/u/Quarn/", "C:\\Cache\\"};
    const bool windows = std::filesystem::path::preferred_separator == '\\';
    constexpr char kOutside[] = "模块不在助手目录或下载缓存中";
    constexpr char kBadName[] = "下载地址中的模块名不是文件名";
    constexpr char kParent[] = "路径含有上级目录";
    constexpr char kShare[] = "不加载网络共享上的模块";
    struct Row {
        const char* asked;
        const char* loaded;  // the path loaded or fetched, "" when refused
        const char* why = "";
    };
    const Row rows[] = {
        {"", "", "没有指定模块路径"},
        {"http://srv/m/A.dll", "http://srv/m/A.dll"},
        {"HTTPS://srv/m/A.dll", "HTTPS://srv/m/A.dll"},
        {"http://srv/m/", "", kBadName},
        {"http://srv/m/A..dll", "", kBadName},
        {"http://srv/m/A.dll?v=1", "", kBadName},
        {"http://srv/m/A%2e.dll", "", kBadName},
        {"A.dll", "/home/u/Quarn/A.dll"},
        {"a..b.dll", "/home/u/Quarn/a..b.dll"},
        {"x../..y/A.dll", "/home/u/Quarn/x../..y/A.dll"},
        {"1:A.dll", "/home/u/Quarn/1:A.dll"},
        {"../A.dll", "", kParent},
        {"sub\\..\\A.dll", "", kParent},
        {"/home/u/Quarn/sub/..", "", kParent},
        {"\\\\host\\share\\A.dll", "", kShare},
        {"//host/share/A.dll", "", kShare},
        {"C:A.dll", "", "路径只有盘符没有目录"},
        {"z:A.dll", "", "路径只有盘符没有目录"},
        {"/home/u/Quarn/sub/A.dll", "/home/u/Quarn/sub/A.dll"},
        {"\\home\\u\\Quarn\\A.dll", "\\home\\u\\Quarn\\A.dll"},
        {"C:/Cache/A.dll", "C:/Cache/A.dll"},
        {"/home/u/Quarn/", "", kOutside},
        {"/home/u/QuarnX/A.dll", "", kOutside},
        {"D:\\Cache\\A.dll", "", kOutside},
        {"C:\\", "", kOutside},
        {"/other/A.dll", "", kOutside},
        {"c:\\cache\\A.dll", windows ? "c:\\cache\\A.dll" : "", windows ? "" : kOutside},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.asked);
        const activex::Place place = activex::place_module(row.asked, trusted);
        const bool remote = std::string(row.loaded).find("://") != std::string::npos;
        EXPECT_EQ(row.loaded[0] == '\0' ? Location::kRefused
                  : remote              ? Location::kRemote
                                        : Location::kLocal,
                  place.location);
        EXPECT_EQ(row.loaded, place.path);
        EXPECT_STREQ(row.why, place.why);
    }
    EXPECT_STREQ("没有助手目录", activex::place_module("A.dll", {}).why);
}

}  // namespace
