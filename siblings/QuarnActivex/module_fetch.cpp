#include "siblings/QuarnActivex/module_fetch.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "cutil/markup.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/sibling_abi.h"
#include "interface/trust_settings.h"
#include "os/crypto.h"
#include "os/error.h"
#include "os/file.h"
#include "os/file_stamp.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/process.h"
#include "siblings/QuarnActivex/manifest.h"
#include "siblings/QuarnActivex/manifest_versions.h"
#include "siblings/QuarnActivex/module_location.h"

namespace activex {
namespace {

constexpr char kFunction[] = "CallOneModuleFunc";
constexpr char kSource[] = "QuarnActivex.cpp";

// Deletes a temporary file when it goes out of scope.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() { os::file_delete(path_.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

std::string unique_path(const std::string& folder, const std::string& name) {
    static std::atomic<unsigned> counter{0};
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%u-%u.download", static_cast<unsigned>(os::process_id()),
                  counter.fetch_add(1));
    return folder + name + suffix;
}

bool read_file(const std::string& path, std::string* bytes) {
    const os::Handle file = os::file_open_read(path.c_str(), os::kFileShareRead);
    if (file == nullptr) return false;
    std::uint64_t size = 0;
    bool ok = os::file_size(file, &size) && size <= (1u << 30);
    if (ok) bytes->assign(static_cast<std::size_t>(size), '\0');
    std::size_t done = 0;
    while (ok && done < bytes->size()) {
        std::size_t got = 0;
        ok = os::file_read(file, &(*bytes)[done], bytes->size() - done, &got) && got > 0;
        done += got;
    }
    os::file_close(file);
    return ok;
}

// The HTTP client of the process, or the one of the assistant directory.
os::Handle http_client() {
    os::Handle module = os::module_find(sibling::kHttpClientDll);
    if (module == nullptr) {
        char path[kPathSize];
        if (gateway::assistant_file_path(sibling::kHttpClientDll, path)) {
            module = os::module_load(path);
        }
    }
    return module;
}

sibling::HttpDownloadFileFunction http_download(os::Handle client) {
    if (client == nullptr) return nullptr;
    return reinterpret_cast<sibling::HttpDownloadFileFunction>(
        os::module_symbol(client, sibling::kHttpDownloadFileName));
}

// The manifest is read, checked and dropped: fetched into memory it needs no
// file, no flush to disk (HttpDownloadFile stores durably) and no removal.
bool fetch_text(os::Handle client, const std::string& url, std::string* text) {
    const auto get = reinterpret_cast<sibling::HttpGetFunction>(
        os::module_symbol(client, sibling::kHttpGetName));
    char* response = nullptr;
    if (get == nullptr || get(url.c_str(), &response) == 0 || response == nullptr) return false;
    text->assign(response);
    os::global_free(response);
    return true;
}

bool download(sibling::HttpDownloadFileFunction http, const std::string& url,
              const std::string& path) {
    const std::string request = "<TARN><DownloadUrl>" + cutil_markup_escape(url) +
                                "</DownloadUrl><LocalSavePath>" + cutil_markup_escape(path) +
                                "</LocalSavePath></TARN>";
    return http(request.c_str(), 0) != 0;
}

std::string cached_name(const std::string& name, const os::Sha256Digest& digest) {
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    return stem + "-" + os::digest_hex(digest) + extension;
}

// Files of this process's cache found to hold their digest, with their stamp
// then: a policy calls one plug-in for many items, and hashing it again on
// every call was most of a check pass's CPU. Any write, replacement or rename
// changes the stamp, and the file is hashed again.
struct VerifiedFile {
    os::Sha256Digest digest;
    os::FileStamp stamp;
};
std::mutex verified_mutex;
std::map<std::string, VerifiedFile> verified;
constexpr std::size_t kMaxVerified = 256;

bool has_digest(const std::string& path, const os::Sha256Digest& digest) {
    os::FileStamp before{};
    const bool stamped = os::file_stamp(path.c_str(), &before);
    if (stamped) {
        const std::lock_guard<std::mutex> lock(verified_mutex);
        const auto known = verified.find(path);
        if (known != verified.end() && known->second.stamp == before &&
            os::tags_equal(known->second.digest.data(), digest.data(), digest.size())) {
            return true;
        }
    }
    std::string bytes;
    os::Sha256Digest found{};
    const bool held = read_file(path, &bytes) &&
                      os::sha256({{bytes.data(), bytes.size()}}, found) &&
                      os::tags_equal(found.data(), digest.data(), digest.size());
    // Remembered only when the file did not change while it was read.
    os::FileStamp after{};
    if (held && stamped && os::file_stamp(path.c_str(), &after) && after == before) {
        const std::lock_guard<std::mutex> lock(verified_mutex);
        if (verified.size() >= kMaxVerified) verified.clear();
        verified[path] = VerifiedFile{digest, before};
    }
    return held;
}

// The caller traces the reason and hands it back as the result text.
Fetched failed(const std::string& why, bool refused = false) {
    Fetched result;
    result.refused = refused;
    result.why = why;
    return result;
}

}  // namespace

