// Remote plug-ins through CallOneModuleFuncA, the real module-call component
// and the real HTTP client module: fetched from the loopback test server,
// verified against the download directory's manifest signed by the server's
// key, never older than one accepted before, cached under their digest; and
// the local paths the component refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "interface/config_access.h"
#include "interface/module_call.h"
#include "interface/trust_settings.h"
#include "os/crypto.h"
#include "os/module.h"
#include "siblings/QuarnActivex/manifest.h"
#include "siblings/QuarnActivex/module_fetch.h"
#include "support/system_tool.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"
#include "tests/siblings/http_client/server/test_server.h"

namespace {

using namespace quarn::test;
namespace fs = std::filesystem;

constexpr char kPlugin[] = "QuarnSamplePlugin.dll";

os::EcdsaPrivateKey new_key() {
    os::EcdsaPrivateKey key{};
    EXPECT_TRUE(os::ecdsa_generate(key));
    return key;
}

// The server's signing key; endpoints get only its public half.
const os::EcdsaPrivateKey& server_key() {
    static const os::EcdsaPrivateKey key = new_key();
    return key;
}

void configure_sign_key(const os::EcdsaPrivateKey& key = server_key()) {
    Call_TarnWriteConfig(kModuleSignKeyName,
                         activex::public_key_text(os::ecdsa_public_of(key)).c_str());
    Call_TarnWriteConfig(kSecurityDowngradeName, "0");
}

os::Sha256Digest digest_of(const std::string& bytes) {
    os::Sha256Digest digest{};
    os::sha256({{bytes.data(), bytes.size()}}, digest);
    return digest;
}

std::string cached_name(const std::string& bytes) {
    return "QuarnSamplePlugin-" + os::digest_hex(digest_of(bytes)) + ".dll";
}

class ModuleDownload : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new TestServer;
        home_ = new AssistantHome;
        home_->add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll");
        home_->add(program_dir() + "QuarnHttpClient.dll", "QuarnHttpClient.dll");
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;  // the home stays: its modules stay loaded
    }
    void SetUp() override {
        ASSERT_TRUE(server_->ready());
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        plugin_ = file_text(fake_path(kPlugin));
        ASSERT_FALSE(plugin_.empty());
        traces_.clear();
    }

    // Serves `module` and a manifest at `version` listing `listed` (the
    // module's own bytes when empty) signed with `key` in the server folder
    // `folder`; its URL.
    std::string serve(const std::string& folder, const std::string& module,
                      const os::EcdsaPrivateKey& key = server_key(), std::string listed = {},
                      std::uint64_t version = 1) {
        fs::create_directories(server_->folder() + folder);
        const std::string base = server_->folder() + folder + "/";
        EXPECT_TRUE(write_file(base + kPlugin, module));
        if (listed.empty()) listed = module;
        const std::string manifest = activex::manifest_text(
            {{"Other.dll", digest_of("other")}, {kPlugin, digest_of(listed)}}, version, key);
        EXPECT_TRUE(write_file(base + activex::kManifestName, manifest));
        return server_->url("/files/" + folder + "/" + kPlugin);
    }

    // CallOneModuleFuncA's result and the text handed back.
    static std::pair<int, std::string> call(const std::string& module) {
        char* text = nullptr;
        const int code = CallOneModuleFuncA(module.c_str(), "<a/>", "CheckSample", &text);
        const std::string given = text != nullptr ? text : "(none)";
        std::free(text);
        return {code, given};
    }

    // The download cache as this program names it.
    static fs::path cache() { return fs::path(home_->dir()) / activex::kCacheFolder; }
    static bool cached(const std::string& bytes) {
        return fs::exists(cache() / cached_name(bytes));
    }
    // Loaded by the component under its cache name.
    static bool loaded(const std::string& bytes) {
        return os::module_find(cached_name(bytes).c_str()) != nullptr;
    }

    static TestServer* server_;
    static AssistantHome* home_;
    FakeModule config_;
    TraceCapture traces_;
    std::string plugin_;
};

TestServer* ModuleDownload::server_ = nullptr;
AssistantHome* ModuleDownload::home_ = nullptr;

