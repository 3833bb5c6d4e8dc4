// Documents read from and written to files. Both go through the platform's
// file API, so "\" separates on every platform; the text-mode reading of the
// Windows C runtime (CR LF read as LF) is done here, the same everywhere.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cutil/file.h"
#include "cutil/memory.h"
#include "cutil/trace.h"
#include "cutil/xml_internal.h"
#include "cutil/xml_writer.h"
#include "os/file.h"

namespace cutil::xml {
namespace {

// CR LF pairs become LF (a lone CR stays), in place; returns the new length.
std::size_t crlf_to_lf(char* text, std::size_t length) {
    std::size_t written = 0;
    for (std::size_t read = 0; read < length; ++read) {
        if (text[read] == '\r' && read + 1 < length && text[read + 1] == '\n') continue;
        text[written++] = text[read];
    }
    text[written] = '\0';
    return written;
}

// Reads the whole file as text; null (nothing traced) when it is missing,
// empty or unreadable, null with a trace when the second open fails.
char* read_text_file(const char* path) {
    os::Handle probe = os::file_open_read(path, os::kFileShareRead);
    if (probe == nullptr) return nullptr;
    std::uint64_t size = 0;
    const bool sized = os::file_size(probe, &size);
    os::file_close(probe);
    if (!sized || size == 0 || size >= SIZE_MAX) return nullptr;

    // The C runtime's fopen shares reading and writing.
    os::Handle file = os::file_open_read(path, os::kFileShareRead | os::kFileShareWrite);
    if (file == nullptr) {
        LogTrace("cutil_xml_import_from_file_fre", kTraceError, kSourceName, __LINE__,
                 "open xml file %s", path);
        return nullptr;
    }
    auto* text = static_cast<char*>(allocate(static_cast<std::size_t>(size) + 1));
    std::size_t length = 0;
    while (text != nullptr && length < size) {
        std::size_t done = 0;
        if (!os::file_read(file, text + length, static_cast<std::size_t>(size) - length, &done) ||
            done == 0) {
            break;
        }
        length += done;
    }
    os::file_close(file);
    if (text != nullptr) crlf_to_lf(text, length);
    return text;
}

// Buffers output for a file (or the standard error stream). Each escaped
// string goes through a temporary block registered with the allocation
// table while it lives, as the monitor expects of this writer.
class FileSink {
  public:
    FileSink(os::Handle file, std::FILE* stream) : file_(file), stream_(stream) {}
    ~FileSink() { flush(); }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void piece(std::initializer_list<Part> parts) {
        for (const Part& part : parts) {
            if (part.escape) {
                put_escaped(part.text, part.mode);
            } else {
                put(part.text, std::strlen(part.text));
            }
        }
    }

    void tabs(std::size_t depth) {
        static const char kTabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
        for (; depth > 0;) {
            const std::size_t n = depth < sizeof kTabs - 1 ? depth : sizeof kTabs - 1;
            put(kTabs, n);
            depth -= n;
        }
    }

    void flush() {
        if (used_ == 0) return;
        if (file_ != nullptr) {
            os::file_write(file_, buffer_, used_);  // write errors are not checked
        } else {
            std::fwrite(buffer_, 1, used_, stream_);
        }
        used_ = 0;
    }

  private:
    void put(const char* data, std::size_t length) {
        while (length > 0) {
            if (used_ == sizeof buffer_) flush();
            std::size_t n = sizeof buffer_ - used_;
            if (n > length) n = length;
            std::memcpy(buffer_ + used_, data, n);
            used_ += n;
            data += n;
            length -= n;
        }
    }

    void put_escaped(const char* text, Escape mode) {
        const std::size_t length = escaped_length(text, mode);
        auto* block = static_cast<char*>(allocate(length + 1));
        if (block == nullptr) {
            put_escaped_in_steps(text, mode);
            return;
        }
        cutil_memory_track(kSourceName, block, length + 1, "in_xml_export_file", __LINE__);
        write_escaped(text, mode, block);
        put(block, length);
        cutil_memory_untrack(block);
        release(block);
    }

    // Without a temporary block (heap exhausted) each character is escaped
    // on its own: the file still receives the whole document.
    void put_escaped_in_steps(const char* text, Escape mode) {
        char one[2] = {0, 0};
        char out[8];
        for (const char* p = text; *p != '\0'; ++p) {
            // An ampersand's escape depends on what follows it.
            if (*p == '&') {
                put("&amp;", begins_reference(p) ? 1 : 5);
                continue;
            }
            one[0] = *p;
            write_escaped(one, mode, out);
            put(out, escaped_length(one, mode));
        }
    }

    os::Handle file_;
    std::FILE* stream_;
    char buffer_[4096];
    std::size_t used_ = 0;
};

}  // namespace
}  // namespace cutil::xml

using namespace cutil::xml;

XmlNode* cutil_xml_import_from_file_fre(const char* path) {
    if (path == nullptr) return nullptr;
    char* text = read_text_file(path);
    if (text == nullptr) return nullptr;
    XmlNode* document = cutil_xml_import_fre(text);
    release(text);
    return document;
}

XmlNode* cutil_xml_import_from_file(const char* path, const char* source, const char* function,
                                    int line) {
    XmlNode* document = cutil_xml_import_from_file_fre(path);
    if (document != nullptr) {
        cutil_memory_track(source, reinterpret_cast<const char*>(document) + 1, 1, function, line);
    }
    return document;
}

int cutil_xml_export_to_file(const char* path, const XmlNode* document) {
    if (document == nullptr) return -1;
    os::Handle file = nullptr;
    if (path != nullptr) {
        cutil_file_CreateDirectory(path);
        // As the C runtime's "wb": create or truncate, sharing read and write.
        file = os::file_create_write(path, os::kFileShareRead | os::kFileShareWrite);
        if (file == nullptr) {
            LogTrace("cutil_xml_export_to_file", kTraceError, kSourceName, __LINE__,
                     "create xml file %s", path);
            return -1;
        }
    }
    {
        FileSink sink(file, stderr);
        write_document(document, Escape::kQuotes, sink);
    }
    if (file != nullptr) {
        os::file_close(file);
    } else {
        std::fflush(stderr);
    }
    return 0;
}
