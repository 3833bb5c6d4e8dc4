// The request documents of the update.
#include "autocheck/policy/update_steps.h"
#include "autocheck/trace_sources.h"

namespace autocheck::policy {

XmlDocument new_request(const char* trade_code, int device_id) {
    XmlDocument request = new_document(kPolicyManagerSource, kUpdateFunction, __LINE__);
    if (request == nullptr || !append_text(request.get(), "TradeCode", trade_code) ||
        !append_int(request.get(), "AgentID", device_id)) {
        return nullptr;
    }
    return request;
}

}  // namespace autocheck::policy
