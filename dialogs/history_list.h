// The call history as the History dialog reads it: the last 30 well-formed lines of
// history_info.txt, and the text that replaces the file when it has grown to 30 lines
// or more.
//
// A line is "CODE, [MM/DD hh:mm] name, number" with CR LF, CODE one of "IN*", "IN ",
// "OUT", "OU*". Reading is bounded: a line longer than 98 characters (a damaged file)
// keeps its first 98 and gives one entry; a line without a known code or without the
// ", " after it is dropped with a diagnostic line.
#pragma once

#include <cstddef>
#include <cstdio>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelio {

inline constexpr size_t kHistoryKeptEntries = 30;
inline constexpr size_t kHistoryLineMaxChars = 98;
// "CODE, ": what the list item leaves out.
inline constexpr size_t kHistoryPrefixChars = 5;
// "[MM/DD hh:mm] ": what Sign skips before splitting the item into name and number.
inline constexpr size_t kHistoryTimeChars = 14;

struct HistoryEntry {
  std::string code;       // "IN*", "IN ", "OUT" or "OU*"
  std::string item_text;  // the line without "CODE, "
  int icon = 0;           // bitmap 152 missed, 150 incoming, 151 outgoing
};

// First character 'I' and third '*': missed (152); 'I' otherwise: incoming (150);
// anything else outgoing (151).
int HistoryIcon(std::string_view code);

// Collects history lines; only the last kHistoryKeptEntries stay.
class HistoryReader {
 public:
  // One line without its line end (a trailing CR is removed here).
  void TakeLine(std::string_view line);
  // Reads a whole stream in bounded pieces.
  void TakeStream(std::FILE* file);
  // Reads a whole text (tests).
  void TakeText(std::string_view text);

  // Oldest first.
  std::vector<HistoryEntry> Entries() const { return {kept_.begin(), kept_.end()}; }
  size_t lines_taken() const { return taken_; }
  size_t lines_dropped() const { return dropped_; }
  // The file is trimmed once it holds kHistoryKeptEntries entries or more.
  bool NeedsRewrite() const { return taken_ >= kHistoryKeptEntries; }

 private:
  void EndLine();
  void Append(std::string_view piece);

  std::deque<HistoryEntry> kept_;
  size_t taken_ = 0;
  size_t dropped_ = 0;
  // The line being read from a stream, at most kHistoryLineMaxChars + 1 bytes: the
  // extra byte tells whether a trailing CR belongs to a line that fitted.
  std::string pending_;
  bool pending_overlong_ = false;
};

// The replacement file: every entry, oldest first, as "CODE, item text" with CR LF.
// Each entry keeps its own code.
std::string HistoryRewriteText(const std::vector<HistoryEntry>& entries);

}  // namespace kestrelio
