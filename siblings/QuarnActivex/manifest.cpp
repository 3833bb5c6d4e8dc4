#include "siblings/QuarnActivex/manifest.h"

#include <algorithm>
#include <mutex>

#include "cutil/base64.h"

namespace activex {
namespace {

constexpr char kHeader[] = "QUARN-MODULE-MANIFEST 2";
constexpr char kVersionPrefix[] = "Version ";
constexpr char kTagPrefix[] = "ECDSA-P256-SHA256 ";

template <std::size_t N>
bool parse_hex(const std::string& text, std::array<std::uint8_t, N>* digest) {
    if (text.size() != 2 * N) return false;
    for (std::size_t i = 0; i < N; ++i) {
        int value = 0;
        for (const char c : {text[2 * i], text[2 * i + 1]}) {
            int nibble = -1;
            if (c >= '0' && c <= '9') nibble = c - '0';
            if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
            if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
            if (nibble < 0) return false;
            value = value * 16 + nibble;
        }
        (*digest)[i] = static_cast<std::uint8_t>(value);
    }
    return true;
}

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool valid_name(const std::string& name) {
    return !name.empty() && name.find_first_of("\r\n\\/") == std::string::npos &&
           name.front() != ' ' && name.back() != ' ';
}

template <std::size_t N>
std::string hex_of(const std::array<std::uint8_t, N>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0f]);
    }
    return text;
}

// A version line's number: decimal digits only, 1 to 2^63 - 1.
bool parse_version(const std::string& line, std::uint64_t* version) {
    const std::size_t prefix = sizeof kVersionPrefix - 1;
    if (line.compare(0, prefix, kVersionPrefix) != 0 || line.size() == prefix ||
        line.size() > prefix + 19 || line[prefix] == '0') {
        return false;
    }
    std::uint64_t value = 0;
    for (std::size_t i = prefix; i < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(line[i] - '0');
    }
    *version = value;
    return value < (std::uint64_t{1} << 63);
}

template <std::size_t N>
std::string base64_of(const std::array<std::uint8_t, N>& bytes) {
    char text[4 * ((N + 2) / 3) + 9];
    cutil_base64_encode(bytes.data(), static_cast<int>(N), text, sizeof text);
    return text;
}

template <std::size_t N>
bool parse_base64(std::string text, std::array<std::uint8_t, N>* bytes) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    while (!text.empty() && blank(text.back())) text.pop_back();
    if (text.size() != 4 * ((N + 2) / 3) ||
        text.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") !=
            std::string::npos) {
        return false;
    }
    unsigned char decoded[N + 8];
    const int length =
        cutil_base64_decode(text.c_str(), static_cast<int>(text.size()), decoded, sizeof decoded);
    // Padding decodes as counted zero bytes; they must be the only extra.
    if (length < static_cast<int>(N) || length > static_cast<int>(N) + 2) return false;
    std::copy_n(decoded, N, bytes->begin());
    return true;
}

// The lines of `text`, without their "\n" or "\r\n".
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// A policy calls one plug-in for many items, and each call fetches the
// manifest again, mostly the same bytes: a body and tag found valid under a
// key are remembered, and the same three are not verified again. Only valid
// ones are kept.
bool signature_valid(const os::EcdsaPublicKey& key, const std::string& body,
                     const os::EcdsaSignature& signature) {
    struct Verified {
        os::EcdsaPublicKey key;
        os::EcdsaSignature signature;
        std::string body;
        bool used = false;
    };
    static std::mutex mutex;
    static Verified remembered[4];
    static std::size_t next = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        for (const Verified& known : remembered) {
            if (known.used && known.key == key && known.signature == signature &&
                known.body == body) {
                return true;
            }
        }
    }
    if (!os::ecdsa_verify(key, {{body.data(), body.size()}}, signature)) return false;
    const std::lock_guard<std::mutex> lock(mutex);
    remembered[next] = Verified{key, signature, body, true};
    next = (next + 1) % 4;
    return true;
}

}  // namespace

