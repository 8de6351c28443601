// User list pages into one Online DB: through the wire parser, and as raw field values
// the parser would refuse. The table never holds more than 100 entries, and the sign-in
// text stays within its 1023 bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/diag.h"
#include "net/presence/online_db.h"
#include "net/presence/presence_client.h"

namespace kestrelio {
namespace {

uint16_t Word(std::span<const uint8_t> data, size_t at) {
  if (at + 1 >= data.size()) return 0;
  return static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
}

void Take(OnlineDb& db, const UserListFields& page) {
  std::string text = SignInText(db.SignedInSince(page));
  if (text.size() > 1023) std::abort();
  db.TakePage(page);
  if (db.Count() > kOnlineDbCapacity || db.Snapshot().size() != db.Count()) std::abort();
}

}  // namespace
}  // namespace kestrelio

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrelio;
  static DiagQuietScope quiet;
  static OnlineDb db;  // kept across inputs: pages meet earlier tables
  std::span<const uint8_t> bytes(data, size);
  if (auto page = ParseUserListInd(bytes)) Take(db, *page);

  UserListFields raw;
  raw.page = Word(bytes, 0);
  raw.page_count = Word(bytes, 2);
  raw.entry_count = static_cast<uint16_t>(Word(bytes, 4) % (kUserListPageEntries + 1));
  raw.total = Word(bytes, 6);
  for (size_t i = 0; i < raw.entry_count; ++i) {
    raw.entries[i].status = static_cast<uint16_t>(Word(bytes, 8 + i) % 3);
    raw.entries[i].phone.Assign(std::to_string(Word(bytes, 8 + 2 * i) % 8));
    raw.entries[i].user_name.Assign(std::string(Word(bytes, 9 + i) % 32, 'n'));
  }
  Take(db, raw);
  return 0;
}
