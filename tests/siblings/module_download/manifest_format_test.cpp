// The module manifest's own reading: what a validly signed manifest may hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

#include "os/crypto.h"
#include "siblings/QuarnActivex/manifest.h"

namespace {

// A manifest the server's key really signed is still read strictly: the
// version is 1 to 2^63 - 1 in plain decimal, an entry is 64 hex digits (either
// case), two spaces and a name without outer blanks.
TEST(ModuleManifest, SignedButMalformedManifestIsRefused) {
    os::EcdsaPrivateKey key{};
    ASSERT_TRUE(os::ecdsa_generate(key));
    const std::string head = "QUARN-MODULE-MANIFEST 2\nVersion ";
    const os::Sha256Digest digest = {0x09, 0xaf, 0xf0, 0x9a};
    const std::string hex = os::digest_hex(digest);
    std::string upper = hex;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    const std::string entry = hex + "  A.dll\n";
    struct Row {
        std::string body;
        std::uint64_t version;  // 0: refused as malformed
    };
    const Row rows[] = {
        {head + "9223372036854775807\n" + entry, 9223372036854775807u},
        {head + "10\n" + upper + "  A.dll\n", 10},
        {head + "7\n" + hex + "  x\n" + entry, 7},  // a name of one character
        {head + "9223372036854775808\n" + entry, 0},
        {head + "18446744073709551617\n" + entry, 0},  // 2^64 + 1
        {head + "0\n" + entry, 0},
        {head + "07\n" + entry, 0},
        {head + "7a\n" + entry, 0},
        {head + "\n" + entry, 0},
        {head + "7\n" + hex.substr(1) + "g  A.dll\n", 0},
        {head + "7\n" + hex + " A.dll\n", 0},
        {head + "7\n" + hex + "   A.dll\n", 0},
        {head + "7\n" + hex + "  A.dll \n", 0},
        {"QUARN-MODULE-MANIFEST 1\nVersion 7\n" + entry, 0},
        {"QUARN-MODULE-MANIFEST 2\n", 0},
    };
    const os::EcdsaPublicKey public_key = os::ecdsa_public_of(key);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.body);
        os::EcdsaSignature signature{};
        ASSERT_TRUE(os::ecdsa_sign(key, {{row.body.data(), row.body.size()}}, signature));
        os::Sha256Digest r{}, s{};
        std::copy_n(signature.begin(), 32, r.begin());
        std::copy_n(signature.begin() + 32, 32, s.begin());
        const std::string text =
            row.body + "ECDSA-P256-SHA256 " + os::digest_hex(r) + os::digest_hex(s) + "\n";
        os::Sha256Digest listed{};
        std::uint64_t version = 0;
        const auto check = activex::listed_digest(text, public_key, "a.dll", &listed, &version);
        EXPECT_EQ(
            row.version == 0 ? activex::ManifestCheck::kMalformed : activex::ManifestCheck::kValid,
            check);
        if (row.version != 0) {
            EXPECT_EQ(row.version, version);
            EXPECT_EQ(digest, listed);
        }
    }
    // A key's text is read with blanks and line ends around it.
    os::EcdsaPublicKey parsed{};
    EXPECT_TRUE(
        activex::parse_public_key(" \t" + activex::public_key_text(public_key) + "\r\n", &parsed));
    EXPECT_EQ(public_key, parsed);
}

}  // namespace
