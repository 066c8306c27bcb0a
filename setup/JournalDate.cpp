#include "setup/JournalDate.h"

namespace setrix {

namespace {
// 31 December 9999, the last day the database's dates hold.
constexpr int32_t LastDayNumber = 3652059;
}  // namespace

platform::TDateTime JournalDateTime(int32_t dayNumber, int32_t secondsOfDay) {
    if (dayNumber < 1 || dayNumber > LastDayNumber || secondsOfDay < 0 || secondsOfDay >= platform::SecsPerDay)
        throw platform::EConvertError("Journal record has no valid date: day " + platform::IntToStr(dayNumber) +
                                      ", second " + platform::IntToStr(secondsOfDay));
    // The day number is the runtime's time-stamp day; its conversion also keeps the time
    // of day right for dates before 30 December 1899, whose date-time values are negative.
    platform::TTimeStamp stamp;
    stamp.Date = dayNumber;
    stamp.Time = secondsOfDay * 1000;
    return platform::TimeStampToDateTime(stamp);
}

}  // namespace setrix
