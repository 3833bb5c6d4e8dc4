// The answer to a push: the document <TARN><Result>n</Result></TARN> with the
// callback's result, in the text form every payload has.
#pragma once

#include <cstddef>
#include <string>

namespace communicate {

// The text form of the answer document carrying `result`.
std::string push_answer_payload(int result);
// The result carried by a reassembled answer payload; false when the bytes
// are no answer document (no TARN/Result, or not a number).
bool parse_push_answer(const char* payload, std::size_t size, int* result);

}  // namespace communicate
