#include "platform/sim/date_format.h"

#include <cstdio>

namespace corvane::platform::sim {
namespace {

const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November",
                               "December"};

std::string Number(unsigned v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%0*u", width, v);
  return buf;
}

// Walks the picture: quoted text is copied, runs of a letter in letters go to emit(letter, count),
// everything else is copied.
template <typename Emit>
std::string Walk(const std::string& picture, const char* letters, Emit emit) {
  std::string out;
  for (size_t i = 0; i < picture.size();) {
    char c = picture[i];
    if (c == '\'') {
      // Quoted text up to the next lone quote; a doubled quote stands for one.
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out.push_back('\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out.push_back(picture[i++]);
      }
      continue;
    }
    bool special = false;
    for (const char* l = letters; *l; ++l) special = special || *l == c;
    if (!special) {
      out.push_back(c);
      ++i;
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    out += emit(c, run);
    i += run;
  }
  return out;
}

}  // namespace

std::string FormatDatePicture(const LocalTime& t, const std::string& picture) {
  return Walk(picture, "dMyg", [&](char c, size_t n) -> std::string {
    switch (c) {
      case 'd':
        if (n == 1) return Number(t.day, 1);
        if (n == 2) return Number(t.day, 2);
        if (n == 3) return std::string(kDays[t.day_of_week % 7]).substr(0, 3);
        return kDays[t.day_of_week % 7];
      case 'M': {
        unsigned m = t.month >= 1 && t.month <= 12 ? t.month : 1;
        if (n == 1) return Number(m, 1);
        if (n == 2) return Number(m, 2);
        if (n == 3) return std::string(kMonths[m - 1]).substr(0, 3);
        return kMonths[m - 1];
      }
      case 'y':
        if (n == 1) return Number(t.year % 100, 1);
        if (n == 2) return Number(t.year % 100, 2);
        return Number(t.year, 1);
      case 'g':
        return "A.D.";
    }
    return std::string();
  });
}

std::string FormatTimePicture(const LocalTime& t, const std::string& picture) {
  return Walk(picture, "hHmst", [&](char c, size_t n) -> std::string {
    unsigned h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    switch (c) {
      case 'h': return Number(h12, n >= 2 ? 2 : 1);
      case 'H': return Number(t.hour, n >= 2 ? 2 : 1);
      case 'm': return Number(t.minute, n >= 2 ? 2 : 1);
      case 's': return Number(t.second, n >= 2 ? 2 : 1);
      case 't': {
        std::string marker = t.hour < 12 ? "AM" : "PM";
        return n >= 2 ? marker : marker.substr(0, 1);
      }
    }
    return std::string();
  });
}

}  // namespace corvane::platform::sim
