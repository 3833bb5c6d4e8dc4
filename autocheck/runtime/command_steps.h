// What the server commands share, and the two commands that run wholly
// under the fault guard (command_guarded.cpp).
#pragma once

#include "autocheck/trace_sources.h"
#include "cutil/trace.h"

struct XmlNode;

namespace server_command {

inline constexpr char kFunction[] = "PacketRecvCallBack";
inline constexpr char kNoticeTitle[] = "提示";
inline constexpr int kBalloonMs = 300000;

// Sets the 802.1x side's named event for a disconnection; 0.
int ShutdownNetwork(const XmlNode* command, bool disturb);
// Opens the page the server names (URL-safe Base64) in the page dialog; 0.
int OpenNewUrl(const XmlNode* command, bool disturb);

}  // namespace server_command

#define COMMAND_TRACE(level, ...) \
    LogTrace(server_command::kFunction, level, autocheck::kAutoCheckSource, __LINE__, __VA_ARGS__)
