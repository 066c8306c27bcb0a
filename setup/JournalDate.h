// The moment of a card-journal record: JOUR.SH keeps a day number (1 = 1 January of year 1
// of the Gregorian calendar, so 730486 = 1 January 2001) and the seconds since midnight.
#pragma once

#include <cstdint>

#include "platform/DateTime.h"

namespace setrix {

// The record's date and time. A day before year 1 or after year 9999, or seconds outside
// one day, is no moment a journal can hold: EConvertError, so that a damaged record stops
// the move instead of reaching the database as a wrong date.
platform::TDateTime JournalDateTime(int32_t dayNumber, int32_t secondsOfDay);

}  // namespace setrix
