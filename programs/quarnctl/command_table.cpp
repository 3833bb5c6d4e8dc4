#include <cstdio>
#include <cstring>

#include "programs/quarnctl/command.h"

namespace quarnctl {

int run_config(int argc, char** argv);
int run_log(int argc, char** argv);
int run_tray(int argc, char** argv);
int run_agent(int argc, char** argv);

namespace {

const Command kCommands[] = {
    {"trace", "show the diagnostic trace records of every module",
     "usage: quarnctl trace [--follow] [--interval MS]\n"
     "\n"
     "Creates the trace ring that LogTrace writes into and prints each record as\n"
     "one line: level, date and time, pid/tid, module, source:line, function and\n"
     "message. Records are only kept while a reader holds the ring.\n"
     "\n"
     "  --follow        keep reading until interrupted\n"
     "  --interval MS   without --follow: how long to collect records before\n"
     "                  printing them (default 1000); with --follow: the longest\n"
     "                  wait between two looks at the ring (default 200)\n",
     run_trace},
    {"memory", "show the allocation table of tracked memory",
     "usage: quarnctl memory [--watch] [--interval MS]\n"
     "\n"
     "Creates the shared allocation table that tracked memory registers into and\n"
     "prints its sites (registrations, releases, live and total bytes, pid,\n"
     "source:line, function) and each site's live blocks. Blocks are only\n"
     "registered while a monitor holds the table.\n"
     "\n"
     "  --watch         print the table again every interval until interrupted\n"
     "  --interval MS   the watch interval (default 2000)\n",
     run_memory},
    {"check", "run the security check of a policy file and explain its verdict",
     "usage: quarnctl check <policy file> [--plugins DIR] [--server URL]\n"
     "\n"
     "Runs the agent's security check engine in this process on a stored policy\n"
     "(SecurityCheckPolicy.xml), calling each item's plug-in from DIR through the\n"
     "module-call component of the assistant directory, and prints one row per\n"
     "item (ItemID, key item, weight, verdict, gained weight, the plug-in's\n"
     "reason), the score as its sum, and the verdict with the rule that decided\n"
     "it. Verdicts: skipped (no plug-in named), refused (a plug-in name that is\n"
     "no plain file name), no answer (not called, or an answer that does not\n"
     "parse), (none) (an answer without a verdict, which passes).\n"
     "\n"
     "  --plugins DIR   the folder holding the plug-ins (default: the assistant\n"
     "                  directory)\n"
     "  --server URL    the server whose host and port fill the items' ServerIp\n"
     "                  and ServerPort options (default: http://127.0.0.1)\n",
     run_check},
    {"install", "install from a policy packet, as the check page does",
     "usage: quarnctl install <packet file>\n"
     "\n"
     "Hands the packet (the server's TARN document, GBK, unchanged) to the agent\n"
     "library's InstallTarnAssistant: the packet is forwarded to an assistant that\n"
     "already runs, or its settings are stored and TarnAssistant.exe is started\n"
     "for installation. The library is QuarnAssAutoCheck.dll beside quarnctl,\n"
     "else in the assistant directory. Exit code 1 with the library's message on\n"
     "failure.\n",
     run_install},
    {"users", "list, save or delete the network users of the switch menu",
     "usage: quarnctl users list\n"
     "       quarnctl users add <user> [password] [--remark TEXT]\n"
     "       quarnctl users delete <user>\n"
     "\n"
     "Reads or changes the saved user list through the agent library's\n"
     "GetUserSwitchList and UserSwitchAddUser. Users are matched without regard\n"
     "to case; adding a saved user updates its password and remark. The list\n"
     "shows whether a password is saved, never the password.\n",
     run_users},
    {"switch", "switch the network user of the running assistant",
     "usage: quarnctl switch <user> [password]\n"
     "\n"
     "Sends the request the agent library's SwitchUser sends to the running\n"
     "assistant (local TCP) and exits 1 when the assistant did not answer it:\n"
     "nothing was switched then. Without a password, the one saved for\n"
     "that user is used (none when the user is not saved). The assistant then\n"
     "authenticates and checks in the background: its balloons and the user log\n"
     "tell the outcome.\n",
     run_switch},
    {"status", "one screen: admission, last check, heartbeat, tray, network",
     "usage: quarnctl status\n"
     "\n"
     "Shows where the endpoint stands, from what the assistant keeps: whether it\n"
     "runs, the device registration and identity (DeviceId, RoleId, the last\n"
     "authentication), the last check with its verdict, score and result page,\n"
     "whether a check or a heartbeat is due (the agent's own schedule rules on\n"
     "the same store), the tray's icon, menu and balloon, and whether the network\n"
     "is cut (the TTL mark, the desktop agent's state).\n",
     run_status},
    {"tray", "show the tray icon, menu and balloon, or click a menu entry",
     "usage: quarnctl tray\n"
     "       quarnctl tray click \"<caption>\"\n"
     "       quarnctl tray double-click\n"
     "\n"
     "Prints the state the tray module publishes for this session: the icon file\n"
     "and tooltip, the menu entries in order with the named event each one sets,\n"
     "the event of a mouse message on the icon, and the balloon shown last.\n"
     "\n"
     "  click \"<caption>\"  sets the named event of that menu entry, exactly as\n"
     "                     choosing it in the menu does\n"
     "  double-click        sets the event registered for the icon's double click\n"
     "\n"
     "Exit code 1 when there is no tray, no such entry, or nothing waits on its\n"
     "event.\n",
     run_tray},
    {"config", "read, write or list the configuration store",
     "usage: quarnctl config get <key>\n"
     "       quarnctl config set <key> <value>\n"
     "       quarnctl config list\n"
     "\n"
     "Works through the configuration module (QuarnAssConfigMgr.dll beside quarnctl,\n"
     "else in the assistant directory), so it reads and changes what the agent does.\n"
     "Keys match exactly. Arguments are taken as UTF-8 when they are valid UTF-8,\n"
     "otherwise as GBK; values are printed as UTF-8. list prints every key and value,\n"
     "a value with line breaks one indented line under another.\n"
     "Exit code 1 when the key is missing or the value was not stored.\n",
     run_config},
    {"log", "print the user log",
     "usage: quarnctl log [--follow] [--interval MS]\n"
     "\n"
     "Prints the user log of the assistant directory (TarnAssistant.log, the file\n"
     "the log module appends to; older lines rotate to .1 to .3).\n"
     "\n"
     "  --follow        keep printing lines as they are appended, across rotations,\n"
     "                  until interrupted\n"
     "  --interval MS   the longest wait between two looks (default 200)\n",
     run_log},
    {"agent", "show or set the desktop agent's network cut-off state and options",
     "usage: quarnctl agent\n"
     "       quarnctl agent set-option --except-ip LIST [--cut-way MODE]\n"
     "                                 [--restore-time MINUTES]\n"
     "\n"
     "Shows the agent folder (<system directory>\\BrimAgent), whether the network\n"
     "is cut through the agent (since when, and when it is restored), the cut-off\n"
     "options last handed to the agent, and the records of its configuration\n"
     "database BrimConfig.dat with the options of its AgentOption record.\n"
     "\n"
     "  set-option   writes the AgentOption record that the assistant reads before\n"
     "               a cut: the addresses that stay reachable (--except-ip, needed),\n"
     "               the cut mode (default 0) and the restore time in minutes\n"
     "               (default 0: no automatic restore)\n",
     run_agent},
    {"manifest", "write the signed module manifest of a download directory",
     "usage: quarnctl manifest <folder> <private key file> [<version>]\n"
     "       quarnctl manifest --new-key <private key file>\n"
     "\n"
     "Lists every file of <folder> (not its temporary files) with its SHA-256\n"
     "digest in the file QuarnModules.manifest there, signed with the server's\n"
     "ECDSA P-256 key read from <private key file> (\"-\": standard input). The\n"
     "version (default: the clock's seconds since 1970) must grow with every\n"
     "manifest: assistants refuse one older than a manifest they accepted.\n"
     "Run it again whenever a file of the folder changes.\n"
     "\n"
     "--new-key writes a fresh private key (owner only; an existing file is\n"
     "not replaced) and prints its public key, the ModuleSignKey the\n"
     "installation packet gives the assistants. Endpoints never hold the\n"
     "private key.\n",
     run_manifest},
};

}  // namespace

const Command* commands(std::size_t* count) {
    *count = sizeof kCommands / sizeof kCommands[0];
    return kCommands;
}

const Command* find_command(const char* name) {
    for (const Command& command : kCommands) {
        if (std::strcmp(command.name, name) == 0) return &command;
    }
    return nullptr;
}

void print_usage(const Command& command) {
    std::fputs(command.usage, stdout);
}

}  // namespace quarnctl
