// Cost of one UserListInd page on the UDP thread (sign-in comparison against a full
// table, then the page store), and of formatting one call record.
#include <benchmark/benchmark.h>

#include <string>

#include "base/diag.h"
#include "net/presence/online_db.h"
#include "study/call_log.h"

namespace kestrelio {
namespace {

UserListFields FullPage(uint16_t page, uint16_t status) {
  UserListFields fields;
  fields.page = page;
  fields.page_count = 5;
  fields.entry_count = 20;
  fields.total = 100;
  for (uint16_t i = 0; i < 20; ++i) {
    fields.entries[i].status = status;
    fields.entries[i].phone.Assign("1206333" + std::to_string(1000 + page * 20 + i));
    fields.entries[i].user_name.Assign(std::string(31, 'n'));
  }
  return fields;
}

void BM_UserListPage(benchmark::State& state) {
  OnlineDb db;
  for (uint16_t p = 1; p <= 5; ++p) db.TakePage(FullPage(p, kStatusIdle));
  UserListFields page = FullPage(5, kStatusIdle);
  for (auto _ : state) {
    auto names = db.SignedInSince(page);
    benchmark::DoNotOptimize(names);
    db.TakePage(page);
  }
}
BENCHMARK(BM_UserListPage);

void BM_FormatCallRecord(benchmark::State& state) {
  CallRecord r;
  r.parties.device_id = "0123456789ABCDEF0123";
  r.parties.own_user_name = "Ann";
  r.peer_user_name = "Bob";
  r.status_ticks = 600;
  r.sent_frame_sum = 7000;
  for (auto _ : state) benchmark::DoNotOptimize(FormatCallRecord(r));
}
BENCHMARK(BM_FormatCallRecord);

}  // namespace
}  // namespace kestrelio

BENCHMARK_MAIN();
