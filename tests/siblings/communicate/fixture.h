// What the suite's tests share: a throw-away assistant directory, the
// configuration double holding the keys the module reads, documents of a
// given text size, and a recording push callback.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "os/file.h"
#include "os/socket.h"
#include "siblings/QuarnAssCommunicate/document_text.h"
#include "siblings/QuarnAssCommunicate/local_frame.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"

namespace quarn::test {

inline constexpr char kHeaderLine[] = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n";

// A UDP port that was free a moment ago.
inline std::uint16_t free_udp_port() {
    const os::Socket probe = os::udp_open(os::kLoopbackIp, 0);
    os::SocketAddress bound;
    os::socket_local_address(probe, &bound);
    os::socket_close(probe);
    return bound.port;
}

// The product's fixed ports may be held for a while by another test program
// of the machine: the tests that need them wait for them, bounded.
inline constexpr int kFixedPortWaitMs = 60000;

// Waits until `path` exists; false after `wait_ms`.
inline bool wait_for_file(const std::string& path, int wait_ms = kFixedPortWaitMs) {
    for (int waited = 0; os::file_attributes(path.c_str()) == 0xFFFFFFFFu; waited += 50) {
        if (waited >= wait_ms) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The path of the local secret in the current assistant directory.
inline std::string secret_path() {
    char directory[kPathSize];
    GetAssistantDir(directory);
    return std::string(directory) + communicate::kSecretFileName;
}

inline XmlDocument parse(const std::string& text) {
    return XmlDocument(cutil_xml_import(text.c_str(), "test", "parse", 0));
}

// A <TARN><Data> document padded with "x" so that its text form is exactly
// `size` bytes.
inline XmlDocument document_of_size(std::size_t size) {
    const std::size_t overhead =
        communicate::text_form(parse("<TARN><Data>x</Data></TARN>").get()).size() - 1;
    return parse("<TARN><Data>" + std::string(size - overhead, 'x') + "</Data></TARN>");
}

// Records the commands handed to the callback (their WhatToDo) and answers
// with kCallbackResult.
struct PushLog {
    static constexpr int kCallbackResult = 7;
    static std::mutex lock;
    static std::vector<std::string> texts;  // the documents' text forms

    static int QUARN_CDECL callback(XmlNode* command) {
        std::lock_guard<std::mutex> guard(lock);
        texts.push_back(communicate::text_form(command));
        return kCallbackResult;
    }
    static std::vector<std::string> taken() {
        std::lock_guard<std::mutex> guard(lock);
        return texts;
    }
    static void clear() {
        std::lock_guard<std::mutex> guard(lock);
        texts.clear();
    }
};
inline std::mutex PushLog::lock;
inline std::vector<std::string> PushLog::texts;

// A fresh assistant directory and the configuration double with the two keys.
class CommunicateTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        PushLog::clear();
    }
    void configure(const char* key, std::uint16_t listening_port) const {
        if (key != nullptr) write("CryptKey", key);
        write("ListeningPort", std::to_string(listening_port).c_str());
    }
    void write(const char* name, const char* value) const {
        auto write_config = reinterpret_cast<int(QUARN_CDECL*)(const char*, const char*)>(
            config_.symbol("TarnWriteConfig"));
        ASSERT_NE(nullptr, write_config);
        ASSERT_EQ(1, write_config(name, value));
    }

    AssistantHome home_;
    FakeModule config_;
};

}  // namespace quarn::test
