// The request documents that callers hand to HttpPost and HttpDownloadFile,
// and the form body a POST sends.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace http_client {

using FormFields = std::vector<std::pair<std::string, std::string>>;

// "<TARN><PostUrl>url</PostUrl><Argument><Name>n</Name><Value>v</Value>
// </Argument>...</TARN>": the URL and every Argument in order (a missing
// Value is empty; an empty "<Argument></Argument>" adds no field). False when
// the text does not parse, has no PostUrl, or a non-empty Argument has no
// Name.
bool parse_post_request(const char* text, std::string* url, FormFields* fields);

// "<TARN><DownloadUrl>url</DownloadUrl><LocalSavePath>path</LocalSavePath>
// [<MaxSize>bytes</MaxSize>]</TARN>". False when the address or the path is
// missing or empty, or MaxSize is there and not a positive decimal number.
// *max_size is MaxSize (never above os::kHttpMaxBody), os::kHttpMaxBody
// without it.
bool parse_download_request(const char* text, std::string* url, std::string* save_path,
                            std::size_t* max_size);

// application/x-www-form-urlencoded: "name=value&..." with every byte other
// than ALPHA / DIGIT / "-" "." "_" "*" written %XX and a blank written "+".
std::string form_encode(const FormFields& fields);

// `url` fit for a trace: the query's values (user name, password, serial
// number) are written "***", the names kept ("a?user_name=***&deviceid=***").
std::string masked_url(const std::string& url);

}  // namespace http_client
