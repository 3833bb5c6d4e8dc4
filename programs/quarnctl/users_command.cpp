// quarnctl users: the saved network users, through the agent's user-list
// exports (the switch menu's list).
#include <cstdio>
#include <cstring>
#include <string>

#include "cutil/xml.h"
#include "os/terminal.h"
#include "programs/quarnctl/agent_library.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"
#include "programs/quarnctl/options.h"
#include "programs/quarnctl/request_text.h"

namespace quarnctl {
namespace {

int list_users() {
    const TextExport get_list = agent_export("users", "GetUserSwitchList");
    if (get_list == nullptr) return 1;
    const TextResult outcome = call_text_export(get_list, "");
    if (outcome.result == 0) {
        std::fprintf(stderr, "quarnctl users: the configuration module cannot be loaded\n");
        return 1;
    }
    XmlNode* list = cutil_xml_import(outcome.text.c_str(), "quarnctl", __func__, __LINE__);
    if (list == nullptr) {
        std::fprintf(stderr, "quarnctl users: the stored list does not parse\n");
        return 1;
    }
    const int count = cutil_xml_count(list, "TARN/UserInfo");
    std::printf("%-24s %-10s %s\n", "user", "password", "remark");
    for (int i = 1; i <= count; ++i) {
        const char* name = cutil_xml_get(list, "TARN/UserInfo[%d]/UserName", i);
        const char* password = cutil_xml_get(list, "TARN/UserInfo[%d]/Password", i);
        const char* remark = cutil_xml_get(list, "TARN/UserInfo[%d]/Remark", i);
        // Passwords are never shown: only whether one is saved.
        std::printf("%-24s %-10s %s\n", printable(name != nullptr ? name : "").c_str(),
                    password != nullptr && *password != '\0' ? "saved" : "none",
                    printable(remark != nullptr ? remark : "").c_str());
    }
    std::printf("%d user%s\n", count, count == 1 ? "" : "s");
    cutil_xml_free(list);
    return 0;
}

int change_user(const char* action, int argc, char** argv) {
    const bool add = std::strcmp(action, "add") == 0;
    int positional = 0;
    while (positional < argc && std::strncmp(argv[positional], "--", 2) != 0) ++positional;
    if (positional < 1 || positional > (add ? 2 : 1)) {
        std::fprintf(stderr, "quarnctl users %s: wrong arguments (see --help)\n", action);
        return 2;
    }
    Options options;
    const bool parsed =
        add ? options.parse("users", argc - positional, argv + positional, {{"--remark", true}})
            : options.parse("users", argc - positional, argv + positional, {});
    if (!parsed) return 2;
    const std::string user = os::argument_to_gbk(argv[0]);
    if (user.empty()) {
        std::fprintf(stderr, "quarnctl users %s: the user name is empty\n", action);
        return 2;
    }
    const std::string request = request_text({
        {"UserName", user},
        {"Password", positional > 1 ? os::argument_to_gbk(argv[1]) : std::string()},
        {"Remark", os::argument_to_gbk(options.value_or("--remark", "").c_str())},
        {"IsAdd", add ? "1" : "0"},
    });
    const TextExport change = agent_export("users", "UserSwitchAddUser");
    if (change == nullptr) return 1;
    const TextResult outcome = call_text_export(change, request.c_str());
    if (outcome.result == 0) {
        // The library wrote why to the user log ("quarnctl log").
        std::fprintf(stderr, "quarnctl users %s: not stored (%s); the user log says why\n", action,
                     printable(outcome.text).c_str());
        return 1;
    }
    std::printf("%s: %s\n", add ? "saved" : "deleted", argv[0]);
    return 0;
}

}  // namespace

int run_users(int argc, char** argv) {
    if (argc < 1) {
        std::fprintf(stderr, "quarnctl users: list, add or delete? (see --help)\n");
        return 2;
    }
    if (std::strcmp(argv[0], "list") == 0 && argc == 1) return list_users();
    if (std::strcmp(argv[0], "add") == 0 || std::strcmp(argv[0], "delete") == 0)
        return change_user(argv[0], argc - 1, argv + 1);
    std::fprintf(stderr, "quarnctl users: unknown action '%s' (see --help)\n", argv[0]);
    return 2;
}

}  // namespace quarnctl
