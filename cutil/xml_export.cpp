// The text form, written to a caller's buffer (cutil_xml_export). The walk
// itself (xml_writer.h) is shared with the file writer.
#include <climits>
#include <cstring>

#include "cutil/xml_internal.h"
#include "cutil/xml_writer.h"

namespace cutil::xml {
namespace {

// Counts every piece; copies a piece only while it leaves a byte free for
// the terminator, and nothing after the first piece that does not. While
// pieces fit, each is escaped straight into the buffer in one scan.
class BufferSink {
  public:
    BufferSink(char* buffer, std::size_t size) : buffer_(buffer), size_(size) {}

    void piece(std::initializer_list<Part> parts) {
        if (!full_ && buffer_ != nullptr) {
            // One byte always stays free for the terminator.
            const char* limit = buffer_ + size_ - 1;
            char* out = buffer_ + used_;
            for (const Part& part : parts) {
                if (out == nullptr) break;
                if (!part.escape) {
                    if (static_cast<std::size_t>(limit - out) < part.fixed_length) {
                        out = nullptr;
                    } else {
                        std::memcpy(out, part.text, part.fixed_length);
                        out += part.fixed_length;
                    }
                } else {
                    out = write_escaped_within(part.text, part.mode, out, limit);
                }
            }
            if (out != nullptr) {
                const auto length = static_cast<std::size_t>(out - (buffer_ + used_));
                total_ += length;
                used_ += length;
                return;
            }
            // The piece does not fit: what it left behind is zeroed at the
            // end, and nothing more is written.
            full_ = true;
        }
        for (const Part& part : parts) {
            total_ += part.escape ? escaped_length(part.text, part.mode) : part.fixed_length;
        }
    }

    void tabs(std::size_t depth) {
        total_ += depth;
        if (full_ || buffer_ == nullptr || used_ + depth + 1 > size_) {
            full_ = true;
            return;
        }
        std::memset(buffer_ + used_, '\t', depth);
        used_ += depth;
    }

    std::uint64_t total() const { return total_; }
    std::size_t used() const { return used_; }

  private:
    char* buffer_;
    std::size_t size_;
    std::size_t used_ = 0;
    std::uint64_t total_ = 0;
    bool full_ = false;
};

}  // namespace
}  // namespace cutil::xml

int cutil_xml_export(const XmlNode* document, char* buffer, int size) {
    using namespace cutil::xml;
    if (document == nullptr) return 0;
    const bool sizing = buffer == nullptr || size <= 0;
    BufferSink sink(sizing ? nullptr : buffer, sizing ? 0 : static_cast<std::size_t>(size));
    write_document(document, Escape::kKeepQuotes, sink);
    // The caller sees the whole buffer zero-filled before the output: zeroing
    // only what the output left untouched gives the same bytes in one pass.
    if (!sizing) std::memset(buffer + sink.used(), 0, static_cast<std::size_t>(size) - sink.used());
    // A length that an int cannot carry (a document nested tens of thousands
    // deep indents quadratically) is reported as -1 instead of wrapping.
    if (sink.total() >= static_cast<std::uint64_t>(INT_MAX)) return -1;
    const int length = static_cast<int>(sink.total());
    return !sizing && length < size ? length : length + 1;
}