TEST_F(ModuleDownload, VerifiedPluginIsCalledAndANewVersionLoadsBesideTheOld) {
    configure_sign_key();
    const std::string url = serve("v", plugin_);
    const auto [code, answer] = call(url);
    EXPECT_EQ(1, code) << answer;
    EXPECT_NE(std::string::npos, answer.find("<Result>Yes</Result>")) << answer;
    EXPECT_TRUE(loaded(plugin_));

    // A new build of the same plug-in (other bytes, same exports) while the
    // first stays loaded: both are kept, each under its own digest.
    const std::string second = plugin_ + std::string(64, '\x5a');
    serve("v", second, server_key(), {}, 2);
    EXPECT_EQ(1, call(url).first);
    EXPECT_TRUE(loaded(second));
    EXPECT_TRUE(loaded(plugin_));
    EXPECT_TRUE(cached(plugin_) && cached(second));
    EXPECT_EQ(1, call(url).first);  // an unchanged version reuses its file
    for (const auto& entry : fs::directory_iterator(cache())) {
        EXPECT_EQ(std::string::npos, entry.path().string().find(".download")) << entry.path();
    }
    EXPECT_TRUE(traces_.find("CallOneModuleFunc", "警告").empty());
}

TEST_F(ModuleDownload, ModuleOrManifestThatDoesNotMatchIsNeverLoaded) {
    configure_sign_key();
    // What the endpoint holds: the deployment's shared CryptKey and the
    // server's public key. The manifest used to be an HMAC under CryptKey.
    const std::string crypt_key = "\xc3\xdc key";
    Call_TarnWriteConfig("CryptKey", crypt_key.c_str());
    struct Row {
        const char* name;
        std::string served;  // the module the server gives
        os::EcdsaPrivateKey key;
        std::string listed;  // the bytes whose digest it lists
        const char* why;     // the refusal's reason
    };
    const std::string tampered = plugin_ + "x";
    // A listed version no earlier test cached, so the tampered bytes are
    // really fetched (a cached copy of the listed version would be used).
    const std::string listed_only = plugin_ + "listed";
    const Row rows[] = {
        {"tampered_module", tampered, server_key(), listed_only, "模块摘要与清单不符"},
        {"manifest_other_key", tampered, new_key(), tampered, "清单签名不符"},
        {"tampered_manifest", tampered, server_key(), plugin_, "清单签名不符"},
        {"endpoint_key_forgery", tampered, server_key(), tampered, "清单格式错误"},
        {"no_manifest", tampered, server_key(), tampered, "下载清单失败"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        traces_.clear();
        const std::string url = serve(row.name, row.served, row.key, row.listed);
        const std::string manifest = server_->folder() + row.name + "/" + activex::kManifestName;
        if (std::string(row.name) == "endpoint_key_forgery") {
            // The old format, tagged under the endpoint's own CryptKey.
            const std::string body = "QUARN-MODULE-MANIFEST 1\n" +
                                     os::digest_hex(digest_of(tampered)) + "  " + kPlugin + "\n";
            os::Sha256Digest tag{};
            os::hmac_sha256({crypt_key.data(), crypt_key.size()}, {{body.data(), body.size()}},
                            tag);
            write_file(manifest, body + "HMAC-SHA256 " + os::digest_hex(tag) + "\n");
        } else if (std::string(row.name) == "tampered_manifest") {
            // Swap in the served module's digest and keep the old tag.
            std::string text = file_text(manifest);
            const std::string old_hex = os::digest_hex(digest_of(plugin_));
            text.replace(text.find(old_hex), old_hex.size(), os::digest_hex(digest_of(tampered)));
            write_file(manifest, text);
        } else if (std::string(row.name) == "no_manifest") {
            fs::remove(manifest);
        }
        EXPECT_EQ(0, call(url).first);
        EXPECT_FALSE(loaded(tampered));
        EXPECT_FALSE(cached(tampered));
        const std::string expected = std::string("拒绝加载模块 ") + kPlugin + ": " + row.why;
        EXPECT_EQ(1u, traces_.find("CallOneModuleFunc", expected.c_str()).size());
    }
}

TEST_F(ModuleDownload, AnOlderManifestIsRefusedEvenWhenValidlySigned) {
    configure_sign_key();
    const std::string current = plugin_ + "current";
    const std::string older = plugin_ + "older";
    const std::string url = serve("rollback", current, server_key(), {}, 7);
    EXPECT_EQ(1, call(url).first);
    serve("rollback", older, server_key(), {}, 6);
    EXPECT_EQ(0, call(url).first);
    EXPECT_FALSE(loaded(older));
    EXPECT_EQ(1u, traces_
                      .find("CallOneModuleFunc",
                            "拒绝加载模块 QuarnSamplePlugin.dll: 清单版本低于已接受的版本")
                      .size());
    // The same version again is the manifest already accepted.
    serve("rollback", current, server_key(), {}, 7);
    EXPECT_EQ(1, call(url).first);
}

// quarnctl manifest, run as a server's administrator would: a new key, then
// the manifest of a download folder — the files it offers and nothing of its
// temporary files, hidden files or sub-folders — which the component accepts.
TEST_F(ModuleDownload, QuarnctlManifestSignsWhatTheFolderOffers) {
    const std::string quarnctl = program_dir() + "quarnctl.exe";
    const std::string folder = server_->folder() + "signed";
    const std::string key_file = server_->folder() + "signer.key";
    const std::string module = plugin_ + "signed by quarnctl";
    fs::create_directories(folder + "/sub");
    for (const char* name : {"x.part", ".hidden", "y.tmp", "sub/Other.dll"}) {
        ASSERT_TRUE(write_file(folder + "/" + name, name));
    }
    ASSERT_TRUE(write_file(folder + "/" + kPlugin, module));
    ASSERT_EQ(0, run_program(quarnctl, {"manifest", "--new-key", key_file.c_str()}));
    EXPECT_EQ(1, run_program(quarnctl, {"manifest", "--new-key", key_file.c_str()}));
    os::EcdsaPrivateKey key{};
    ASSERT_TRUE(activex::parse_private_key(file_text(key_file), &key));
    EXPECT_EQ(2, run_program(quarnctl, {"manifest", folder.c_str(), key_file.c_str(), "0"}));
    EXPECT_EQ(1, run_program(quarnctl, {"manifest", (folder + "/none").c_str(), key_file.c_str()}));
    ASSERT_EQ(0, run_program(quarnctl, {"manifest", folder.c_str(), key_file.c_str(), "5"}));

    const std::string text = file_text(folder + "/" + activex::kManifestName);
    const os::EcdsaPublicKey public_key = os::ecdsa_public_of(key);
    os::Sha256Digest listed{};
    std::uint64_t version = 0;
    EXPECT_EQ(activex::ManifestCheck::kValid,
              activex::listed_digest(text, public_key, kPlugin, &listed, &version));
    EXPECT_EQ(digest_of(module), listed);
    EXPECT_EQ(5u, version);
    for (const char* name : {"x.part", ".hidden", "y.tmp", "sub", "Other.dll", "signer.key"}) {
        EXPECT_EQ(activex::ManifestCheck::kNotListed,
                  activex::listed_digest(text, public_key, name, &listed, &version))
            << name;
    }
    configure_sign_key(key);
    EXPECT_EQ(1, call(server_->url("/files/signed/" + std::string(kPlugin))).first);
    EXPECT_TRUE(loaded(module));
    configure_sign_key();
}

TEST_F(ModuleDownload, WithoutTheServerKeyNothingLoadsUnlessDowngraded) {
    const std::string unlisted = plugin_ + "unverified";
    const std::string url = serve("nokey", unlisted, new_key(), "not this module");
    struct Row {
        const char* sign_key;
        const char* downgrade;
        int code;
        const char* trace;
    };
    const Row rows[] = {
        {"", "0", 0, "拒绝加载模块 QuarnSamplePlugin.dll: 没有配置ModuleSignKey"},
        {"", "yes", 0, "拒绝加载模块 QuarnSamplePlugin.dll: 没有配置ModuleSignKey"},
        {"not a key", "1", 0, "拒绝加载模块 QuarnSamplePlugin.dll: ModuleSignKey无效"},
        {"", "1", 1, "警告: 已设置SecurityDowngrade, 模块 QuarnSamplePlugin.dll 未经校验即加载"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.sign_key) + "/" + row.downgrade);
        traces_.clear();
        Call_TarnWriteConfig(kModuleSignKeyName, row.sign_key);
        Call_TarnWriteConfig(kSecurityDowngradeName, row.downgrade);
        EXPECT_EQ(row.code, call(url).first);
        EXPECT_EQ(row.code == 1, loaded(unlisted));
        EXPECT_EQ(1u, traces_.find("CallOneModuleFunc", row.trace).size());
    }
}

