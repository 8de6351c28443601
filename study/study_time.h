// Local calendar time as the study files write it.
#pragma once

#include <string>

namespace kestrelio {

struct StudyTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

StudyTime LocalStudyTime();
// "%04d-%02d-%02d %02d:%02d:%02d" (19 characters for sane values).
std::string FormatStudyTimestamp(const StudyTime& time);

}  // namespace kestrelio
