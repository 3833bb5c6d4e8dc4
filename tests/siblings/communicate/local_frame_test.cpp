// The local exchange's frames between the two ends directly: what the
// listener takes from a client, byte by byte, and a genuine exchange.
#include "siblings/QuarnAssCommunicate/local_frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

namespace {

using communicate::LocalRead;

// Connects to `listener`, runs `client` on the connection in a thread of its
// own, and returns what listener_receive makes of it. A request taken is
// answered "pong", or with the bytes of `raw` when there are any.
template <typename Client>
LocalRead receive_from(const std::string& secret, Client client, std::string* request,
                       const std::string& raw = "") {
    const os::Socket listener = os::tcp_listen_loopback(0);
    os::SocketAddress address;
    EXPECT_TRUE(os::socket_local_address(listener, &address));
    std::thread peer([&] {
        const os::Socket socket = os::tcp_connect({os::kLoopbackIp, address.port}, 5000);
        client(socket);
        os::socket_close(socket);
    });
    const os::Socket connection = os::tcp_accept(listener, 5000, nullptr);
    communicate::LocalSession session;
    const LocalRead read =
        communicate::listener_receive(connection, secret, 5000, &session, request);
    if (read == LocalRead::kOk && raw.empty()) {
        communicate::listener_answer(connection, session, "pong", 5000);
    } else if (read == LocalRead::kOk) {
        os::tcp_send_all(connection, raw.data(), raw.size(), 5000);
        os::socket_close(connection);  // the answer ends there
    }
    peer.join();
    if (read != LocalRead::kOk || raw.empty()) os::socket_close(connection);
    os::socket_close(listener);
    return read;
}

TEST(LocalFrame, ListenerTakesOnlyAProvenRequestOfThisVersion) {
    const std::string secret(communicate::kSecretSize, 's');
    const std::string hello = std::string("TARL\2\1", 6) + std::string(32, 'n');
    struct Row {
        const char* name;
        std::string first;            // sent at once
        const char* after = nullptr;  // sent after reading the challenge; else the client closes
        LocalRead expected;
    };
    const Row rows[] = {
        {"FirstVersionAtTheCap", std::string("\0\0\x10\0", 4), nullptr, LocalRead::kOldVersion},
        {"FirstVersionTooLong", std::string("\1\0\x10\0", 4), nullptr, LocalRead::kFailed},
        {"VersionOne", std::string("TARL\1\1", 6) + std::string(32, 'n'), nullptr,
         LocalRead::kOldVersion},
        {"RequestBeforeHello", std::string("TARL\2\3", 6), nullptr, LocalRead::kFailed},
        {"HalfAHello", hello.substr(0, 20), nullptr, LocalRead::kFailed},
        {"GoneAfterTheChallenge", hello, "", LocalRead::kFailed},
        {"RequestWithoutItsProof", hello, "TARL\2\3", LocalRead::kFailed},
        {"WrongProof", hello, "TARL\2\3xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", LocalRead::kNotProven},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string request;
        EXPECT_EQ(row.expected,
                  receive_from(
                      secret,
                      [&](os::Socket socket) {
                          os::tcp_send_all(socket, row.first.data(), row.first.size(), 5000);
                          char challenge[70];
                          if (row.after != nullptr &&
                              os::tcp_receive_all(socket, challenge, sizeof challenge, 5000)) {
                              EXPECT_EQ(std::string("TARL\2\2", 6), std::string(challenge, 6));
                              os::tcp_send_all(socket, row.after, std::strlen(row.after), 5000);
                          }
                      },
                      &request));
    }
    // A genuine client, one whose answer is cut after its header, one holding
    // another secret: it stops at the challenge.
    struct Exchange {
        char fill;
        const char* raw;
        LocalRead listener, client;
        const char* request;
        const char* answer;
    };
    const Exchange exchanges[] = {
        {'s', "", LocalRead::kOk, LocalRead::kOk, "ping", "pong"},
        {'s', "TARL\2\4", LocalRead::kOk, LocalRead::kFailed, "ping", ""},
        {'t', "", LocalRead::kFailed, LocalRead::kNotProven, "", ""},
    };
    for (const Exchange& e : exchanges) {
        SCOPED_TRACE(&e - exchanges);
        LocalRead client_read = LocalRead::kFailed;
        std::string request;
        std::string answer;
        EXPECT_EQ(e.listener, receive_from(
                                  secret,
                                  [&](os::Socket socket) {
                                      client_read = communicate::client_exchange(
                                          socket, std::string(32, e.fill), "ping", 5000, 5000,
                                          &answer);
                                  },
                                  &request, e.raw));
        EXPECT_EQ(e.client, client_read);
        EXPECT_EQ(e.request, request);
        EXPECT_EQ(e.answer, answer);
    }
}

}  // namespace
