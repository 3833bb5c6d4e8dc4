// The desktop agent's network control as this stand-in keeps it: the cut-off
// options and the requested cut or restore, with their times, in a state file
// of the agent folder. The host's real network is never touched; what a
// driver would enforce is what this file says.
//
// State file BrimNetControl.ini: "Key=value" lines (CR LF), every value on
// its own line, keys:
//   CutWay, ExceptIP, RestoreTime, OptionTime      the options last set
//   Cut (1 cut, 0 restored), CutRestoreTime, CutTime, RestoreAt, RestoredTime
// Times are local "%04d-%02d-%02d %02d:%02d:%02d"; the restore time counts
// minutes (0 or less: no automatic restore).
#pragma once

#include <string>

namespace brim_net {

inline constexpr char kStateFile[] = "BrimNetControl.ini";
inline constexpr char kLockName[] = "BrimNetControlLock";

struct State {
    bool has_options = false;
    std::string cut_way;
    std::string except_ip;
    int restore_time = 0;
    std::string option_time;

    bool has_cut = false;
    bool cut = false;
    int cut_restore_time = 0;
    std::string cut_time;
    std::string restore_at;  // empty: stays cut until restored
    std::string restored_time;
};

// Missing file: an empty state, true. False when it cannot be read.
bool load(const char* path, State* out);
bool save(const char* path, const State& state);

// The exports' work on the state file at `path`; 1 when stored.
int set_cut_net_option(const char* path, const char* cut_way, const char* except_ip,
                       int restore_time);
int cutoff_network(const char* path, int cut, int restore_time);

// Whether the endpoint is cut at local time `now` (the time text form): cut
// and its restore time, if any, not yet reached.
bool cut_now(const State& state, const std::string& now);
std::string now_text();

// "<folder of this module>\<kStateFile>" (the agent folder).
std::string module_state_path();

}  // namespace brim_net
