// Server pushes: the commands the agent obeys (TARN/WhatToDo), sent to a
// device's listening port as kind-3 datagrams and answered with its result.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "programs/simulator/recorder.h"
#include "programs/simulator/server_state.h"

namespace simulator {

// The commands and the fields each takes (element names under TARN).
struct PushCommand {
    const char* name;
    std::vector<const char*> fields;
};
const std::vector<PushCommand>& push_commands();

struct PushRequest {
    std::string device_id;
    std::string command;                        // matched without case
    std::map<std::string, std::string> fields;  // element name → GBK text
    std::string address;            // "ip" or "ip:port"; empty: where the device spoke from
    std::uint32_t wait_ms = 60000;  // for the answer
};

struct PushOutcome {
    bool sent = false;
    bool answered = false;
    int result = 0;
    std::uint32_t id = 0;
    std::string error;  // why it was not sent (UTF-8)
};

// The push document's text; empty with `error` for an unknown command.
std::string push_document(const PushRequest& request, std::string* error);
// Sends the push, waits for its answer and records both.
PushOutcome send_push(ServerState& state, Recorder& recorder, const PushRequest& request);

}  // namespace simulator
