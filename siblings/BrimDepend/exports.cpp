// BrimDepend.dll: the desktop agent's network control (standard calling
// convention). The state file lies beside the module, in the agent folder.
#include "interface/sibling_abi.h"
#include "siblings/BrimDepend/net_control.h"

QUARN_EXPORT int QUARN_STDCALL CutoffNetwork(int cut, int restore_time, int) {
    return brim_net::cutoff_network(brim_net::module_state_path().c_str(), cut, restore_time);
}
QUARN_EXPORT int QUARN_STDCALL SetCutNetOption(const char* cut_way, const char* except_ip,
                                               int restore_time) {
    return brim_net::set_cut_net_option(brim_net::module_state_path().c_str(), cut_way, except_ip,
                                        restore_time);
}

static_assert(sizeof(sibling::CutoffNetworkFunction{&CutoffNetwork}) > 0);
static_assert(sizeof(sibling::SetCutNetOptionFunction{&SetCutNetOption}) > 0);
