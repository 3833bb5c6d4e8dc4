// Double of QuarnAssCommunicate.dll. Every exchange is recorded twice: as a
// call ("host|port|request address", QuarnFake_GetCall) and with the
// request's text form (QuarnFake_GetRequest), so tests compare the documents
// sent, element order included. Replies come from a queue per export
// (QuarnFake_QueueReply, each entry handed out once, in order) and, once it
// is empty, from the plain scripted answer (QuarnFake_SetAnswerPointer: the
// same pointer on every call, so meant for failures and placeholders).
// communicate_control.h has the contracts, communicate_script.h the tests'
// side:
//
//   FakeModule comm(fake_path("QuarnAssCommunicate.dll"));
//   queue_reply(comm, "GetUdpPacketFrom", 1, cutil_xml_import(policy, ...));
//   queue_reply(comm, "GetUdpPacketFrom", 0, nullptr);  // the next one fails
//   ... code under test ...
//   EXPECT_EQ(expected_text, sent_requests(comm)[0].text);
//
// Requests at addresses below 0x10000 are recorded by address only, with an
// empty text: no heap block lives there on either platform, and some tests
// pass such placeholders where the double never reads a document.
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "cutil/xml.h"
#include "interface/sibling_abi.h"
#include "tests/fakes/Communicate/communicate_control.h"
#include "tests/fakes/core/fake_core.h"

using fake::text;

namespace {

constexpr std::uintptr_t kLowestDocumentAddress = 0x10000;

struct QueuedReply {
    int result;
    XmlNode* reply;
};

struct SentRequest {
    std::string export_name;
    std::string text;
};

struct State {
    std::mutex lock;
    std::map<std::string, std::deque<QueuedReply>> queues;
    std::vector<SentRequest> requests;

    void clear() {
        std::lock_guard<std::mutex> guard(lock);
        for (auto& [name, queue] : queues) {
            for (const QueuedReply& entry : queue) cutil_xml_free(entry.reply);
        }
        queues.clear();
        requests.clear();
    }
    ~State() { clear(); }  // replies never taken go with the module
};

State& state() {
    static State s;
    return s;
}

void forget_state() {
    state().clear();
}

[[maybe_unused]] const bool g_hooked = (fake::set_reset_hook(&forget_state), true);

sibling::PacketRecvCallBackFunction g_callback = nullptr;

std::string text_form(const XmlNode* request) {
    if (request == nullptr) return "(null)";
    if (reinterpret_cast<std::uintptr_t>(request) < kLowestDocumentAddress) return "";
    const int size = cutil_xml_export(request, nullptr, 0);
    if (size <= 0) return "";
    std::string form(static_cast<std::size_t>(size), '\0');
    const int written = cutil_xml_export(request, form.data(), size);
    form.resize(written > 0 && written < size ? static_cast<std::size_t>(written) : 0);
    return form;
}

// The oldest queued entry of `name`, taken off its queue; false when empty.
bool take_queued(const char* name, QueuedReply* entry) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto found = s.queues.find(name);
    if (found == s.queues.end() || found->second.empty()) return false;
    *entry = found->second.front();
    found->second.pop_front();
    return true;
}

int exchange(const char* name, const char* host, int port, XmlNode* request, XmlNode** reply) {
    fake::record(name, "%s|%d|%p", text(host), port, static_cast<void*>(request));
    {
        std::string form = text_form(request);
        State& s = state();
        std::lock_guard<std::mutex> guard(s.lock);
        s.requests.push_back({name, std::move(form)});
    }
    QueuedReply queued{};
    if (take_queued(name, &queued)) {
        if (reply != nullptr) {
            *reply = queued.reply;
        } else {
            cutil_xml_free(queued.reply);  // nobody to hand it to
        }
        return queued.result;
    }
    const fake::Answer a = fake::answer(name);
    if (!a.scripted) return 0;  // no server: no reply
    if (reply != nullptr) *reply = static_cast<XmlNode*>(a.pointer);
    return a.result;
}

}  // namespace

QUARN_EXPORT int QUARN_CDECL SetPacketRecvCallBack(sibling::PacketRecvCallBackFunction callback) {
    fake::record("SetPacketRecvCallBack", "%p", reinterpret_cast<void*>(callback));
    g_callback = callback;
    return fake::result_or("SetPacketRecvCallBack", 1);
}
QUARN_EXPORT int QUARN_CDECL GetUdpPacketFrom(const char* host, int port, XmlNode* request,
                                              XmlNode** reply) {
    return exchange("GetUdpPacketFrom", host, port, request, reply);
}
QUARN_EXPORT int QUARN_CDECL GetTcpPacketFrom(const char* host, int port, XmlNode* request,
                                              XmlNode** reply) {
    return exchange("GetTcpPacketFrom", host, port, request, reply);
}
// Plays a server push: calls the registered callback with `command`.
QUARN_EXPORT int QUARN_CDECL QuarnFake_Push(XmlNode* command) {
    return g_callback != nullptr ? g_callback(command) : -1;
}
QUARN_EXPORT void QUARN_CDECL QuarnFake_QueueReply(const char* export_name, int result,
                                                   XmlNode* reply) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.queues[text(export_name)].push_back({result, reply});
}
QUARN_EXPORT int QUARN_CDECL QuarnFake_GetRequest(int index, char* name, int name_size,
                                                  char* request_text, int text_size) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (index < 0 || static_cast<std::size_t>(index) >= s.requests.size()) return 0;
    const SentRequest& sent = s.requests[static_cast<std::size_t>(index)];
    fake::copy_out(sent.export_name, name, name_size);
    fake::copy_out(sent.text, request_text, text_size);
    return static_cast<int>(sent.text.size()) + 1;
}
QUARN_EXPORT int QUARN_CDECL Init(const char* argument, char** result) {
    fake::record("Init", "%s", text(argument));
    return fake::answer_with_text("Init", result, 0, nullptr);
}

static_assert(sizeof(sibling::SetPacketRecvCallBackFunction{&SetPacketRecvCallBack}) > 0);
static_assert(sizeof(sibling::GetUdpPacketFromFunction{&GetUdpPacketFrom}) > 0);
static_assert(sizeof(sibling::GetTcpPacketFromFunction{&GetTcpPacketFrom}) > 0);
static_assert(sizeof(fake::QueueReplyFunction{&QuarnFake_QueueReply}) > 0);
static_assert(sizeof(fake::GetRequestFunction{&QuarnFake_GetRequest}) > 0);
static_assert(sizeof(sibling::PluginFunction{&Init}) > 0);
