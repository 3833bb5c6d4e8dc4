#include "siblings/QuarnCommon/device_info.h"

#include <cstring>
#include <memory>

#include "cutil/trace.h"
#include "cutil/xml.h"
#include "os/account.h"
#include "os/error.h"
#include "os/machine.h"

namespace device_info {
namespace {

constexpr char kDescribe[] = "GetDeviceInfo";
using Document = std::unique_ptr<XmlNode, XmlDocumentDeleter>;

const char* yes_no(bool value) {
    return value ? "Yes" : "No";
}

bool holds(const os::NetworkAdapter& adapter, const std::string& address) {
    for (const std::string& ip : adapter.ipv4) {
        if (ip == address) return true;
    }
    return false;
}

}  // namespace

bool parse_argument(const char* argument, ServerAddress* server) {
    if (argument == nullptr) return false;
    const Document document(cutil_xml_import(argument, kTraceSource, kDescribe, __LINE__));
    if (!document) return false;
    const char* host = cutil_xml_get(document.get(), "QUARN/ServerIp");
    if (host == nullptr || *host == '\0') return false;
    server->host = host;
    const int port = cutil_xml_get_int(document.get(), "QUARN/Port");
    server->port = port > 0 && port <= 65535 ? port : 0;
    return true;
}

Device describe(const ServerAddress* server) {
    Device device;
    if (!os::computer_name(&device.computer_name)) {
        LogTrace(kDescribe, kTraceError, kTraceSource, __LINE__, "取计算机名失败 Error=%u",
                 os::last_error());
    }
    os::system_product_name(&device.os_name);
    os::system_release(&device.os_version);
    os::LogonAccount account;
    if (os::logon_account(&account)) {
        device.user_name = account.user;
        device.domain_name = account.domain;
    } else {
        LogTrace(kDescribe, kTraceError, kTraceSource, __LINE__, "取登录用户失败 Error=%u",
                 os::last_error());
    }
    if (!os::network_adapters(&device.adapters)) {
        LogTrace(kDescribe, kTraceError, kTraceSource, __LINE__, "取网卡信息失败 Error=%u",
                 os::last_error());
    }
    // Connecting wants a port; the route does not depend on it.
    if (server != nullptr &&
        !os::network_route_source(server->host.c_str(), server->port > 0 ? server->port : 80,
                                  &device.route_address)) {
        LogTrace(kDescribe, kTraceError, kTraceSource, __LINE__, "没有到服务器 %s 的路由 Error=%u",
                 server->host.c_str(), os::last_error());
    }
    return device;
}

std::string reply_text(const Device& device) {
    const Document document(cutil_xml_import("<QUARN/>", kTraceSource, kDescribe, __LINE__));
    if (!document) return {};
    XmlNode* root = document.get();
    const os::NetworkAdapter* routed = nullptr;
    for (const os::NetworkAdapter& adapter : device.adapters) {
        if (!device.route_address.empty() && holds(adapter, device.route_address)) {
            routed = &adapter;
            break;
        }
    }
    bool built =
        cutil_xml_add(root, device.computer_name.c_str(), "QUARN/ComputerName") > 0 &&
        cutil_xml_add(root, nullptr, "QUARN/OS") > 0 &&
        cutil_xml_add(root, device.os_name.c_str(), "QUARN/OS/Name") > 0 &&
        cutil_xml_add(root, device.os_version.c_str(), "QUARN/OS/Version") > 0 &&
        cutil_xml_add(root, device.user_name.c_str(), "QUARN/UserName") > 0 &&
        cutil_xml_add(root, device.domain_name.c_str(), "QUARN/DomainName") > 0 &&
        cutil_xml_add(root, routed != nullptr ? routed->mac.c_str() : "", "QUARN/Mac") > 0 &&
        cutil_xml_add(root, device.route_address.c_str(), "QUARN/IP") > 0 &&
        cutil_xml_add(root, nullptr, "QUARN/Adapters") > 0;
    int index = 0;
    for (const os::NetworkAdapter& adapter : device.adapters) {
        if (!built) break;
        index = cutil_xml_add(root, nullptr, "QUARN/Adapters/Adapter");
        built =
            index > 0 &&
            cutil_xml_add(root, adapter.name.c_str(), "QUARN/Adapters/Adapter[%d]/Name", index) >
                0 &&
            cutil_xml_add(root, adapter.description.c_str(),
                          "QUARN/Adapters/Adapter[%d]/Description", index) > 0 &&
            cutil_xml_add(root, adapter.mac.c_str(), "QUARN/Adapters/Adapter[%d]/Mac", index) > 0 &&
            cutil_xml_add(root, yes_no(adapter.loopback), "QUARN/Adapters/Adapter[%d]/Loopback",
                          index) > 0 &&
            cutil_xml_add(root, yes_no(adapter.up), "QUARN/Adapters/Adapter[%d]/Up", index) > 0 &&
            cutil_xml_add(root, yes_no(&adapter == routed), "QUARN/Adapters/Adapter[%d]/ToServer",
                          index) > 0;
        for (const std::string& ip : adapter.ipv4) {
            built = built &&
                    cutil_xml_add(root, ip.c_str(), "QUARN/Adapters/Adapter[%d]/IP", index) > 0;
        }
    }
    if (!built) return {};
    const int size = cutil_xml_export(root, nullptr, 0);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    if (cutil_xml_export(root, &text[0], size) <= 0) return {};
    text.resize(std::strlen(text.c_str()));
    return text;
}

}  // namespace device_info
