// The text form, written to a caller's buffer (cutil_xml_export). The walk
// itself (xml_writer.h) is shared with the file writer.
#include <climits>
#include <cstring>

#include "cutil/xml_internal.h"
#include "cutil/xml_writer.h"

namespace cutil::xml {
namespace {

// Counts every piece; copies a piece only while it leaves a byte free for
// the terminator, and nothing after the first piece that does not.
class BufferSink {
  public:
    BufferSink(char* buffer, std::size_t size) : buffer_(buffer), size_(size) {}

    void piece(std::initializer_list<Part> parts) {
        std::uint64_t length = 0;
        for (const Part& part : parts) length += part_length(part);
        total_ += length;
        if (full_ || buffer_ == nullptr || used_ + length + 1 > size_) {
            full_ = true;
            return;
        }
        char* out = buffer_ + used_;
        for (const Part& part : parts) out = write_part(part, out);
        used_ += static_cast<std::size_t>(length);
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

  private:
    static std::size_t part_length(const Part& part) {
        return part.escape ? escaped_length(part.text, part.mode) : std::strlen(part.text);
    }
    static char* write_part(const Part& part, char* out) {
        if (part.escape) {
            write_escaped(part.text, part.mode, out);
            return out + escaped_length(part.text, part.mode);
        }
        const std::size_t n = std::strlen(part.text);
        std::memcpy(out, part.text, n);
        return out + n;
    }

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
    if (!sizing) std::memset(buffer, 0, static_cast<std::size_t>(size));
    BufferSink sink(sizing ? nullptr : buffer, sizing ? 0 : static_cast<std::size_t>(size));
    write_document(document, Escape::kKeepQuotes, sink);
    // A length that an int cannot carry (a document nested tens of thousands
    // deep indents quadratically) is reported as -1 instead of wrapping.
    if (sink.total() >= static_cast<std::uint64_t>(INT_MAX)) return -1;
    const int length = static_cast<int>(sink.total());
    return !sizing && length < size ? length : length + 1;
}
