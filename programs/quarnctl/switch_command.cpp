// quarnctl switch: asks the running assistant to switch the network user
// with the request the SwitchUser export sends. It goes through the
// communication module itself: SwitchUser answers 1 even when the assistant
// never received the request, and this command must say so when it did not.
#include <cstdio>
#include <cstring>
#include <string>

#include "cutil/text.h"
#include "cutil/xml.h"
#include "interface/sibling_abi.h"
#include "os/module.h"
#include "os/terminal.h"
#include "programs/quarnctl/agent_library.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"
#include "programs/quarnctl/product_module.h"
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
    const os::Handle module = load_product_module(sibling::kCommunicateDll);
    const auto exchange = reinterpret_cast<sibling::GetTcpPacketFromFunction>(
        module == nullptr ? nullptr : os::module_symbol(module, "GetTcpPacketFrom"));
    if (exchange == nullptr) {
        std::fprintf(stderr, "quarnctl switch: cannot load %s\n", sibling::kCommunicateDll);
        return 1;
    }
    const std::string text = request_text({{"TradeCode", "SwitchUser"},
                                           {"WhatToDo", "SwitchUser"},
                                           {"UserName", user},
                                           {"Password", password}});
    const XmlDocument request(cutil_xml_import(text.c_str(), "quarnctl", __func__, __LINE__));
    XmlNode* reply = nullptr;
    const int sent = exchange("127.0.0.1", sibling::kAssistantTcpPort, request.get(), &reply);
    const XmlDocument answer(reply);
    if (sent == 0 || cutil_xml_get(reply, "TARN/Result") == nullptr) {
        std::fprintf(stderr,
                     "quarnctl switch: the running assistant did not take the request; nothing "
                     "was switched (is it running? see the trace)\n");
        return 1;
    }
    // The assistant authenticates in the background; its balloons and the
    // user log tell how it went.
    std::printf("switch to %s taken by the running assistant\n", argv[0]);
    return 0;
}

}  // namespace quarnctl
