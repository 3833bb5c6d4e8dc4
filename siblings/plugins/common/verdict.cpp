#include "siblings/plugins/common/verdict.h"

#include <cstdarg>
#include <cstdio>

#include "cutil/xml.h"
#include "siblings/plugins/common/gbk_text.h"

namespace plugin {
namespace {

constexpr char kReplySkeleton[] = "<Result><CheckType></CheckType></Result>";

std::string format_text(const char* format, va_list arguments) QUARN_PRINTF(1, 0);
std::string format_text(const char* format, va_list arguments) {
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return std::string();
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, arguments);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace

#define PLUGIN_VERDICT(function, outcome)                         \
    Verdict function(const char* format, ...) {                   \
        va_list arguments;                                        \
        va_start(arguments, format);                              \
        Verdict verdict{outcome, format_text(format, arguments)}; \
        va_end(arguments);                                        \
        return verdict;                                           \
    }
PLUGIN_VERDICT(passed, Outcome::kPassed)
PLUGIN_VERDICT(failed, Outcome::kFailed)
PLUGIN_VERDICT(bad_option, Outcome::kBadOption)
#undef PLUGIN_VERDICT

bool reply_text(const Verdict& verdict, std::string* text) {
    const XmlUntrackedDocument reply(cutil_xml_import_fre(kReplySkeleton));
    if (reply == nullptr) return false;
    const char* word = verdict.outcome == Outcome::kPassed ? "Yes" : "No";
    if (cutil_xml_add(reply.get(), word, "Result/CheckType/Result") < 1 ||
        cutil_xml_add(reply.get(), verdict.reason.c_str(), "Result/CheckType/Reason") < 1) {
        return false;
    }
    const int size = cutil_xml_export(reply.get(), nullptr, 0);
    if (size <= 0) return false;
    text->assign(static_cast<std::size_t>(size), '\0');
    const int written = cutil_xml_export(reply.get(), &(*text)[0], size);
    if (written <= 0 || written >= size) return false;
    text->resize(static_cast<std::size_t>(written));
    return true;
}

std::string shown(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    return text.substr(0, gbk_boundary(text, limit)) + "…";
}

}  // namespace plugin
