// The push answer as the server reads it: the input is split into push
// answer datagrams (2-byte length prefixes), reassembled, and the payload
// parsed; the whole input is also parsed as a payload of its own. A parsed
// answer written again must read back to the same result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/push_answer.h"

using namespace communicate;

namespace {

void check(const char* payload, std::size_t size) {
    int result = 0;
    if (!parse_push_answer(payload, size, &result)) return;
    const std::string again = push_answer_payload(result);
    int reread = 0;
    if (!parse_push_answer(again.data(), again.size(), &reread) || reread != result) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<Reassembly> answer;
    std::size_t at = 0;
    while (at + 2 <= size) {
        const std::size_t length = data[at] | (data[at + 1] << 8);
        at += 2;
        const std::size_t take = length < size - at ? length : size - at;
        Fragment fragment;
        if (read_datagram(data + at, take, "", &fragment) == Verdict::kAccepted &&
            fragment.header.kind == Kind::kPushAnswer) {
            if (!answer) answer = std::make_unique<Reassembly>(fragment.header);
            const Reassembly::Step step = answer->add(fragment);
            if (step == Reassembly::Step::kComplete) {
                const std::string payload = answer->take();
                check(payload.data(), payload.size());
                answer.reset();
            } else if (step == Reassembly::Step::kBroken) {
                answer.reset();
            }
        }
        at += take;
    }
    return 0;
}
