// The study server's upload intake: the first byte picks the upload path (or, above
// the five uploads, the survey page check and the output escapers); the rest is the
// request body exactly as a client could send it. Bodies with the right password go on
// into an in-memory store, which must take every one of them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "base/diag.h"
#include "servers/study/study_store.h"
#include "servers/study/survey_page_check.h"
#include "servers/study/text_escape.h"
#include "servers/study/upload_intake.h"

namespace kestrelio {
namespace {

constexpr int kInputsPerStore = 500;

bool Within(std::string_view part, std::string_view whole) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

void CheckUpload(UploadKind kind, std::string_view body, StudyStore& store) {
  std::optional<UploadBody> upload = SplitUploadBody(body);
  if (!upload) return;
  // The password is compared but not required here, so every body reaches the parser.
  bool admitted = PasswordMatches(upload->password, kStudyPassword);
  UploadContent content = ParseUploadData(kind, upload->data);
  size_t lines_used = content.records.size();
  for (const StudyRecord& record : content.records) {
    if (!Within(record.raw, upload->data)) __builtin_trap();
    if (record.values.size() != StoredColumnCount(LayoutOf(record.table))) __builtin_trap();
  }
  for (const RefusedRecord& refused : content.refused) {
    if (!Within(refused.raw, upload->data) || refused.reason.empty()) __builtin_trap();
    lines_used += refused.line_count > 0 ? 1 : 0;
  }
  if (lines_used > content.lines) __builtin_trap();
  if (!admitted && body.size() % 4 != 0) return;  // store a share of the rest too
  auto result =
      store.StoreUpload({kind, "127.0.0.1", "2026-01-01 00:00:00"}, upload->data, content);
  if (!result) __builtin_trap();
  if (result->stored + result->duplicates != content.records.size()) __builtin_trap();
}

}  // namespace
}  // namespace kestrelio

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrelio;
  static DiagQuietScope quiet;
  static std::unique_ptr<StudyStore> store;
  static int inputs = 0;
  if (size == 0) return 0;
  // A fresh store now and then keeps the in-memory database small.
  if (!store || ++inputs % kInputsPerStore == 0) {
    store.reset();
    store = std::make_unique<StudyStore>(":memory:");
    if (!store->ok()) __builtin_trap();
  }
  uint8_t mode = data[0] % 8;
  std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mode < 5) {
    CheckUpload(static_cast<UploadKind>(mode), body, *store);
  } else if (mode == 5) {
    PageCheck check = CheckSurveyPage(body);
    if (check.ok && body.size() > kMaxSurveyPageBytes) __builtin_trap();
    if (!check.ok && (check.line == 0 || check.reason.empty())) __builtin_trap();
  } else if (mode == 6) {
    std::string html = HtmlEscape(body);
    if (html.find_first_of("<>\"'") != std::string::npos) __builtin_trap();
  } else {
    CsvField(body, CsvCell::kText);
    Base64Decode(body);
  }
  return 0;
}
