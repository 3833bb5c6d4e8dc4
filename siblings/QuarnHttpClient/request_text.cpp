#include "siblings/QuarnHttpClient/request_text.h"

#include "cutil/xml.h"

namespace http_client {
namespace {

std::string text_at(const XmlNode* document, const char* path) {
    const char* text = cutil_xml_get(document, "%s", path);
    return text != nullptr ? text : std::string();
}

void append_encoded(const std::string& text, std::string* out) {
    static const char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '*';
        if (plain) {
            *out += c;
        } else if (byte == ' ') {
            *out += '+';
        } else {
            *out += '%';
            *out += kHex[byte >> 4];
            *out += kHex[byte & 0x0F];
        }
    }
}

}  // namespace

bool parse_post_request(const char* text, std::string* url, FormFields* fields) {
    if (text == nullptr) return false;
    const XmlUntrackedDocument document(cutil_xml_import_fre(text));
    if (!document) return false;
    *url = text_at(document.get(), "TARN/PostUrl");
    if (url->empty()) return false;
    fields->clear();
    const int count = cutil_xml_count(document.get(), "TARN/Argument");
    for (int i = 1; i <= count; ++i) {
        const char* name = cutil_xml_get(document.get(), "TARN/Argument[%d]/Name", i);
        if (name == nullptr || *name == '\0') return false;
        const char* value = cutil_xml_get(document.get(), "TARN/Argument[%d]/Value", i);
        fields->emplace_back(name, value != nullptr ? value : "");
    }
    return true;
}

bool parse_download_request(const char* text, std::string* url, std::string* save_path) {
    if (text == nullptr) return false;
    const XmlUntrackedDocument document(cutil_xml_import_fre(text));
    if (!document) return false;
    *url = text_at(document.get(), "TARN/DownloadUrl");
    *save_path = text_at(document.get(), "TARN/LocalSavePath");
    return !url->empty() && !save_path->empty();
}

std::string form_encode(const FormFields& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        if (!body.empty()) body += '&';
        append_encoded(name, &body);
        body += '=';
        append_encoded(value, &body);
    }
    return body;
}

}  // namespace http_client
