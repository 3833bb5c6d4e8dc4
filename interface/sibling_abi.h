// The binary contract between this library and every sibling module and
// program of the product: file names, the function type of each export we
// call (calling convention, argument order, ownership) and what a caller gets
// when the module or the export is missing. The gateway, the module-call
// component and every test double include this one header, so the two sides
// of a call cannot drift apart.
//
// Ownership rules shared by every export below:
// - texts are GBK and zero-terminated;
// - a text handed back through a `char**` / `char16_t**` out-parameter is a
//   new block of the Win32 global allocator (os::global_alloc); the caller
//   releases it with GlobalFree (os::global_free);
// - XML documents (XmlNode, the utility library) passed in stay the caller's;
//   a reply document handed back is the caller's, freed with cutil_xml_free.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/compiler.h"

struct XmlNode;

namespace sibling {

// ---------------------------------------------------------------------------
// Module and program file names. On every platform the file name is the
// contract: a module is found among the loaded ones by this name.

inline constexpr char kConfigMgrDll[] = "QuarnAssConfigMgr.dll";
inline constexpr char kLogDll[] = "QuarnAssLog.dll";
inline constexpr char kCommunicateDll[] = "QuarnAssCommunicate.dll";
inline constexpr char kShowIconDll[] = "QuarnAssShowIcon.dll";
inline constexpr char kRuntimeCheckDll[] = "QuarnAssRuntimeCheck.dll";
inline constexpr char kHttpClientDll[] = "QuarnHttpClient.dll";
inline constexpr char kCommonDll[] = "QuarnCommon.dll";
inline constexpr char kCheckCertDll[] = "QuarnCheckCert.dll";
inline constexpr char kCheckDomainDll[] = "QuarnCheckDomain.dll";
inline constexpr char kActivexDll[] = "QuarnActivex.dll";
inline constexpr char kAutoCheckDll[] = "QuarnAssAutoCheck.dll";
// The desktop security agent's modules (in its own folder, not ours).
inline constexpr char kBrimDependDll[] = "BrimDepend.dll";
inline constexpr char kBrimDatabaseDll[] = "BrimDatabase.dll";

inline constexpr char kAssistantExe[] = "TarnAssistant.exe";
inline constexpr char kHtmlDlgExe[] = "TarnHtmlDlg.exe";
inline constexpr char kDot1xClientExe[] = "TarnDot1xClient.exe";
inline constexpr char kAssistantIcon[] = "TarnAssistant.ico";

// Fixed peers of the packet exchanges.
inline constexpr int kServerUdpPort = 36537;
inline constexpr char kAssistantTcpHost[] = "127.0.0.1";
inline constexpr int kAssistantTcpPort = 36588;

// ---------------------------------------------------------------------------
// Callback that the communication module calls, on its own receive thread,
// for each document the server pushes. The document stays the module's.
using PacketRecvCallBackFunction = int(QUARN_CDECL*)(XmlNode* command);

// Check-item plug-in function, and every function reached through the
// module-call component (CallOneModuleFunc): GetDeviceInfo, CheckDomainUser,
// the siblings' Init, the policy's check items.
//   argument: GBK text, or null when the caller gives none;
//   *result:  set to a new global-allocator GBK text, or left null; on
//             failure it may carry the error text;
//   returns:  0 on success, any other value is a failure code.
using PluginFunction = int(QUARN_CDECL*)(const char* argument, char** result);

// ---------------------------------------------------------------------------
// Every export the library calls by name, one row each:
//   X(module, export name, result type, calling convention, parameters,
//     result a wrapper gives when the module or export is missing)
// "void" rows have no wrapper result. The rows without a wrapper of their own
// (HTTP client, certificate module, desktop agent) are bound by the code that
// uses them; their missing result is what that code reports.
#define QUARN_SIBLING_EXPORTS(X)                                                                  \
    X(kShowIconDll, InitTray, int, QUARN_CDECL, (void), void)                                     \
    X(kShowIconDll, AddTrayIcon, int, QUARN_CDECL, (const char* tooltip, const char* icon_path),  \
      0)                                                                                          \
    X(kShowIconDll, DelTrayIcon, int, QUARN_CDECL, (void), 0)                                     \
    X(kShowIconDll, AddDynamicMenu, int, QUARN_CDECL,                                             \
      (const char* caption, const char* event_name), 0)                                           \
    X(kShowIconDll, DelDynamicMenu, int, QUARN_CDECL, (const char* caption), 0)                   \
    X(kShowIconDll, DeleteAllDynamicMenu, int, QUARN_CDECL, (void), void)                         \
    X(kShowIconDll, ShowBalloonMsg, int, QUARN_CDECL,                                             \
      (const char* title, const char* text, int display_ms), 0)                                   \
    X(kShowIconDll, AddEventNotify, int, QUARN_CDECL,                                             \
      (int window_message, const char* event_name), 0)                                            \
    X(kCommunicateDll, SetPacketRecvCallBack, int, QUARN_CDECL,                                   \
      (sibling::PacketRecvCallBackFunction callback), void)                                       \
    X(kCommunicateDll, GetUdpPacketFrom, int, QUARN_CDECL,                                        \
      (const char* host, int port, XmlNode* request, XmlNode** reply), 0)                         \
    X(kCommunicateDll, GetTcpPacketFrom, int, QUARN_CDECL,                                        \
      (const char* host, int port, XmlNode* request, XmlNode** reply), 0)                         \
    X(kRuntimeCheckDll, CutOffNetwork, int, QUARN_CDECL, (void), 1)                               \
    X(kRuntimeCheckDll, HaveInsertUsbKey, int, QUARN_CDECL, (void), 1)                            \
    X(kLogDll, TarnLogToFile, int, QUARN_CDECL, (const char* line), 0)                            \
    X(kConfigMgrDll, TarnReadConfig, int, QUARN_CDECL, (const char* key, char** value), 0)        \
    X(kConfigMgrDll, TarnWriteConfig, int, QUARN_CDECL, (const char* key, const char* value), 0)  \
    X(kHttpClientDll, HttpGet, int, QUARN_CDECL, (const char* url, char** response), 0)           \
    X(kHttpClientDll, HttpPost, int, QUARN_CDECL, (const char* request, char** response), 0)      \
    X(kHttpClientDll, HttpDownloadFile, int, QUARN_STDCALL, (const char* request, int reserved),  \
      0)                                                                                          \
    X(kCheckCertDll, GetAllUsbKeyCert, int, QUARN_CDECL, (int reserved, char** result), 0)        \
    X(kCheckCertDll, GetUsbKeySerialNum, int, QUARN_CDECL, (const char* argument, char** result), \
      0)                                                                                          \
    X(kActivexDll, CallOneModuleFunc, int, QUARN_CDECL,                                           \
      (const char16_t* reserved, const char16_t* module_path, const char16_t* function_name,      \
       const char16_t* argument, char16_t** result),                                              \
      0)                                                                                          \
    X(kBrimDependDll, CutoffNetwork, int, QUARN_STDCALL,                                          \
      (int cut, int restore_time, int reserved), 0)                                               \
    X(kBrimDependDll, SetCutNetOption, int, QUARN_STDCALL,                                        \
      (const char* cut_way, const char* except_ip, int restore_time), 0)                          \
    X(kBrimDatabaseDll, DB_OpenConfigDB_Read, int, QUARN_STDCALL,                                 \
      (const char* database_path, int read_only), 0)                                              \
    X(kBrimDatabaseDll, DB_ReadConfigDB, int, QUARN_STDCALL,                                      \
      (const char* record, void* buffer, int size), 0)                                            \
    X(kBrimDatabaseDll, DB_CloseConfigDB, int, QUARN_STDCALL, (void), 0)

// The function type of each export: sibling::ShowBalloonMsgFunction, …
#define QUARN_SIBLING_DECLARE_TYPE(module, name, result, convention, parameters, missing) \
    using name##Function = result(convention*) parameters;
QUARN_SIBLING_EXPORTS(QUARN_SIBLING_DECLARE_TYPE)
#undef QUARN_SIBLING_DECLARE_TYPE

// Names of the exports above, for code that binds or checks them by name.
#define QUARN_SIBLING_DECLARE_NAME(module, name, result, convention, parameters, missing) \
    inline constexpr char k##name##Name[] = #name;
QUARN_SIBLING_EXPORTS(QUARN_SIBLING_DECLARE_NAME)
#undef QUARN_SIBLING_DECLARE_NAME

// The same functions reached through the module-call component: the export
// names that GetDeviceInfo, CheckDomainUser and the siblings' Init have.
inline constexpr char kGetDeviceInfoName[] = "GetDeviceInfo";
inline constexpr char kCheckDomainUserName[] = "CheckDomainUser";
inline constexpr char kInitName[] = "Init";

struct ExportRow {
    const char* module;
    const char* name;
};

// Every row of the table, in order (the tests walk it).
#define QUARN_SIBLING_ROW(module, name, result, convention, parameters, missing) {module, #name},
inline constexpr ExportRow kExportRows[] = {QUARN_SIBLING_EXPORTS(QUARN_SIBLING_ROW)};
#undef QUARN_SIBLING_ROW

}  // namespace sibling
