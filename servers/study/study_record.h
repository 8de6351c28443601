// One study record taken from an upload: the table it belongs in, its stored values in
// the table's column order, and its raw text, by which a record posted again is known.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "servers/study/field_parsers.h"
#include "servers/study/study_tables.h"

namespace kestrelio {

struct StudyRecord {
  StudyTable table = StudyTable::kCalls;
  size_t first_line = 0;  // 1-based line number in the upload
  std::string_view raw;   // the record's text without its final line end
  std::vector<FieldValue> values;
};

// A record the server could not take; it stays in the raw upload.
struct RefusedRecord {
  size_t first_line = 0;
  size_t line_count = 1;
  std::string_view raw;
  std::string reason;
};

}  // namespace kestrelio
