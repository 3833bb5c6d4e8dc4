// Datagrams as the push receiver meets them: the input is a run of
// datagrams, each a 2-byte little-endian length and its bytes; the first
// byte chooses whether a key is configured (its second bit: whether unsealed
// pushes are admitted). Every accepted fragment goes into the reassembly of
// its message, every complete message must hold exactly the total its header
// announced, and a complete push is opened as the receiver opens it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/push_seal.h"
#include "siblings/QuarnAssCommunicate/replay_window.h"

using namespace communicate;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string key = (data[0] & 1) != 0 ? "fuzz-key" : "";
    std::map<std::uint32_t, std::unique_ptr<Reassembly>> pending;
    ReplayWindow window;
    std::size_t at = 1;
    while (at + 2 <= size) {
        const std::size_t length = data[at] | (data[at + 1] << 8);
        at += 2;
        const std::size_t take = length < size - at ? length : size - at;
        Fragment fragment;
        if (read_datagram(data + at, take, key, &fragment) == Verdict::kAccepted) {
            if (fragment.size > kMaxFragmentSize || fragment.header.total > kMaxPayload) abort();
            auto& slot = pending[fragment.header.id];
            if (!slot) slot = std::make_unique<Reassembly>(fragment.header);
            const Reassembly::Step step = slot->add(fragment);
            if (step == Reassembly::Step::kComplete) {
                const Header header = slot->header();
                const std::string body = slot->take();
                if (body.size() != header.total) abort();
                std::string text;
                if (header.kind == Kind::kPush &&
                    open_push(key, (data[0] & 2) != 0, header, body, &text) == Opened::kOpened &&
                    text.size() > body.size()) {
                    abort();
                }
                window.take(fragment.header.id);
                pending.erase(fragment.header.id);
            } else if (step == Reassembly::Step::kBroken) {
                pending.erase(fragment.header.id);
            }
        }
        at += take;
    }
    return 0;
}
