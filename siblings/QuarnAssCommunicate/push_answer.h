// The answer to a push: the document <TARN><Result>n</Result></TARN> with the
// callback's result, in the text form every payload has.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace communicate {

// The text form of the answer document carrying `result`.
std::string push_answer_payload(int result);
// The result carried by a reassembled answer payload; false when the bytes
// are no answer document (no TARN/Result, or not a number).
bool parse_push_answer(const char* payload, std::size_t size, int* result);

// The results of the last pushes answered, by sender and message id: the
// server sends a push again under the same id when the answer was lost,
// and the copy, refused as a replay, is answered from here.
class AnswerCache {
  public:
    static constexpr std::size_t kSize = 16;
    void add(std::uint64_t sender, std::uint32_t id, int result);
    bool find(std::uint64_t sender, std::uint32_t id, int* result) const;

  private:
    struct Entry {
        std::uint64_t sender = 0;
        std::uint32_t id = 0;
        int result = 0;
        bool used = false;
    };
    mutable std::mutex lock_;
    std::array<Entry, kSize> entries_;
    std::size_t next_ = 0;
};

}  // namespace communicate
