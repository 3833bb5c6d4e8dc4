// The security check engine behind the export DoSecurityCheck: runs every
// item of a policy document through its plug-in and scores the result.
#pragma once

#include "os/compiler.h"

struct XmlNode;

// Told about each item: (the item's CheckType element, 1) just before its
// plug-in is called (on the thread the plug-in runs on), (the parsed plug-in
// reply, 0) just after. Neither node
// outlives the call that follows; the result is ignored.
using SecurityCheckNotify = int(QUARN_CDECL*)(XmlNode* node, int phase);

// Runs the check items of `policy` (edited only in its ServerIp/ServerPort
// options). 1 with the result document in *result (the caller frees it with
// cutil_xml_free; a null `result` has the engine free it), 0 when no result
// was produced, *result then being null. `notify` may be null. A processor
// fault anywhere in the check, plug-ins included, ends it with 0.
QUARN_EXPORT int QUARN_CDECL DoSecurityCheck(XmlNode* policy, XmlNode** result,
                                             SecurityCheckNotify notify);