const char* manifest_check_text(ManifestCheck check) {
    switch (check) {
        case ManifestCheck::kValid:
            return "校验通过";
        case ManifestCheck::kMalformed:
            return "清单格式错误";
        case ManifestCheck::kBadTag:
            return "清单签名不符";
        case ManifestCheck::kOlder:
            return "清单版本低于已接受的版本";
        case ManifestCheck::kNotListed:
            return "清单中没有该模块";
        case ManifestCheck::kMismatch:
            return "模块摘要与清单不符";
    }
    return "";
}

std::string manifest_text(const std::vector<ManifestEntry>& entries, std::uint64_t version,
                          const os::EcdsaPrivateKey& key) {
    if (version == 0 || version >= (std::uint64_t{1} << 63)) return {};
    std::string body =
        std::string(kHeader) + "\n" + kVersionPrefix + std::to_string(version) + "\n";
    for (const ManifestEntry& entry : entries) {
        if (!valid_name(entry.name)) return {};
        body += os::digest_hex(entry.digest) + "  " + entry.name + "\n";
    }
    os::EcdsaSignature signature{};
    if (!os::ecdsa_sign(key, {{body.data(), body.size()}}, signature)) return {};
    return body + kTagPrefix + hex_of(signature) + "\n";
}

ManifestCheck listed_digest(const std::string& text, const os::EcdsaPublicKey& key,
                            const std::string& name, os::Sha256Digest* listed,
                            std::uint64_t* version) {
    // The tag line is the last line; the tag covers everything before it.
    std::string trimmed = text;
    if (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
    if (!trimmed.empty() && trimmed.back() == '\r') trimmed.pop_back();
    const std::size_t tag_line = trimmed.rfind('\n');
    if (tag_line == std::string::npos) return ManifestCheck::kMalformed;
    const std::string body = trimmed.substr(0, tag_line + 1);
    const std::string tag_text = trimmed.substr(tag_line + 1);
    os::EcdsaSignature signature{};
    if (tag_text.compare(0, sizeof kTagPrefix - 1, kTagPrefix) != 0 ||
        !parse_hex(tag_text.substr(sizeof kTagPrefix - 1), &signature)) {
        return ManifestCheck::kMalformed;
    }
    if (!signature_valid(key, body, signature)) return ManifestCheck::kBadTag;

    // Authentic from here on; still read strictly.
    const std::vector<std::string> lines = lines_of(body);
    if (lines.size() < 2 || lines[0] != kHeader || !parse_version(lines[1], version)) {
        return ManifestCheck::kMalformed;
    }
    const ManifestEntry* found = nullptr;
    std::vector<ManifestEntry> entries(lines.size() - 2);
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        ManifestEntry& entry = entries[i - 2];
        if (line.size() < 2 * os::kSha256Size + 3 || line.compare(2 * os::kSha256Size, 2, "  ") ||
            !parse_hex(line.substr(0, 2 * os::kSha256Size), &entry.digest)) {
            return ManifestCheck::kMalformed;
        }
        entry.name = line.substr(2 * os::kSha256Size + 2);
        if (!valid_name(entry.name)) return ManifestCheck::kMalformed;
        if (same_name(entry.name, name)) {
            if (found != nullptr) return ManifestCheck::kMalformed;  // listed twice
            found = &entry;
        }
    }
    if (found == nullptr) return ManifestCheck::kNotListed;
    *listed = found->digest;
    return ManifestCheck::kValid;
}

ManifestCheck check_manifest(const std::string& text, const os::EcdsaPublicKey& key,
                             const std::string& name, const os::Sha256Digest& digest) {
    os::Sha256Digest listed{};
    std::uint64_t version = 0;
    const ManifestCheck check = listed_digest(text, key, name, &listed, &version);
    if (check != ManifestCheck::kValid) return check;
    return os::tags_equal(listed.data(), digest.data(), digest.size()) ? ManifestCheck::kValid
                                                                       : ManifestCheck::kMismatch;
}

std::string public_key_text(const os::EcdsaPublicKey& key) {
    return base64_of(key);
}
std::string private_key_text(const os::EcdsaPrivateKey& key) {
    return base64_of(key);
}
bool parse_public_key(const std::string& text, os::EcdsaPublicKey* key) {
    return parse_base64(text, key);
}
bool parse_private_key(const std::string& text, os::EcdsaPrivateKey* key) {
    return parse_base64(text, key);
}

}  // namespace activex
