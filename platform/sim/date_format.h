// Date and time pictures as GetDateFormat and GetTimeFormat read them, with the English names of
// the default locale.
//
// Date pictures: d dd ddd dddd (day, day name), M MM MMM MMMM (month, month name), y yy yyyy
// (year; "yyy" and longer give the full year), g gg (era, "A.D."). Time pictures: h hh (12-hour),
// H HH (24-hour), m mm, s ss, t (first letter of AM/PM) tt. Text in single quotes is copied ('' is
// a quote); every other character is copied as it stands.
#pragma once

#include <string>

#include "platform/system.h"

namespace corvane::platform::sim {

std::string FormatDatePicture(const LocalTime& t, const std::string& picture);
std::string FormatTimePicture(const LocalTime& t, const std::string& picture);

}  // namespace corvane::platform::sim
