// quarnctl agent: the desktop agent's network-control state and its cut-off
// options as its configuration database holds them; set-option writes that
// record ("AgentOption") for a test or a demonstration.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "autocheck/desktop_agent/praxa_network.h"
#include "cutil/markup.h"
#include "cutil/xml.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"
#include "programs/quarnctl/options.h"
#include "siblings/BrimDatabase/config_db.h"
#include "siblings/BrimDepend/net_control.h"

namespace quarnctl {
namespace {

constexpr char kRecord[] = "AgentOption";
constexpr char kOptionPath[] = "KORV/PolicyList/Policy/Option/CutoffNetwork/%s";

std::string agent_file(const char* name) {
    char path[260] = "";
    GetAgentModulePath(path, sizeof path, "%s", name);
    return path;
}

void print_network(const std::string& path) {
    brim_net::State state;
    if (!brim_net::load(path.c_str(), &state)) {
        std::printf("network control: %s cannot be read\n", path.c_str());
        return;
    }
    if (!state.has_cut) {
        std::printf("network: never cut or restored through the agent\n");
    } else if (brim_net::cut_now(state, brim_net::now_text())) {
        std::printf("network: cut since %s, %s\n", state.cut_time.c_str(),
                    state.restore_at.empty()
                        ? "until restored"
                        : ("restored at " + state.restore_at + " (" +
                           std::to_string(state.cut_restore_time) + " minutes)")
                              .c_str());
    } else if (state.cut) {
        std::printf("network: open again, the cut of %s ended at %s\n", state.cut_time.c_str(),
                    state.restore_at.c_str());
    } else {
        std::printf("network: open, restored at %s\n", state.restored_time.c_str());
    }
    if (state.has_options) {
        std::printf("options set %s: CutWay=%s ExceptIP=%s RestoreTime=%d\n",
                    state.option_time.c_str(), printable(state.cut_way).c_str(),
                    printable(state.except_ip).c_str(), state.restore_time);
    } else {
        std::printf("options: none set\n");
    }
}

void print_database(const std::string& path) {
    brim_db::Records records;
    switch (brim_db::load(path.c_str(), &records)) {
        case brim_db::Load::kMissing:
            std::printf("database %s: missing\n", path.c_str());
            return;
        case brim_db::Load::kDamaged:
            std::printf("database %s: damaged\n", path.c_str());
            return;
        case brim_db::Load::kOk:
            break;
    }
    std::printf("database %s: %u records\n", path.c_str(), static_cast<unsigned>(records.size()));
    for (const auto& [name, value] : records) {
        std::printf("  %s (%u bytes)\n", printable(name).c_str(),
                    static_cast<unsigned>(value.size()));
    }
    const auto option = records.find(kRecord);
    if (option == records.end()) return;
    const XmlUntrackedDocument document(cutil_xml_import_fre(option->second.c_str()));
    for (const char* field : {"CutWay", "ExceptIP", "RestoreTime"}) {
        const char* value = document ? cutil_xml_get(document.get(), kOptionPath, field) : nullptr;
        std::printf("  %s %s: %s\n", kRecord, field,
                    value != nullptr ? printable(value).c_str() : "(absent)");
    }
}

int set_option(int argc, char** argv) {
    Options options;
    if (!options.parse("agent set-option", argc, argv,
                       {{"--cut-way", true}, {"--except-ip", true}, {"--restore-time", true}})) {
        return 2;
    }
    if (!options.has("--except-ip")) {
        std::fprintf(stderr,
                     "quarnctl agent set-option: --except-ip is needed (the server must "
                     "stay reachable)\n");
        return 2;
    }
    const std::string record =
        "<KORV><PolicyList><Policy><Option><CutoffNetwork><CutWay>" +
        cutil_markup_escape(options.value_or("--cut-way", "0")) + "</CutWay><ExceptIP>" +
        cutil_markup_escape(options.value_or("--except-ip", "")) + "</ExceptIP><RestoreTime>" +
        cutil_markup_escape(options.value_or("--restore-time", "0")) +
        "</RestoreTime></CutoffNetwork></Option></Policy></PolicyList></KORV>";
    const std::string path = agent_file(brim_db::kDatabaseFile);
    if (!brim_db::write_record(path.c_str(), kRecord, record)) {
        std::fprintf(stderr, "quarnctl agent: cannot write %s into %s\n", kRecord, path.c_str());
        return 1;
    }
    std::printf("%s written into %s\n", kRecord, path.c_str());
    return 0;
}

}  // namespace

int run_agent(int argc, char** argv) {
    if (argc > 0 && std::strcmp(argv[0], "set-option") == 0) return set_option(argc - 1, argv + 1);
    if (argc > 0) {
        std::fprintf(stderr, "quarnctl agent: unknown argument '%s' (see --help)\n", argv[0]);
        return 2;
    }
    std::printf("agent folder: %s\n", agent_file("").c_str());
    print_network(agent_file(brim_net::kStateFile));
    print_database(agent_file(brim_db::kDatabaseFile));
    return 0;
}

}  // namespace quarnctl
