// Server-side cost of one 100-record call-log upload: parsing it, and storing it (with
// its records new, and as a retry whose records are all stored already) in a database
// file with the server's settings. Also the start-up check of a survey page.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/diag.h"
#include "servers/study/study_store.h"
#include "servers/study/survey_page_check.h"
#include "servers/study/upload_intake.h"

namespace kestrelio {
namespace {

std::string CallLog(int upload, int records) {
  std::string data;
  char line[512];
  for (int r = 0; r < records; ++r) {
    std::snprintf(line, sizeof line,
                  "0123456789ABCDEF0123, OUTGOING, null, Ann, 01234567890, 1.2.3.4, 10.0.0.1, "
                  "note, Peer, 09876543210, 5.6.7.8, 10.0.0.2, %d, 2026-01-02 10:00:00, "
                  "2026-01-02 10:01:05, 11.500000, 10.250000, 3, 12345, %d, 5, 51.1234, "
                  "-0.1234, 0.0000, 6, 51.1240, -0.1230, 1.5000, 80, 75\r\n",
                  upload, r);
    data += line;
  }
  return data;
}

void BM_ParseCallLog(benchmark::State& state) {
  std::string data = CallLog(1, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    UploadContent content = ParseUploadData(UploadKind::kCallLog, data);
    benchmark::DoNotOptimize(content.records.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_ParseCallLog)->Arg(100);

class TempDatabase {
 public:
  TempDatabase() {
    char path[] = "/tmp/kestrelio-study-bench-XXXXXX";
    folder_ = mkdtemp(path);
  }
  ~TempDatabase() { std::filesystem::remove_all(folder_); }
  std::string path() const { return folder_ + "/study.db"; }

 private:
  std::string folder_;
};

// state.range(1): 1 = every upload new, 0 = the same upload again (all duplicates).
void BM_StoreCallLog(benchmark::State& state) {
  DiagQuietScope quiet;
  TempDatabase folder;
  StudyStore store(folder.path());
  bool fresh = state.range(1) != 0;
  int upload = 0;
  std::string data = CallLog(upload, static_cast<int>(state.range(0)));
  UploadContent content = ParseUploadData(UploadKind::kCallLog, data);
  for (auto _ : state) {
    if (fresh) {
      state.PauseTiming();
      data = CallLog(++upload, static_cast<int>(state.range(0)));
      content = ParseUploadData(UploadKind::kCallLog, data);
      state.ResumeTiming();
    }
    auto result = store.StoreUpload({UploadKind::kCallLog, "127.0.0.1", "2026-01-02 10:00:00"},
                                    data, content);
    if (!result) state.SkipWithError("store failed");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StoreCallLog)->Args({100, 1})->Args({100, 0})->UseRealTime();

void BM_CheckSurveyPage(benchmark::State& state) {
  std::string page =
      "4\nDid you sign with the other person in this call?\n16:Yes\n17:No\n#5\n"
      "How well could you understand the signs?\n20:Very well\n21:Well\n22:With some effort\n"
      "23:Poorly\n24:Not at all\n#6\nHow smooth was the video?\n25:Smooth\n26:Some stutter\n"
      "27:Often frozen\n#^\n";
  for (auto _ : state) benchmark::DoNotOptimize(CheckSurveyPage(page).ok);
}
BENCHMARK(BM_CheckSurveyPage);

}  // namespace
}  // namespace kestrelio

BENCHMARK_MAIN();