TEST_F(ModuleDownload, LocalModulesLoadOnlyFromTheAssistantDirectory) {
    // A real plug-in in a folder of its own, outside every trusted folder.
    const fs::path outside =
        fs::temp_directory_path() / ("quarn-outside-" + std::to_string(std::rand()));
    fs::create_directories(outside);
    fs::copy_file(fake_path(kPlugin), outside / kPlugin, fs::copy_options::overwrite_existing);
    const std::string refused[] = {
        (outside / kPlugin).string(),
        "\\\\127.0.0.1\\share\\" + std::string(kPlugin),
        "//127.0.0.1/share/" + std::string(kPlugin),
        "C:" + std::string(kPlugin),
        "..\\" + std::string(kPlugin),
        server_->url("/files/v/" + std::string(kPlugin) + "?v=2"),  // no cache file name
    };
    for (const std::string& path : refused) {
        SCOPED_TRACE(path);
        traces_.clear();
        EXPECT_EQ(0, call(path).first);
        EXPECT_EQ(1u, traces_.find("CallOneModuleFunc", "拒绝加载模块").size());
    }
    EXPECT_EQ(nullptr, os::module_find(kPlugin));
    // A bare name is the assistant directory's module.
    EXPECT_EQ(0, call(kPlugin).first);  // not there yet, and not looked for elsewhere
    ASSERT_TRUE(home_->add(fake_path(kPlugin), kPlugin));
    EXPECT_EQ(1, call(kPlugin).first);
    EXPECT_EQ(1, call(home_->path(kPlugin)).first);
    std::error_code ignored;
    fs::remove_all(outside, ignored);
}

