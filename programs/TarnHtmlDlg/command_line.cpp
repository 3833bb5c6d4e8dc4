#include "programs/TarnHtmlDlg/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace html_dlg {
namespace {

// Walks the text left to right; every step either consumes what it expects
// or leaves a message naming what was missing.
class Reader {
  public:
    Reader(const std::string& text, std::string* error) : text_(text), error_(error) {}

    bool at_end() const { return position_ == text_.size(); }

    bool expect(const char* literal) {
        const std::size_t length = std::strlen(literal);
        if (text_.compare(position_, length, literal) != 0) {
            return fail(std::string("expected \"") + literal + "\" at offset " +
                        std::to_string(position_));
        }
        position_ += length;
        return true;
    }

    // "Key=\"value\"": the value ends at the next quote and holds none.
    bool quoted(const char* key, std::string* value) {
        if (!expect(key) || !expect("=\"")) return false;
        const std::size_t close = text_.find('"', position_);
        if (close == std::string::npos) return fail(std::string(key) + " lacks its closing quote");
        *value = text_.substr(position_, close - position_);
        position_ = close + 1;
        return true;
    }

    // The bare title: everything up to the first " Width=".
    bool bare_until(const char* key, const char* terminator, std::string* value) {
        if (!expect(key) || !expect("=")) return false;
        const std::size_t end = text_.find(terminator, position_);
        if (end == std::string::npos)
            return fail(std::string(key) + " is not followed by " + terminator);
        *value = text_.substr(position_, end - position_);
        position_ = end;
        return true;
    }

    // "Key=<decimal>" within [low, high]; an optional minus sign, no blanks.
    bool number(const char* key, int low, int high, int* value) {
        if (!expect(key) || !expect("=")) return false;
        const char* start = text_.c_str() + position_;
        const char* digits = *start == '-' ? start + 1 : start;
        if (*digits < '0' || *digits > '9') return fail(std::string(key) + " is not a number");
        errno = 0;
        char* end = nullptr;
        const long parsed = std::strtol(start, &end, 10);
        if (errno != 0 || parsed < low || parsed > high) {
            return fail(std::string(key) + " is out of range");
        }
        *value = static_cast<int>(parsed);
        position_ += static_cast<std::size_t>(end - start);
        return true;
    }

  private:
    bool fail(std::string message) {
        *error_ = std::move(message);
        return false;
    }

    const std::string& text_;
    std::string* error_;
    std::size_t position_ = 0;
};

}  // namespace

bool parse_command_line(const std::string& text, DialogRequest* request, std::string* error) {
    // Whatever the launcher put around the line is not part of it.
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    const std::string line = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    Reader reader(line, error);
    int show_tray_icon = 0;
    if (!reader.quoted("Url", &request->url) || !reader.expect(" ") ||
        !reader.quoted("Icon", &request->icon) || !reader.expect(" ") ||
        !reader.bare_until("Title", " Width=", &request->title) || !reader.expect(" ") ||
        !reader.number("Width", kHiddenSize, kMaxSize, &request->width) || !reader.expect(" ") ||
        !reader.number("Height", kHiddenSize, kMaxSize, &request->height) || !reader.expect(" ") ||
        !reader.number("ShowSysIcon", 0, 1, &show_tray_icon) || !reader.expect(" ") ||
        !reader.quoted("SysIconMsg", &request->tray_message)) {
        return false;
    }
    if (!reader.at_end()) {
        *error = "text after SysIconMsg";
        return false;
    }
    if (request->url.empty()) {
        *error = "Url is empty";
        return false;
    }
    request->show_tray_icon = show_tray_icon != 0;
    return true;
}

}  // namespace html_dlg
