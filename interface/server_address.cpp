#include "interface/server_address.h"

#include <cstring>

#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/system_helpers.h"

bool ReadServerAddress(char* web_url, char* host, int* port) {
    if (web_url == nullptr) return false;
    std::strcpy(web_url, "Failed");
    char host_buffer[kHostSize] = "";
    int port_value = 0;
    const bool configured = ReadConfigText("WebUrl", web_url, kPathSize) != 0;
    // A host too long for its buffer comes back empty, never cut.
    if (configured) SplitUrlHostPort(web_url, &port_value, host_buffer, sizeof host_buffer);
    if (host != nullptr) std::memcpy(host, host_buffer, sizeof host_buffer);
    if (port != nullptr) *port = port_value;
    return configured && host_buffer[0] != '\0';
}

XmlDocument ServerExchange(const char* host, XmlNode* request) {
    XmlNode* reply = nullptr;
    const int answered = Call_GetUdpPacketFrom(host, request, &reply);
    XmlDocument owned(reply);
    if (answered == 0) return nullptr;
    return owned;
}
