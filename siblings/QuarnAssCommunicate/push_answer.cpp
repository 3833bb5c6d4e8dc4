#include "siblings/QuarnAssCommunicate/push_answer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cutil/xml.h"
#include "siblings/QuarnAssCommunicate/document_text.h"
#include "siblings/QuarnAssCommunicate/trace_source.h"

namespace communicate {

std::string push_answer_payload(int result) {
    char text[64];
    std::snprintf(text, sizeof text, "<TARN><Result>%d</Result></TARN>", result);
    const XmlDocument document(cutil_xml_import(text, kTraceSource, "PushAnswer", __LINE__));
    return text_form(document.get());
}

bool parse_push_answer(const char* payload, std::size_t size, int* result) {
    if (payload == nullptr || result == nullptr) return false;
    const XmlDocument document = parse_document(payload, size, "PushAnswer", __LINE__);
    const char* text = cutil_xml_get(document.get(), "TARN/Result");
    if (text == nullptr) return false;
    // The whole text must be a decimal int: "-1", "0", "17".
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < -2147483647L - 1 || value > 2147483647L) {
        return false;
    }
    *result = static_cast<int>(value);
    return true;
}

void AnswerCache::add(std::uint64_t sender, std::uint32_t id, int result) {
    std::lock_guard<std::mutex> guard(lock_);
    entries_[next_] = {sender, id, result, true};
    next_ = (next_ + 1) % kSize;
}

bool AnswerCache::find(std::uint64_t sender, std::uint32_t id, int* result) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (const Entry& entry : entries_) {
        if (entry.used && entry.sender == sender && entry.id == id) {
            *result = entry.result;
            return true;
        }
    }
    return false;
}

}  // namespace communicate
