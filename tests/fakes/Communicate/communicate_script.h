// The tests' side of the communication double's queue and request texts
// (communicate.cpp says how the double answers):
//
//   FakeModule comm(fake_path("QuarnAssCommunicate.dll"));
//   queue_reply(comm, "GetUdpPacketFrom", 1, reply_document);  // now the double's
//   ...
//   const std::vector<SentRequest> sent = sent_requests(comm);
#pragma once

#include <string>
#include <vector>

#include "tests/fakes/Communicate/communicate_control.h"
#include "tests/fakes/fake_module.h"

namespace quarn::test {

// Queues one answer of `export_name`; `reply` (null for none) is handed to
// the caller of that exchange, who frees it.
inline void queue_reply(const FakeModule& comm, const char* export_name, int result,
                        XmlNode* reply) {
    if (auto f = reinterpret_cast<fake::QueueReplyFunction>(comm.symbol(fake::kQueueReplyName))) {
        f(export_name, result, reply);
    }
}

struct SentRequest {
    std::string export_name;  // "GetUdpPacketFrom" or "GetTcpPacketFrom"
    std::string text;         // the document's text form, header line included
};

// Every request sent since the double was loaded or reset, in order.
inline std::vector<SentRequest> sent_requests(const FakeModule& comm) {
    std::vector<SentRequest> out;
    auto get = reinterpret_cast<fake::GetRequestFunction>(comm.symbol(fake::kGetRequestName));
    if (get == nullptr) return out;
    for (int index = 0;; ++index) {
        const int size = get(index, nullptr, 0, nullptr, 0);
        if (size <= 0) break;
        std::vector<char> name(64);
        std::vector<char> text(static_cast<std::size_t>(size));
        get(index, name.data(), static_cast<int>(name.size()), text.data(), size);
        out.push_back({name.data(), std::string(text.data(), static_cast<std::size_t>(size) - 1)});
    }
    return out;
}

}  // namespace quarn::test
