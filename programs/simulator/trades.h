// The answers to the agent's UDP requests, one per trade code: a request
// document in, the reply's XML text (GBK) out, with what the record and the
// admin page should know about it.
#pragma once

#include <cstdint>
#include <string>

#include "programs/simulator/server_state.h"
#include "programs/simulator/xml_text.h"

struct XmlNode;

namespace simulator {

struct TradeAnswer {
    std::string trade_code;
    std::string device_id;       // the device it concerns, when known
    std::string reply;           // the reply document's text; empty: no reply is sent
    Json note = Json::object();  // what the record adds (UTF-8)
};

TradeAnswer answer_trade(ServerState& state, const XmlNode* request, std::uint32_t from_ip);

}  // namespace simulator
