#include "tests/plugins/plugin_call.h"

#include <cstdlib>

#include "cutil/xml.h"
#include "interface/module_call.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"

namespace quarn::test {
namespace {

// One assistant directory for the whole run: the component is loaded from
// it once and stays loaded.
const AssistantHome& home() {
    static const AssistantHome* home = [] {
        auto* made = new AssistantHome;
        made->add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll");
        return made;
    }();
    return *home;
}

}  // namespace

PluginReply call_plugin(const char* module, const char* function, const char* argument) {
    home();
    PluginReply reply;
    char* text = nullptr;
    reply.code = CallOneModuleFuncA((program_dir() + module).c_str(), argument, function, &text);
    if (text == nullptr) return reply;
    reply.text = text;
    std::free(text);
    const XmlUntrackedDocument document(cutil_xml_import_fre(reply.text.c_str()));
    const char* verdict = cutil_xml_get(document.get(), "Result/CheckType/Result");
    const char* reason = cutil_xml_get(document.get(), "Result/CheckType/Reason");
    reply.verdict = verdict != nullptr ? verdict : "(none)";
    reply.reason = reason != nullptr ? reason : "(none)";
    return reply;
}

std::string check_type(const char* module, const char* function, const std::string& options) {
    return std::string("<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n<CheckType><DLL>") + module +
           "</DLL><DLLFunc>" + function + "</DLLFunc><Option>" + options +
           "</Option></CheckType>\r\n";
}

std::string filled(std::string text,
                   std::initializer_list<std::pair<const char*, std::string>> values) {
    for (const auto& [key, value] : values) {
        const std::string mark = std::string("{") + key + "}";
        for (std::size_t at = text.find(mark); at != std::string::npos;
             at = text.find(mark, at + value.size())) {
            text.replace(at, mark.size(), value);
        }
    }
    return text;
}

}  // namespace quarn::test
