// The repair page in a real browser: headless Chromium loads it, its script
// posts the form to a listener on the loopback, and the server side receives
// exactly the bytes of the result and the credentials, whatever characters
// they hold. Native only: under Wine the page file itself is compared.
#if !defined(_WIN32)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/gbk.h"
#include "tests/autocheck/check/repair_page_fixture.h"

namespace {

using namespace repair_test;
namespace fs = std::filesystem;

constexpr char kChromium[] = "/usr/bin/chromium";

// Listens on 127.0.0.1 for one request, answers it and stops.
class OneRequestListener {
  public:
    OneRequestListener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(socket_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            listen(socket_, 8) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~OneRequestListener() { close(socket_); }
    int port() const { return port_; }

    // The request (headers and as much body as Content-Length says), or ""
    // when none came in time.
    std::string request(int timeout_ms) {
        pollfd waiting{socket_, POLLIN, 0};
        const int connection =
            poll(&waiting, 1, timeout_ms) > 0 ? accept(socket_, nullptr, nullptr) : -1;
        std::string text;
        char chunk[4096];
        for (pollfd readable{connection, POLLIN, 0};
             connection >= 0 && poll(&readable, 1, 5000) > 0;) {
            const ssize_t got = read(connection, chunk, sizeof chunk);
            if (got <= 0) break;
            text.append(chunk, static_cast<std::size_t>(got));
            const std::size_t end = text.find("\r\n\r\n");
            const std::size_t field = text.find("Content-Length: ");
            const std::size_t body =
                field < end ? std::strtoul(text.c_str() + field + 16, nullptr, 10) : 0;
            if (end != std::string::npos && text.size() >= end + 4 + body) break;
        }
        static const char kReply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
        if (connection >= 0) {
            (void)!write(connection, kReply, sizeof kReply - 1);
            close(connection);
        }
        return text;
    }

  private:
    int socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
};

// "name=value" lines of an application/x-www-form-urlencoded body.
std::string decode_form(const std::string& body) {
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '%' && i + 2 < body.size()) {
            out += static_cast<char>(std::strtoul(body.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += body[i] == '+' ? ' ' : body[i] == '&' ? '\n' : body[i];
        }
    }
    return out + "\n";
}

TEST_F(RepairPageTest, BrowserPostsTheOriginalBytesToTheSubmitAddress) {
    if (!fs::exists(kChromium)) {
        GTEST_SKIP() << kChromium << " is missing (Debian package chromium): the page is not "
                     << "loaded in a browser";
    }
    OneRequestListener listener;
    ASSERT_NE(0, listener.port());
    const std::string web_url = "http://127.0.0.1:" + std::to_string(listener.port());
    config_["WebUrl"] = web_url.c_str();
    apply_config();
    const XmlDocument result = two_entry_result();
    ASSERT_NE(nullptr, open_page(result.get(), 0));

    const fs::path profile = fs::path(home_.appdata()) / "browser-profile";
    const std::string profile_option = "--user-data-dir=" + profile.string();
    const std::string url = "file://" + home_.path("RepairPage.html");
    // --dump-dom: the browser ends by itself once the server's answer is
    // loaded. Its own chatter goes nowhere.
    const char* const arguments[] = {"-c",
                                     "exec \"$0\" \"$@\" >/dev/null 2>&1",
                                     kChromium,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     profile_option.c_str(),
                                     "--dump-dom",
                                     url.c_str(),
                                     nullptr};
    const os::Handle browser = os::process_spawn("/bin/sh", arguments);
    ASSERT_NE(nullptr, browser);
    const std::string request = listener.request(60000);
    if (!os::handle_wait(browser, 30000)) os::process_terminate(browser, 0);
    os::handle_close(browser);
    ASSERT_EQ(0u, request.rfind("POST /mod/client_check/submit.php ", 0)) << request;

    EXPECT_GBK_EQ(std::string("deviceid=7\nroleid=3\npolicyid=12\nitemsid=11###||###12\n"
                              "checkres=<?xml version=\"1.0\" encoding=\"gbk\"?>  <Result>  "
                              "\t<ItemID>11</ItemID>  \t<Message>第一行  第二行 'q' \"d\" "
                              "a&amp;b&lt;c&gt;</Message>  </Result>  ###||###"
                              "<?xml version=\"1.0\" encoding=\"gbk\"?>  <Result>  "
                              "\t<ItemID>12</ItemID>  \t<Res>1</Res>  </Result>  \n"
                              "processtime=9\nuser_name=张三\npassword=") +
                      kPassword +
                      "\nis_auto_auth=No\nis_safecheck=1\ncheck_from=assistant\n"
                      "auth_type=User\nrepair=1\nfrom=assistant\n",
                  decode_form(request.substr(request.find("\r\n\r\n") + 4)));
}

}  // namespace

#endif
