#include "dialogs/history_list.h"

#include <array>

#include "base/diag.h"
#include "base/window/ids.h"
#include "dialogs/entry_text.h"

namespace kestrelio {
namespace {

constexpr std::array<std::string_view, 4> kCodes = {"IN*", "IN ", "OUT", "OU*"};

bool IsKnownCode(std::string_view code) {
  for (std::string_view known : kCodes) {
    if (code == known) return true;
  }
  return false;
}

// The first `max_bytes` bytes of `text`, cut back to a whole UTF-8 character.
std::string_view CutBytes(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

int HistoryIcon(std::string_view code) {
  if (!code.empty() && code[0] == 'I') {
    return code.size() >= 3 && code[2] == '*' ? kBitmapHistoryMissed : kBitmapHistoryIncoming;
  }
  return kBitmapHistoryOutgoing;
}

void HistoryReader::TakeLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty()) return;  // blank lines carry nothing
  line = CutBytes(line, kHistoryLineMaxChars);
  if (line.size() < kHistoryPrefixChars || !IsKnownCode(line.substr(0, 3)) ||
      line.substr(3, 2) != ", ") {
    ++dropped_;
    Diag("history: line without a call code dropped (%zu bytes)", line.size());
    return;
  }
  HistoryEntry entry;
  entry.code = std::string(line.substr(0, 3));
  entry.item_text = std::string(line.substr(kHistoryPrefixChars));
  entry.icon = HistoryIcon(entry.code);
  kept_.push_back(std::move(entry));
  if (kept_.size() > kHistoryKeptEntries) kept_.pop_front();
  ++taken_;
}

void HistoryReader::Append(std::string_view piece) {
  size_t start = 0;
  while (start <= piece.size()) {
    const size_t newline = piece.find('\n', start);
    const std::string_view part = piece.substr(
        start, newline == std::string_view::npos ? std::string_view::npos : newline - start);
    // Keep at most one byte beyond the limit: enough to see a CR LF after a full line.
    if (!pending_overlong_) {
      const size_t room = kHistoryLineMaxChars + 1 - pending_.size();
      if (part.size() > room) {
        pending_.append(part.substr(0, room));
        pending_overlong_ = true;
      } else {
        pending_.append(part);
      }
    }
    if (newline == std::string_view::npos) return;
    EndLine();
    start = newline + 1;
  }
}

void HistoryReader::EndLine() {
  if (pending_overlong_) {
    Diag("history: line longer than %zu characters cut to one entry", kHistoryLineMaxChars);
  }
  TakeLine(pending_);
  pending_.clear();
  pending_overlong_ = false;
}

void HistoryReader::TakeStream(std::FILE* file) {
  std::array<char, 4096> buffer;
  size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
    Append(std::string_view(buffer.data(), got));
  }
  if (!pending_.empty()) EndLine();  // a last line without its line end
}

void HistoryReader::TakeText(std::string_view text) {
  Append(text);
  if (!pending_.empty()) EndLine();
}

std::string HistoryRewriteText(const std::vector<HistoryEntry>& entries) {
  std::string text;
  for (const HistoryEntry& entry : entries) {
    text += entry.code;
    text += ", ";
    text += entry.item_text;
    text += "\r\n";
  }
  return text;
}

}  // namespace kestrelio