std::string cache_folder() {
    char directory[kPathSize];
    GetAssistantDir(directory);
    return std::string(directory) + kCacheFolder + "\\";
}

Fetched fetch_module(const std::string& url) {
    const std::string name = remote_file_name(url);
    const os::Handle client = http_client();
    const auto http = http_download(client);
    if (http == nullptr) return failed("加载QuarnHttpClient.dll失败, 不能下载模块 " + url);
    const std::string folder = cache_folder();
    os::directory_create(folder.c_str());  // usually there already

    // The manifest comes first: it names the version the server offers, and
    // a cached copy of exactly that version is used without fetching the
    // module again (a policy calls one plug-in for many items). Without the
    // server's public key nothing is loaded, unless an administrator set the
    // downgrade; a key that is there but does not parse is never a downgrade.
    const std::string key_text = config_value(kModuleSignKeyName);
    os::EcdsaPublicKey key{};
    const bool keyed = !key_text.empty();
    os::Sha256Digest listed{};
    if (keyed && !parse_public_key(key_text, &key)) {
        return failed("拒绝加载模块 " + name + ": ModuleSignKey无效", true);
    }
    if (!keyed && !security_downgraded()) {
        return failed("拒绝加载模块 " + name + ": 没有配置ModuleSignKey", true);
    }
    if (!keyed) {
        LogTrace(kFunction, kTraceInfo, kSource, __LINE__,
                 "警告: 已设置SecurityDowngrade, 模块 %s 未经校验即加载", name.c_str());
    } else {
        std::string text;
        if (!fetch_text(client, remote_folder(url) + kManifestName, &text)) {
            return failed("拒绝加载模块 " + name + ": 下载清单失败", true);
        }
        std::uint64_t version = 0;
        ManifestCheck check = listed_digest(text, key, name, &listed, &version);
        if (check == ManifestCheck::kValid &&
            !accept_manifest_version(folder, remote_folder(url), version)) {
            check = ManifestCheck::kOlder;
        }
        if (check != ManifestCheck::kValid) {
            return failed("拒绝加载模块 " + name + ": " + manifest_check_text(check), true);
        }
        const std::string cached = folder + cached_name(name, listed);
        if (has_digest(cached, listed)) {
            Fetched result;
            result.ok = true;
            result.path = cached;
            return result;
        }
    }

    const TemporaryFile module(unique_path(folder, name));
    std::string bytes;
    os::Sha256Digest digest{};
    if (!download(http, url, module.path()) || !read_file(module.path(), &bytes)) {
        return failed("下载模块 " + url + " 失败");
    }
    if (!os::sha256({{bytes.data(), bytes.size()}}, digest)) return failed("计算摘要失败");
    if (keyed && !os::tags_equal(listed.data(), digest.data(), digest.size())) {
        return failed("拒绝加载模块 " + name + ": " + manifest_check_text(ManifestCheck::kMismatch),
                      true);
    }

    // The same version may be cached already (by another call, or a thread
    // racing this one): keep whichever file holds the verified bytes.
    const std::string cached = folder + cached_name(name, digest);
    if (!has_digest(cached, digest)) {
        os::file_delete(cached.c_str());
        if (!os::file_move(module.path().c_str(), cached.c_str()) && !has_digest(cached, digest)) {
            return failed("保存模块 " + cached + " 失败, Err=" + std::to_string(os::last_error()));
        }
    }
    Fetched result;
    result.ok = true;
    result.path = cached;
    return result;
}

}  // namespace activex
