// The control exports of the communication double beyond those of every
// double (core/fake_control.h): the texts of the requests sent and a queue of
// scripted replies. C-shaped on purpose: the double has its own runtime.
#pragma once

#include "os/compiler.h"

struct XmlNode;

namespace fake {

// Appends one reply to the queue of `export_name` ("GetUdpPacketFrom" or
// "GetTcpPacketFrom"). Each exchange takes the oldest entry: `result` is
// returned and `reply` handed out, and from then on belongs to the caller
// (whatever the result: a failure is queued with a null reply). With the
// queue empty the plain scripted answer applies. Entries never taken are
// freed by the double on reset and when it is unloaded.
using QueueReplyFunction = void(QUARN_CDECL*)(const char* export_name, int result, XmlNode* reply);
// Request `index` (from 0, both exchanges in the order sent): the export's
// name and the request's text form as cutil_xml_export writes it (header
// line included), each cut to its buffer. Returns the text's length plus one,
// 0 when there is no such request.
using GetRequestFunction = int(QUARN_CDECL*)(int index, char* name, int name_size, char* text,
                                             int text_size);

inline constexpr char kQueueReplyName[] = "QuarnFake_QueueReply";
inline constexpr char kGetRequestName[] = "QuarnFake_GetRequest";

}  // namespace fake