TEST(ModuleManifest, SignatureCoversEveryListedByteAndNamesCompareWithoutCase) {
    const os::Sha256Digest digest = digest_of("module");
    const os::EcdsaPrivateKey& key = server_key();
    const os::EcdsaPublicKey public_key = os::ecdsa_public_of(key);
    const std::string text = activex::manifest_text({{"A.dll", digest}}, 3, key);
    std::string crlf = text;
    for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2)) {
        crlf.insert(at, "\r");
    }
    std::string retagged = activex::manifest_text({{"A.dll", digest}, {"a.DLL", digest}}, 3, key);
    std::string other_version = text;
    other_version.replace(other_version.find("Version 3"), 9, "Version 4");
    // What an endpoint holds put where the signature goes: its public key
    // (64 bytes, a signature's size) and an HMAC under its CryptKey, twice.
    const std::string body = text.substr(0, text.rfind("ECDSA"));
    os::Sha256Digest hmac{};
    os::hmac_sha256({"k", 1}, {{body.data(), body.size()}}, hmac);
    os::Sha256Digest x{}, y{};
    std::copy_n(public_key.begin(), 32, x.begin());
    std::copy_n(public_key.begin() + 32, 32, y.begin());
    const std::string public_hex = os::digest_hex(x) + os::digest_hex(y);
    struct Row {
        std::string text;
        const char* name;
        activex::ManifestCheck expected;
    };
    const Row rows[] = {
        {text, "a.dll", activex::ManifestCheck::kValid},
        {text, "B.dll", activex::ManifestCheck::kNotListed},
        {text + "extra\n", "A.dll", activex::ManifestCheck::kMalformed},
        {"X" + text, "A.dll", activex::ManifestCheck::kBadTag},
        {other_version, "A.dll", activex::ManifestCheck::kBadTag},  // the version is signed
        {crlf, "A.dll", activex::ManifestCheck::kBadTag},  // the signature covers the bytes as sent
        {retagged, "A.dll", activex::ManifestCheck::kMalformed},  // listed twice
        {body + "ECDSA-P256-SHA256 " + public_hex + "\n", "A.dll", activex::ManifestCheck::kBadTag},
        {body + "ECDSA-P256-SHA256 " + os::digest_hex(hmac) + os::digest_hex(hmac) + "\n", "A.dll",
         activex::ManifestCheck::kBadTag},
        {"", "A.dll", activex::ManifestCheck::kMalformed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.expected, activex::check_manifest(row.text, public_key, row.name, digest));
    }
    EXPECT_EQ(activex::ManifestCheck::kMismatch,
              activex::check_manifest(text, public_key, "A.dll", digest_of("other")));
    EXPECT_EQ("", activex::manifest_text({{"sub/A.dll", digest}}, 3, key));
    EXPECT_EQ("", activex::manifest_text({{"A.dll", digest}}, 0, key));
    // Keys as text: the public key round-trips, a short or foreign text does not parse.
    os::EcdsaPublicKey parsed{};
    EXPECT_TRUE(activex::parse_public_key(activex::public_key_text(public_key) + "\r\n", &parsed));
    EXPECT_EQ(public_key, parsed);
    EXPECT_FALSE(activex::parse_public_key(activex::private_key_text(key), &parsed));
    EXPECT_FALSE(activex::parse_public_key("AAAA", &parsed));
}

}  // namespace
