// The access server as the configuration names it (WebUrl), and one request
// and reply with it over the UDP request channel.
#pragma once

#include <cstddef>

#include "cutil/xml.h"

// Host part of a server address: at most 63 characters.
inline constexpr std::size_t kHostSize = 64;

// Reads WebUrl into `web_url` (kPathSize bytes, "Failed" when not configured,
// a longer value cut to 259 characters) and splits it into `host`
// (kHostSize bytes) and *port (either may be null). False when WebUrl is not
// configured or names no host, or when its host does not fit 63 characters:
// a cut host would address another machine, so callers treat it as missing.
bool ReadServerAddress(char* web_url, char* host, int* port);

// Sends `request` to the server's UDP port through the communication module.
// The reply document, or null when the exchange failed; whatever the module
// hands back beside a failure is freed here.
XmlDocument ServerExchange(const char* host, XmlNode* request);
