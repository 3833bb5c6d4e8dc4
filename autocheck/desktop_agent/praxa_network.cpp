#include "autocheck/desktop_agent/praxa_network.h"

#include "autocheck/trace_sources.h"
#include "cutil/memory.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/sibling_abi.h"
#include "os/fault.h"
#include "os/module.h"

namespace {

using autocheck::kSupportPraxaSource;

constexpr char kFunction[] = "ControlNetworkByPraxaTdi";
constexpr char kDatabaseFile[] = "BrimConfig.dat";
constexpr char kAgentOptionRecord[] = "AgentOption";
constexpr char kCutOptions[] = "KORV/PolicyList/Policy/Option/CutoffNetwork";

// What the guarded call holds lives here, so that it is released after a
// fault as well as on every ordinary path.
struct PraxaCall {
    int cut = 0;
    int result = 0;
    char* option_text = nullptr;  // the AgentOption record, always terminated
    XmlNode* options = nullptr;   // its parsed form
};

void trace(int level, int line, const char* message) {
    LogTrace(kFunction, level, kSupportPraxaSource, line, "%s", message);
}

template <typename Function>
Function agent_export(os::Handle module, const char* name) {
    return reinterpret_cast<Function>(os::module_symbol(module, name));
}

os::Handle load_agent_module(const char* file_name) {
    char path[kPathSize];
    GetAgentModulePath(path, sizeof path, "%s", file_name);
    return os::module_load(path);
}

// Reads the AgentOption record of the open database into call->option_text.
bool read_agent_option(PraxaCall* call, sibling::DB_ReadConfigDBFunction read) {
    const int size = read(kAgentOptionRecord, nullptr, 0);
    if (size <= 0) {
        trace(kTraceError, __LINE__, "没有取到 AgentOption 信息，无法断开网络");
        return false;
    }
    // One byte more than the record: a record without its own terminator
    // still ends inside the block.
    call->option_text = static_cast<char*>(MemAlloc_fre(static_cast<std::size_t>(size) + 1));
    if (call->option_text == nullptr) {
        trace(kTraceError, __LINE__, "内存不足，为pAgentOptionStr分配内存失败");
        return false;
    }
    if (read(kAgentOptionRecord, call->option_text, size) == 0) {
        trace(kTraceError, __LINE__, "没有取到 AgentOption 信息，无法断开网络");
        return false;
    }
    return true;
}

// The agent's own cut-off options, from its configuration database.
bool load_agent_options(PraxaCall* call) {
    const os::Handle database = load_agent_module(sibling::kBrimDatabaseDll);
    if (database == nullptr) {
        trace(kTraceError, __LINE__, "BrimDatabase.dll 加载失败，无法通过TDI控制网络");
        return false;
    }
    const auto open = agent_export<sibling::DB_OpenConfigDB_ReadFunction>(
        database, sibling::kDB_OpenConfigDB_ReadName);
    const auto read =
        agent_export<sibling::DB_ReadConfigDBFunction>(database, sibling::kDB_ReadConfigDBName);
    const auto close =
        agent_export<sibling::DB_CloseConfigDBFunction>(database, sibling::kDB_CloseConfigDBName);
    if (open == nullptr || read == nullptr || close == nullptr) {
        trace(kTraceError, __LINE__,
              "取数据库操作接口失败，无法读取Praxa数据，无法通过TDI控制网络");
        return false;
    }
    char path[kPathSize];
    GetAgentModulePath(path, sizeof path, "%s", kDatabaseFile);
    if (open(path, 1) == 0) {
        trace(kTraceError, __LINE__,
              "DB_OpenConfigDB_Read打开Praxa数据库失败，无法通过TDI控制网络");
        return false;
    }
    // Closed once the record is read, whether or not that worked.
    const bool read_ok = read_agent_option(call, read);
    close();
    if (!read_ok) return false;

    call->options = cutil_xml_import(call->option_text, kSupportPraxaSource, kFunction, __LINE__);
    if (call->options == nullptr) {
        trace(kTraceError, __LINE__, "cutil_xml_import( pAgentOptionStr ) 失败，无法断开网络");
        return false;
    }
    return true;
}

void control_network(void* context) {
    PraxaCall* call = static_cast<PraxaCall*>(context);
    const os::Handle depend = load_agent_module(sibling::kBrimDependDll);
    if (depend == nullptr) {
        trace(kTraceError, __LINE__,
              "BrimDepend.dll 加载失败，Praxa客户端可能没装,无法通过TDI控制网络");
        return;
    }
    const auto cutoff =
        agent_export<sibling::CutoffNetworkFunction>(depend, sibling::kCutoffNetworkName);
    const auto set_option =
        agent_export<sibling::SetCutNetOptionFunction>(depend, sibling::kSetCutNetOptionName);
    if (cutoff == nullptr || set_option == nullptr) {
        trace(kTraceError, __LINE__, "取接口地址CutoffNetwork或SetCutNetOption失败");
        return;
    }

    if (call->cut == 0) {
        trace(kTraceInfo, __LINE__, "通过Praxa的TDI放开网络");
        cutoff(0, 0, 0);
        call->result = 1;
        return;
    }

    trace(kTraceInfo, __LINE__, "通过TDI， 断开网络");
    if (!load_agent_options(call)) return;
    const char* cut_way = cutil_xml_get(call->options, "%s/CutWay", kCutOptions);
    const char* except_ip = cutil_xml_get(call->options, "%s/ExceptIP", kCutOptions);
    const int restore_time = cutil_xml_get_int(call->options, "%s/RestoreTime", kCutOptions);
    if (except_ip == nullptr || except_ip[0] == '\0') {
        trace(kTraceError, __LINE__,
              "没有取到例外IP，这样断网后无法和TARN服务器通信，是否配置有问题？没有把TARN服务器放开"
              "？");
        return;
    }
    if (cut_way == nullptr || restore_time == -1) {
        trace(kTraceError, __LINE__, "取断网选项信息失败");
        return;
    }
    set_option(cut_way, except_ip, restore_time);
    cutoff(1, restore_time, 0);
    call->result = 1;
}

}  // namespace

int ControlNetworkByPraxaTdi(int cut) {
    PraxaCall call;
    call.cut = cut;
    if (os::fault_guard(&control_network, &call) != os::Fault::kNone) {
        trace(kTraceError, __LINE__, "ControlNetworkByPraxaTdi 发生异常");
        call.result = 0;
    }
    if (call.option_text != nullptr) MemFree_fre(call.option_text);
    cutil_xml_free(call.options);
    return call.result;
}
