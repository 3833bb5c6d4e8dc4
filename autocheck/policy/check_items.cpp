// The check items of a policy: each Item names its definition by ItemID; the
// definition is fetched from the server and appended to the Item, so the
// stored policy holds everything the check engine reads.
#include "autocheck/pass_budget.h"
#include "autocheck/policy/update_steps.h"
#include "cutil/text.h"
#include "cutil/xml.h"

namespace autocheck::policy {
namespace {

constexpr char kItemPath[] = "TARN/SecurityCheckPolicy/CheckItems/Item";
constexpr char kItemTradeCode[] = "GetSecurityCheckItem";
constexpr char kSystemProcessCheck[] = "CheckSystemProcess";
constexpr char kUnlawfulConnectionCheck[] = "CheckUnlawfulConnectOut";

void note_check(const char* inside_name, ItemFindings* findings) {
    if (inside_name == nullptr) return;
    if (cutil_str_iequal(inside_name, kSystemProcessCheck)) findings->system_process = true;
    if (cutil_str_iequal(inside_name, kUnlawfulConnectionCheck)) {
        findings->unlawful_connection = true;
    }
}

}  // namespace

bool merge_item_definitions(const char* host, int device_id, XmlNode* policy,
                            ItemFindings* findings) {
    const int count = cutil_xml_count(policy, "%s", kItemPath);
    if (count == 0) {
        abandon(__LINE__, "策略报文有错误,没有检查项");
        return false;
    }
    if (count > kMaxCheckItems) {
        abandon(__LINE__, "策略报文的检查项太多, 安检策略更新失败");
        return false;
    }
    for (int n = 1; n <= count; ++n) {
        // An Item without ItemID stays in the policy without a definition.
        const char* item_id = cutil_xml_get(policy, "%s[%d]/ItemID", kItemPath, n);
        if (item_id == nullptr) continue;
        // A server that answers each definition slowly: the pass's budget
        // ends the update, as a definition that cannot be had.
        if (autocheck::pass_budget_spent()) {
            abandon(__LINE__, "本次准入的时间已用完, 安检策略更新失败");
            return false;
        }
        XmlDocument request = new_request(kItemTradeCode, device_id);
        if (request == nullptr || !append_text(request.get(), "ItemId", item_id)) {
            abandon(__LINE__, kCreateFailed);
            return false;
        }
        // One definition missing discards the whole update.
        const XmlDocument definition = ServerExchange(host, request.get());
        if (definition == nullptr) {
            abandon(__LINE__, "取安全检查项失败， 安检策略更新失败");
            return false;
        }
        request.reset();
        XmlNode* item = cutil_xml_find(policy, "%s[%d]", kItemPath, n);
        if (item != nullptr && cutil_xml_copy_children(item, definition.get()) == nullptr) {
            // Out of memory: a policy stored without this definition would
            // be a wrong one.
            abandon(__LINE__, kCreateFailed);
            return false;
        }
        note_check(cutil_xml_get(definition.get(), "TARN/CheckType/InsideName"), findings);
    }
    return true;
}

}  // namespace autocheck::policy
