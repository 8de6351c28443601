#include "servers/study/survey_page_check.h"

#include <set>

namespace kestrelio {
namespace {

class PageReader {
 public:
  explicit PageReader(std::string_view page) : page_(page) {}

  bool AtEnd() const { return at_ >= page_.size(); }
  char Peek() const { return page_[at_]; }
  void Skip() { ++at_; }
  size_t line() const { return line_; }
  std::string_view Rest() const { return page_.substr(at_); }

  // The text up to the next line feed, which is consumed; false at a missing one.
  bool ReadLine(std::string_view* text) {
    size_t end = page_.find('\n', at_);
    if (end == std::string_view::npos) return false;
    *text = page_.substr(at_, end - at_);
    at_ = end + 1;
    ++line_;
    return true;
  }

 private:
  std::string_view page_;
  size_t at_ = 0;
  size_t line_ = 1;
};

bool IsNumber(std::string_view text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

PageCheck Fault(size_t line, std::string reason) {
  PageCheck check;
  check.ok = false;
  check.line = line;
  check.reason = std::move(reason);
  return check;
}

// Control characters, and the line they are on.
PageCheck CheckBytes(std::string_view page) {
  size_t line = 1;
  for (size_t i = 0; i < page.size(); ++i) {
    auto byte = static_cast<unsigned char>(page[i]);
    if (page[i] == '\n') {
      ++line;
    } else if (page[i] == '\r') {
      return Fault(line, "carriage return (the handset would show it as part of the text)");
    } else if (byte < 0x20 || byte == 0x7F) {
      return Fault(line, "control character " + std::to_string(byte));
    }
    if (i == kMaxSurveyPageBytes) {
      return Fault(line, "page longer than " + std::to_string(kMaxSurveyPageBytes) + " bytes");
    }
  }
  return PageCheck();
}

PageCheck CheckBlock(PageReader& reader) {
  size_t start = reader.line();
  std::string_view text;
  if (!reader.ReadLine(&text)) return Fault(start, "question number line without line feed");
  if (!IsNumber(text)) return Fault(start, "question number expected");
  if (!reader.ReadLine(&text)) return Fault(start + 1, "question text without line feed");
  if (text.empty()) return Fault(start + 1, "empty question text");
  if (text[0] == '#' || text[0] == '^') {
    return Fault(start + 1, "question text may not begin with \"#\" or \"^\"");
  }
  std::set<std::string_view> numbers;
  size_t answers = 0;
  while (reader.AtEnd() || reader.Peek() != '#') {
    size_t line = reader.line();
    if (reader.AtEnd()) return Fault(line, "block not closed by \"#\"");
    if (!reader.ReadLine(&text)) return Fault(line, "answer line without line feed");
    size_t colon = text.find(':');
    if (colon == std::string_view::npos) return Fault(line, "answer line without \":\"");
    std::string_view number = text.substr(0, colon);
    if (!IsNumber(number)) return Fault(line, "answer number expected before \":\"");
    if (colon + 1 == text.size()) return Fault(line, "empty answer text");
    if (!numbers.insert(number).second) return Fault(line, "answer number used twice");
    if (++answers > kMaxSurveyAnswers) {
      return Fault(line, "more than " + std::to_string(kMaxSurveyAnswers) + " answers");
    }
  }
  if (answers == 0) return Fault(reader.line(), "question without answers");
  reader.Skip();  // the "#"
  return PageCheck();
}

}  // namespace

PageCheck CheckSurveyPage(std::string_view page) {
  if (page.empty()) return Fault(1, "empty page (a page without questions is \"^\")");
  PageCheck bytes = CheckBytes(page);
  if (!bytes.ok) return bytes;

  PageReader reader(page);
  size_t blocks = 0;
  while (reader.Peek() != '^') {
    if (blocks == kMaxSurveyBlocks) {
      return Fault(reader.line(), "more than three question blocks (or \"^\" missing)");
    }
    PageCheck block = CheckBlock(reader);
    if (!block.ok) return block;
    ++blocks;
    if (reader.AtEnd()) return Fault(reader.line(), "page does not end with \"^\"");
    if (reader.Peek() == '\n') {
      return Fault(reader.line(), "line feed after \"#\": the next block or \"^\" follows it");
    }
  }
  reader.Skip();  // the "^"
  size_t line = reader.line();
  for (char c : reader.Rest()) {
    if (c != '\n') return Fault(line, "text after the final \"^\"");
    ++line;
  }
  PageCheck check;
  check.blocks = blocks;
  return check;
}

}  // namespace kestrelio
