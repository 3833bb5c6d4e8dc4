// Texts put into URLs and URLs put into logs.
#include "cutil/url_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UrlText, SecretValuesAreMaskedAndEverythingElseKept) {
    const struct {
        const char* text;
        const char* masked;
    } rows[] = {
        {"http://h/a.php?user_name=dQ::&password=cGFzcw::&deviceid=12",
         "http://h/a.php?user_name=dQ::&password=***&deviceid=12"},
        {"?email=e&email_password=x#frag", "?email=e&email_password=***#frag"},
        {"<PostUrl>u?PassWord=abc</PostUrl>", "<PostUrl>u?PassWord=***</PostUrl>"},
        {"a?pwd=1 b?passwd=2\r\nc", "a?pwd=*** b?passwd=***\r\nc"},
        {"a?password=&b=1", "a?password=&b=1"},            // nothing to hide
        {"a?passwords=1&word=2", "a?passwords=1&word=2"},  // other names
        {"no query", "no query"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.masked, cutil_url_mask_secrets(row.text));
    EXPECT_EQ("", cutil_url_mask_secrets(nullptr));
}

TEST(UrlText, EscapedValueIsOneQueryValue) {
    EXPECT_EQ("12%26type%3DNoAuth%23", cutil_url_escape("12&type=NoAuth#"));
    EXPECT_EQ("aZ09-._~%20%0D%0A%C4%E3", cutil_url_escape("aZ09-._~ \r\n\xC4\xE3"));
    char out[8];
    EXPECT_TRUE(cutil_url_escape_to("a&b", out, sizeof out));
    EXPECT_STREQ("a%26b", out);
    EXPECT_FALSE(cutil_url_escape_to("a&b&", out, sizeof out));  // 8 and the terminator
    EXPECT_STREQ("", out);
}

TEST(UrlText, OnlyWebAddressesAreWeb) {
    const struct {
        const char* address;
        bool web;
    } rows[] = {
        {"http://h/p?a=1", true},
        {"HTTPS://h", true},
        {"http://", false},
        {"http:///etc/passwd", false},
        {"file:///C:/a.html", false},
        {"\\\\host\\share\\a.html", false},
        {"C:\\Users\\u\\run.bat", false},
        {"javascript:alert(1)", false},
        {"httpx://h", false},
        {"http://h/a b", false},
        {"http://h/a\"b", false},
        {"http://h/a\r\nb", false},
        {nullptr, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.web, cutil_url_is_web(row.address)) << (row.address ? row.address : "null");
    }
}

}  // namespace
