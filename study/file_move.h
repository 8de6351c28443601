// Moving an uploaded study file to its rotated name without ever replacing a file that
// is already there.
#pragma once

#include <string>

namespace kestrelio {

// Moves `from` to `to`. Fails (false, errno set) when `to` exists: an earlier upload's
// copy is never overwritten. Uses renameat2(RENAME_NOREPLACE), or link + unlink on
// file systems without it.
bool MoveWithoutReplacing(const std::string& from, const std::string& to);

}  // namespace kestrelio
