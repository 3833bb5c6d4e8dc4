// Wrappers of the tray, communication and runtime-check modules. Each finds
// the already-loaded module and its export on every call; a missing module
// or export is traced and gives the result noted beside the wrapper.
#pragma once

#include "interface/sibling_abi.h"

// QuarnAssShowIcon.dll
void Call_InitTray();
int Call_AddTrayIcon(const char* tooltip, const char* icon_path);      // missing: 0
int Call_DelTrayIcon();                                                // missing: 0
int Call_AddDynamicMenu(const char* caption, const char* event_name);  // missing: 0
// Removes the "取消自动身份认证" item; missing: 0.
int Call_DelDynamicMenu();
void Call_DeleteAllDynamicMenu();
int Call_ShowBalloonMsg(const char* title, const char* text, int display_ms);  // missing: 0
// Asks for left-button double clicks (515) as "Event_L_Button_D_Click"; missing: 0.
int Call_AddEventNotify();

// QuarnAssCommunicate.dll. The callback is the caller's: the gateway sits
// below the library that defines it.
void Call_SetPacketRecvCallBack(sibling::PacketRecvCallBackFunction callback);
// Request to the server's UDP port 36537; on success *reply is a parsed
// document the caller frees. Missing: 0.
int Call_GetUdpPacketFrom(const char* server_host, XmlNode* request, XmlNode** reply);
// The same exchange with the running assistant on 127.0.0.1:36588. Missing: 0.
int Call_GetTcpPacketFrom(XmlNode* request, XmlNode** reply);

// QuarnAssRuntimeCheck.dll
int Call_CutOffNetwork();     // missing: 1, the caller goes on as if requested
int Call_HaveInsertUsbKey();  // missing: 1, the caller goes on as if a key were in
