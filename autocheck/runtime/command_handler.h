// Commands the access server pushes: the communication module parses each
// into a document and calls PacketRecvCallBack on its receive thread.
#pragma once

#include "os/compiler.h"

struct XmlNode;

// Runs the command named by "TARN/WhatToDo" (any letter case). The document
// stays the caller's. 1 for a null document, one without a command, and
// after DoSecurityCheck, ShowUserOneMsg, IpRenew and SwitchUser; 0 after
// ShutdownNetwork, OpenNewUrl and for an unknown command. Caller-cleans, as
// the communication module calls it.
int QUARN_CDECL PacketRecvCallBack(XmlNode* command);
