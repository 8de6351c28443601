// Reading and trimming the call history file for the History dialog.
//
// The trim never loses the file: the kept entries go to "<file>.new", which is written
// whole, flushed to disk and only then renamed over the old file, and the folder is
// flushed after the rename. Any failure leaves the old file as it was. The caller holds
// the history file's lock (the one its appends take), so no line appended meanwhile
// can fall into the replaced file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dialogs/history_list.h"

namespace kestrelio {

// The last 30 entries of the file at `path`, oldest first (none when it does not
// exist). When it held 30 or more entries it is replaced by exactly those.
std::vector<HistoryEntry> LoadHistory(const std::string& path);

// Writes `content` to `path` + ".new", flushes it, renames it over `path` and flushes
// the folder. False with a diagnostic line, and `path` untouched, on any failure.
bool ReplaceFileAtomically(const std::string& path, std::string_view content);

}  // namespace kestrelio
