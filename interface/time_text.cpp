#include <cctype>
#include <cstdio>

#include "interface/system_helpers.h"
#include "os/time.h"

namespace {

constexpr int kTimeTextSize = 20;

bool digits(const char* text, int count) {
    for (int i = 0; i < count; ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) return false;
    }
    return true;
}

// "dddd-dd-dd": stops at the first mismatch, so a short text is never overrun.
bool starts_with_date(const char* text) {
    return digits(text, 4) && text[4] == '-' && digits(text + 5, 2) && text[7] == '-' &&
           digits(text + 8, 2);
}

int capped_day(int day) {
    return day > 30 ? 30 : day;
}

}  // namespace

int FormatTimeText(const os::DateTime& time, char* text) {
    if (text == nullptr) return 0;
    const int length =
        std::snprintf(text, kTimeTextSize, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month,
                      time.day, time.hour, time.minute, time.second);
    return length < 0 ? 0 : (length < kTimeTextSize ? length : kTimeTextSize - 1);
}

int GetLocalTimeText(char* text) {
    return text != nullptr ? FormatTimeText(os::local_time(), text) : 0;
}

int DaysSinceTime(const char* since, int* hours, int* minutes) {
    if (since == nullptr || !starts_with_date(since)) return 0;
    // A date without its time of day counts from midnight.
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    std::sscanf(since, "%04d-%02d-%02d %02d:%02d", &year, &month, &day, &hour, &minute);

    const os::DateTime now = os::local_time();
    const int days =
        capped_day(now.day) + ((now.year - year) * 12 + now.month - month) * 30 - capped_day(day);
    if (hours != nullptr) *hours = now.hour - hour;
    if (minutes != nullptr) *minutes = now.minute - minute;
    return days;
}
