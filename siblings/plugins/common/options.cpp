#include "siblings/plugins/common/options.h"

#include <cstring>

#include "cutil/xml.h"
#include "siblings/plugins/common/gbk_text.h"

namespace plugin {
namespace {

constexpr char kCheckType[] = "CheckType";
constexpr char kOption[] = "Option";
// Written by the check engine into any item that names a server.
constexpr const char* kEngineOptions[] = {"ServerIp", "ServerPort"};

const XmlNode* child(const XmlNode* parent, const char* name, const XmlNode* after = nullptr) {
    for (const XmlNode* node = after != nullptr ? after->next_sibling : parent->first_child;
         node != nullptr; node = node->next_sibling) {
        if (std::strcmp(node->name, name) == 0) return node;
    }
    return nullptr;
}

bool known(const char* name, const OptionRule* rules, std::size_t rule_count) {
    for (std::size_t i = 0; i < rule_count; ++i) {
        if (std::strcmp(rules[i].name, name) == 0) return true;
    }
    for (const char* engine : kEngineOptions) {
        if (std::strcmp(engine, name) == 0) return true;
    }
    return false;
}

bool has_text(const XmlNode* node) {
    return node->text != nullptr && node->text[0] != '\0';
}

}  // namespace

const char* Options::text(const char* name) const {
    const XmlNode* option = child(check_type_, kOption);
    const XmlNode* node = option != nullptr ? child(option, name) : nullptr;
    return node != nullptr && has_text(node) ? node->text : nullptr;
}

std::optional<Verdict> Options::flag(const char* name, bool fallback, bool* value) const {
    const char* given = text(name);
    if (given == nullptr) {
        *value = fallback;
    } else if (same_keyword(given, "Yes")) {
        *value = true;
    } else if (same_keyword(given, "No")) {
        *value = false;
    } else {
        return bad_option("选项 %s 的值 %s 无效，应为 Yes 或 No", name, shown(given).c_str());
    }
    return std::nullopt;
}

std::optional<Verdict> check_options(const XmlNode* check_type, const OptionRule* rules,
                                     std::size_t rule_count) {
    if (check_type == nullptr || std::strcmp(check_type->name, kCheckType) != 0) {
        return bad_option("检查项参数缺少CheckType元素");
    }
    const XmlNode* option = child(check_type, kOption);
    if (option != nullptr && child(check_type, kOption, option) != nullptr) {
        return bad_option("检查项有多个Option元素");
    }
    for (const XmlNode* node = option != nullptr ? option->first_child : nullptr; node != nullptr;
         node = node->next_sibling) {
        if (!known(node->name, rules, rule_count)) {
            return bad_option("未知的选项 %s", shown(node->name).c_str());
        }
        if (child(option, node->name, node) != nullptr) {
            return bad_option("选项 %s 重复", node->name);
        }
        if (!has_text(node)) return bad_option("选项 %s 没有值", node->name);
    }
    for (std::size_t i = 0; i < rule_count; ++i) {
        if (rules[i].required && (option == nullptr || child(option, rules[i].name) == nullptr)) {
            return bad_option("缺少选项 %s", rules[i].name);
        }
    }
    return std::nullopt;
}

}  // namespace plugin
