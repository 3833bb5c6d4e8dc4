// quarnctl switch: asks the running assistant to switch the network user,
// through SwitchUser as the switch menu's page does.
#include <cstdio>
#include <cstring>
#include <string>

#include "cutil/text.h"
#include "cutil/xml.h"
#include "os/terminal.h"
#include "programs/quarnctl/agent_library.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"
#include "programs/quarnctl/request_text.h"

namespace quarnctl {
namespace {

// The saved password of `user` (names matched without regard to case, as the
// list matches them); empty when the user is not saved.
std::string saved_password(const std::string& user) {
    const TextExport get_list = agent_export("switch", "GetUserSwitchList");
    if (get_list == nullptr) return {};
    const TextResult outcome = call_text_export(get_list, "");
    XmlNode* list = cutil_xml_import(outcome.text.c_str(), "quarnctl", __func__, __LINE__);
    if (list == nullptr) return {};
    std::string password;
    const int count = cutil_xml_count(list, "TARN/UserInfo");
    for (int i = 1; i <= count; ++i) {
        const char* name = cutil_xml_get(list, "TARN/UserInfo[%d]/UserName", i);
        if (name != nullptr && cutil_str_iequal(name, user.c_str())) {
            const char* saved = cutil_xml_get(list, "TARN/UserInfo[%d]/Password", i);
            password = saved != nullptr ? saved : "";
            break;
        }
    }
    cutil_xml_free(list);
    return password;
}

}  // namespace

int run_switch(int argc, char** argv) {
    if (argc < 1 || argc > 2 || std::strncmp(argv[0], "--", 2) == 0) {
        std::fprintf(stderr, "quarnctl switch: give a user and maybe a password (see --help)\n");
        return 2;
    }
    const std::string user = os::argument_to_gbk(argv[0]);
    if (user.empty()) {
        std::fprintf(stderr, "quarnctl switch: the user name is empty\n");
        return 2;
    }
    const std::string password = argc > 1 ? os::argument_to_gbk(argv[1]) : saved_password(user);
    const TextExport switch_user = agent_export("switch", "SwitchUser");
    if (switch_user == nullptr) return 1;
    const std::string request = request_text({{"UserName", user}, {"Password", password}});
    const TextResult outcome = call_text_export(switch_user, request.c_str());
    if (outcome.result == 0) {
        std::fprintf(stderr, "quarnctl switch: %s\n", printable(outcome.text).c_str());
        return 1;
    }
    // The assistant authenticates in the background; its balloons and the
    // user log tell how it went.
    std::printf("switch to %s sent to the running assistant\n", argv[0]);
    return 0;
}

}  // namespace quarnctl
