// The HTTP client module's operations, as plain C++ behind its exports.
// Success means a 2xx answer; every failure is traced with the URL.
#pragma once

#include <string>

namespace http_client {

// GET `url`; *body receives the answer's bytes unchanged.
bool get(const char* url, std::string* body);
// POST the form that the request document describes (request_text.h).
bool post(const char* request_text, std::string* body);
// GET the document's DownloadUrl and store the body at its LocalSavePath
// atomically; on any failure the file there stays as it was.
bool download(const char* request_text);

}  // namespace http_client
