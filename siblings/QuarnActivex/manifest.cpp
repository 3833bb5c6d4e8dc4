#include "siblings/QuarnActivex/manifest.h"

namespace activex {
namespace {

constexpr char kHeader[] = "QUARN-MODULE-MANIFEST 1";
constexpr char kTagPrefix[] = "HMAC-SHA256 ";

bool parse_hex(const std::string& text, os::Sha256Digest* digest) {
    if (text.size() != 2 * os::kSha256Size) return false;
    for (std::size_t i = 0; i < os::kSha256Size; ++i) {
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

std::string tag_hex(const std::string& key, const std::string& body) {
    os::Sha256Digest tag{};
    if (!os::hmac_sha256({key.data(), key.size()}, {{body.data(), body.size()}}, tag)) return {};
    return os::digest_hex(tag);
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

}  // namespace

const char* manifest_check_text(ManifestCheck check) {
    switch (check) {
        case ManifestCheck::kValid:
            return "校验通过";
        case ManifestCheck::kMalformed:
            return "清单格式错误";
        case ManifestCheck::kBadTag:
            return "清单签名不符";
        case ManifestCheck::kNotListed:
            return "清单中没有该模块";
        case ManifestCheck::kMismatch:
            return "模块摘要与清单不符";
    }
    return "";
}

std::string manifest_text(const std::vector<ManifestEntry>& entries, const std::string& key) {
    std::string body = std::string(kHeader) + "\n";
    for (const ManifestEntry& entry : entries) {
        if (!valid_name(entry.name)) return {};
        body += os::digest_hex(entry.digest) + "  " + entry.name + "\n";
    }
    const std::string tag = tag_hex(key, body);
    if (tag.empty()) return {};
    return body + kTagPrefix + tag + "\n";
}

ManifestCheck listed_digest(const std::string& text, const std::string& key,
                            const std::string& name, os::Sha256Digest* listed) {
    // The tag line is the last line; the tag covers everything before it.
    std::string trimmed = text;
    if (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
    if (!trimmed.empty() && trimmed.back() == '\r') trimmed.pop_back();
    const std::size_t tag_line = trimmed.rfind('\n');
    if (tag_line == std::string::npos) return ManifestCheck::kMalformed;
    const std::string body = trimmed.substr(0, tag_line + 1);
    const std::string tag_text = trimmed.substr(tag_line + 1);
    os::Sha256Digest tag{};
    if (tag_text.compare(0, sizeof kTagPrefix - 1, kTagPrefix) != 0 ||
        !parse_hex(tag_text.substr(sizeof kTagPrefix - 1), &tag)) {
        return ManifestCheck::kMalformed;
    }
    os::Sha256Digest expected{};
    if (!os::hmac_sha256({key.data(), key.size()}, {{body.data(), body.size()}}, expected) ||
        !os::tags_equal(expected.data(), tag.data(), tag.size())) {
        return ManifestCheck::kBadTag;
    }

    // Authentic from here on; still read strictly.
    const std::vector<std::string> lines = lines_of(body);
    if (lines.empty() || lines.front() != kHeader) return ManifestCheck::kMalformed;
    const ManifestEntry* found = nullptr;
    std::vector<ManifestEntry> entries(lines.size() - 1);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        ManifestEntry& entry = entries[i - 1];
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

ManifestCheck check_manifest(const std::string& text, const std::string& key,
                             const std::string& name, const os::Sha256Digest& digest) {
    os::Sha256Digest listed{};
    const ManifestCheck check = listed_digest(text, key, name, &listed);
    if (check != ManifestCheck::kValid) return check;
    return os::tags_equal(listed.data(), digest.data(), digest.size()) ? ManifestCheck::kValid
                                                                       : ManifestCheck::kMismatch;
}

}  // namespace activex
