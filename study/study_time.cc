#include "study/study_time.h"

#include <cstdio>
#include <ctime>

namespace kestrelio {

StudyTime LocalStudyTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return StudyTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                   local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string FormatStudyTimestamp(const StudyTime& time) {
  char text[96];
  int n = std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month,
                        time.day, time.hour, time.minute, time.second);
  return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace kestrelio
