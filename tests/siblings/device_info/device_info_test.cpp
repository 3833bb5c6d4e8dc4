// GetDeviceInfo called as the agent calls it, through the module-call
// component with the server's address; the description must name this
// machine's adapters and mark the one that leads to the server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "cutil/xml.h"
#include "interface/module_call.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"

namespace {

using namespace quarn::test;

using Document = std::unique_ptr<XmlNode, XmlDocumentDeleter>;

std::string text_of(const XmlNode* document, const std::string& path) {
    const char* text = cutil_xml_get(document, "%s", path.c_str());
    return text != nullptr ? text : "(missing)";
}

class DeviceInfo : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
    }

    static Document describe(const char* argument, int* result) {
        char* text = nullptr;
        *result = CallOneModuleFuncA((program_dir() + "QuarnCommon.dll").c_str(), argument,
                                     "GetDeviceInfo", &text);
        Document document(text != nullptr ? cutil_xml_import_fre(text) : nullptr);
        std::free(text);
        return document;
    }

    AssistantHome home_;
};

TEST_F(DeviceInfo, LoopbackAdapterIsNamedAndMarkedForALoopbackServer) {
    const struct {
        const char* argument;
        const char* route;  // the IP the reply gives for the server, "" = none
    } rows[] = {
        {"<QUARN><ServerIp>127.0.0.1</ServerIp><Port>36537</Port></QUARN>", "127.0.0.1"},
        {"<QUARN><ServerIp>localhost</ServerIp><Port>80</Port></QUARN>", "127.0.0.1"},
        {"<QUARN><ServerIp>127.0.0.1</ServerIp><Port>x</Port></QUARN>", "127.0.0.1"},
        {"<QUARN><Port>80</Port></QUARN>", ""},
        {"<QUARN><ServerIp>no-such-host.invalid</ServerIp><Port>80</Port></QUARN>", ""},
        {"not a document", ""},
        {nullptr, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.argument != nullptr ? row.argument : "(null)");
        int result = 0;
        const Document reply = describe(row.argument, &result);
        EXPECT_EQ(1, result);
        ASSERT_TRUE(reply);
        EXPECT_STRNE("", cutil_xml_get(reply.get(), "QUARN/ComputerName"));
        EXPECT_STRNE("", cutil_xml_get(reply.get(), "QUARN/OS/Name"));
        EXPECT_STRNE("", cutil_xml_get(reply.get(), "QUARN/UserName"));
        EXPECT_EQ(row.route, text_of(reply.get(), "QUARN/IP"));

        int loopback = 0;
        int marked = 0;
        const int adapters = cutil_xml_count(reply.get(), "QUARN/Adapters/Adapter");
        for (int i = 1; i <= adapters; ++i) {
            const std::string adapter = "QUARN/Adapters/Adapter[" + std::to_string(i) + "]/";
            EXPECT_NE("(missing)", text_of(reply.get(), adapter + "Name"));
            const bool to_server = text_of(reply.get(), adapter + "ToServer") == "Yes";
            marked += to_server ? 1 : 0;
            bool holds_loopback = false;
            const int addresses = cutil_xml_count(reply.get(), "%s", (adapter + "IP").c_str());
            for (int a = 1; a <= addresses; ++a) {
                holds_loopback |=
                    text_of(reply.get(), adapter + "IP[" + std::to_string(a) + "]") == "127.0.0.1";
            }
            if (!holds_loopback) continue;
            ++loopback;
            EXPECT_EQ("Yes", text_of(reply.get(), adapter + "Loopback"));
            EXPECT_EQ(*row.route != '\0', to_server);
        }
        EXPECT_EQ(1, loopback);
        EXPECT_EQ(*row.route != '\0' ? 1 : 0, marked);
    }
}

}  // namespace
