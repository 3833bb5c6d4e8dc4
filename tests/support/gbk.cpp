#include "support/gbk.h"

#include "os/text.h"

namespace quarn::test {

void PrintTo(const GbkText& text, std::ostream* out) {
    *out << '"' << os::gbk_to_utf8(text.bytes.data(), text.bytes.size()) << '"';
}

}  // namespace quarn::test
