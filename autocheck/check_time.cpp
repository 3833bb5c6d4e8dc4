#include "autocheck/check_time.h"

#include "interface/config_access.h"
#include "interface/system_helpers.h"
#include "os/time.h"

namespace autocheck {

void store_check_time(bool auth_time_too) {
    const os::DateTime now = os::local_time();
    char text[24];
    FormatTimeText(now, text);
    if (auth_time_too) Call_TarnWriteConfig("AuthTime", text);
    Call_TarnWriteConfig("CheckTime", text);
    WriteConfigInt("CheckDayOfWeek", now.day_of_week);
    WriteConfigInt("CheckMonth", now.month);
}

}  // namespace autocheck
