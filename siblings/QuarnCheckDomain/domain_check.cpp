#include "siblings/QuarnCheckDomain/domain_check.h"

#include <cstring>
#include <memory>

#include "cutil/trace.h"
#include "cutil/xml.h"
#include "os/account.h"
#include "os/error.h"

namespace domain_check {
namespace {

constexpr char kFunction[] = "CheckDomainUser";
using Document = std::unique_ptr<XmlNode, XmlDocumentDeleter>;

}  // namespace

Logon current_logon() {
    Logon logon;
    os::DomainMembership membership;
    if (!os::domain_membership(&membership)) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "取域信息失败 Error=%u",
                 os::last_error());
    }
    os::LogonAccount account;
    if (!os::logon_account(&account)) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "取登录用户失败 Error=%u",
                 os::last_error());
    }
    logon.user = account.user;
    logon.domain = membership.joined ? membership.domain : std::string();
    logon.domain_logon = membership.joined && account.domain_account;
    LogTrace(kFunction, kTraceInfo, kTraceSource, __LINE__, "用户 %s 域 %s 域登录 %s",
             logon.user.c_str(), logon.domain.c_str(), logon.domain_logon ? "Yes" : "No");
    return logon;
}

std::string reply_text(const Logon& logon) {
    const Document document(cutil_xml_import("<Result/>", kTraceSource, kFunction, __LINE__));
    if (!document) return {};
    XmlNode* root = document.get();
    const bool built =
        cutil_xml_add(root, nullptr, "Result/CheckType") > 0 &&
        cutil_xml_add(root, logon.domain_logon ? "Yes" : "No", "Result/CheckType/Result") > 0 &&
        cutil_xml_add(root, nullptr, "Result/Info") > 0 &&
        cutil_xml_add(root, logon.user.c_str(), "Result/Info/CurLogonUser") > 0 &&
        cutil_xml_add(root, logon.domain.c_str(), "Result/Info/DomainName") > 0;
    if (!built) return {};
    const int size = cutil_xml_export(root, nullptr, 0);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    if (cutil_xml_export(root, &text[0], size) <= 0) return {};
    text.resize(std::strlen(text.c_str()));
    return text;
}

}  // namespace domain_check
