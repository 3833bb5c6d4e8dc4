// The request documents of the update and their exchange with the server.
#include <cstdio>

#include "autocheck/policy/update_steps.h"
#include "autocheck/trace_sources.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/system_helpers.h"
#include "os/memory.h"

namespace autocheck::policy {

XmlDocument new_request(const char* trade_code, int device_id) {
    XmlDocument request(cutil_xml_create(kPolicyManagerSource, kUpdateFunction, __LINE__));
    if (request == nullptr || !append_text(request.get(), "TradeCode", trade_code) ||
        !append_int(request.get(), "AgentID", device_id)) {
        return nullptr;
    }
    return request;
}

bool append_text(XmlNode* request, const char* element, const char* text) {
    return cutil_xml_add(request, text, "TARN/%s", element) > 0;
}

bool append_int(XmlNode* request, const char* element, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return append_text(request, element, text);
}

bool read_server_host(char* host) {
    host[0] = '\0';
    char* value = nullptr;
    if (Call_TarnReadConfig("WebUrl", &value) == 0 || value == nullptr) return false;
    char url[kPathSize];
    std::snprintf(url, sizeof url, "%s", value);  // at most 259 characters are used
    os::global_free(value);
    int port = 0;
    // A host too long for the buffer comes back empty, never cut: a cut host
    // would address another machine.
    SplitUrlHostPort(url, &port, host, kHostSize);
    return host[0] != '\0';
}

XmlDocument exchange(const char* host, XmlNode* request) {
    XmlNode* reply = nullptr;
    const int result = Call_GetUdpPacketFrom(host, request, &reply);
    // Whatever the module hands back is ours to free, even beside a failure.
    XmlDocument owned(reply);
    if (result == 0) return nullptr;
    return owned;
}

}  // namespace autocheck::policy
