// The store on a real database file: records land in their tables once, refused records
// and the raw upload are kept, nothing is stored when the transaction cannot commit, and
// the researcher queries read it back filtered and escaped.
#include "servers/study/study_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "record_samples.h"
#include "servers/study/research_pages.h"
#include "servers/study/research_query.h"

namespace kestrelio {
namespace {

class StoreTest : public testing::Test {
 protected:
  StoreTest() {
    char path[] = "/tmp/kestrelio-study-store-XXXXXX";
    folder_ = mkdtemp(path);
    db_path_ = folder_ + "/study.db";
  }
  ~StoreTest() override { std::filesystem::remove_all(folder_); }

  std::optional<StoreResult> Store(StudyStore& store, UploadKind kind, const std::string& data) {
    UploadContent content = ParseUploadData(kind, data);
    return store.StoreUpload({kind, "127.0.0.9", "2026-01-03 08:00:00"}, data, content);
  }

  int64_t CountRows(const std::string& sql) {
    SqliteDb db(db_path_, DbAccess::kReadOnly);
    SqliteStatement statement = db.Prepare(sql);
    return statement.Step() == SQLITE_ROW ? statement.ColumnInt(0) : -1;
  }

  std::string folder_;
  std::string db_path_;
};

TEST_F(StoreTest, EveryKindLandsInItsTable) {
  StudyStore store(db_path_);
  ASSERT_TRUE(store.ok());
  EXPECT_EQ(Store(store, UploadKind::kCallLog,
                  samples::CallRecord() + "\r\n" + samples::UnansweredRecord() + "\r\n")
                ->stored,
            2u);
  EXPECT_EQ(Store(store, UploadKind::kBatteryLog, samples::BatteryRecord() + "\r\n")->stored, 1u);
  EXPECT_EQ(Store(store, UploadKind::kIpLog, samples::IpRecord() + "\r\n")->stored, 1u);
  EXPECT_EQ(Store(store, UploadKind::kProgramLog, samples::ProgramRecord() + "\r\n")->stored, 1u);
  EXPECT_EQ(Store(store, UploadKind::kSurveyResults,
                  samples::SurveyResponse(4, 17) + samples::SurveyResponse(6, 25))
                ->stored,
            2u);
  for (const char* table : {"calls", "unanswered_calls", "battery", "ip", "program_runs"}) {
    EXPECT_EQ(CountRows(std::string("SELECT COUNT(*) FROM ") + table), 1) << table;
  }
  EXPECT_EQ(CountRows("SELECT COUNT(*) FROM survey_responses"), 2);
  EXPECT_EQ(CountRows("SELECT COUNT(*) FROM uploads"), 5);
  EXPECT_EQ(CountRows("SELECT answer FROM survey_responses WHERE question = 4"), 17);
  EXPECT_EQ(CountRows("SELECT duration_s FROM calls"), 65);
}

TEST_F(StoreTest, ARecordPostedAgainIsStoredOnce) {
  StudyStore store(db_path_);
  std::string first = samples::BatteryRecord() + "\r\n";
  std::string retried = first + samples::BatteryRecord().replace(22, 1, "0") + "\r\n";
  auto one = Store(store, UploadKind::kBatteryLog, first);
  auto two = Store(store, UploadKind::kBatteryLog, retried);
  ASSERT_TRUE(one && two);
  EXPECT_EQ(one->stored, 1u);
  EXPECT_EQ(two->stored, 1u);
  EXPECT_EQ(two->duplicates, 1u);
  EXPECT_EQ(CountRows("SELECT COUNT(*) FROM battery"), 2);
  // Both uploads are kept as they came.
  EXPECT_EQ(CountRows("SELECT COUNT(*) FROM uploads"), 2);
  EXPECT_EQ(CountRows("SELECT duplicates FROM uploads WHERE id = 2"), 1);
}

TEST_F(StoreTest, RefusedRecordsAreKeptWithTheRawUpload) {
  StudyStore store(db_path_);
  std::string data = "junk & more\r\n" + samples::IpRecord() + "\r\n";
  auto result = Store(store, UploadKind::kIpLog, data);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->stored, 1u);
  EXPECT_EQ(result->refused, 1u);
  EXPECT_EQ(
      CountRows("SELECT COUNT(*) FROM refused_records WHERE CAST(raw AS TEXT) = 'junk & more' "
                "AND first_line = 1"),
      1);
  EXPECT_EQ(CountRows("SELECT length(data) FROM uploads"), static_cast<int64_t>(data.size()));
  EXPECT_EQ(CountRows("SELECT refused FROM uploads"), 1);
}

TEST_F(StoreTest, NothingIsStoredWhenTheTransactionCannotCommit) {
  StudyStore store(db_path_);
  ASSERT_TRUE(store.ok());
  {
    // Another writer holds the database past the store's busy wait.
    SqliteDb other(db_path_, DbAccess::kReadWrite);
    ASSERT_TRUE(other.Exec("BEGIN EXCLUSIVE"));
    EXPECT_FALSE(Store(store, UploadKind::kProgramLog, samples::ProgramRecord() + "\r\n"));
    other.Exec("ROLLBACK");
  }
  EXPECT_EQ(CountRows("SELECT COUNT(*) FROM uploads"), 0);
  EXPECT_EQ(CountRows("SELECT COUNT(*) FROM program_runs"), 0);
  // The store works again once the other writer is gone.
  EXPECT_TRUE(Store(store, UploadKind::kProgramLog, samples::ProgramRecord() + "\r\n"));
}

TEST_F(StoreTest, ReopeningKeepsTheData) {
  {
    StudyStore store(db_path_);
    Store(store, UploadKind::kProgramLog, samples::ProgramRecord() + "\r\n");
  }
  StudyStore again(db_path_);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(Store(again, UploadKind::kProgramLog, samples::ProgramRecord() + "\r\n")->duplicates,
            1u);
}

TEST_F(StoreTest, ResearchQueriesFilterByDeviceAndDate) {
  StudyStore store(db_path_);
  std::string other_device = samples::BatteryRecord().replace(0, 4, "FFFF");
  std::string next_day = samples::BatteryRecord().replace(42, 2, "05");  // 2026-01-05
  Store(store, UploadKind::kBatteryLog,
        samples::BatteryRecord() + "\r\n" + other_device + "\r\n" + next_day + "\r\n");
  ResearchQuery query(db_path_);
  ASSERT_TRUE(query.ok());
  const TableLayout& battery = LayoutOf(StudyTable::kBattery);
  std::string why;
  EXPECT_EQ(query.Count(battery, *MakeFilter("", "", "", &why)), 3);
  EXPECT_EQ(query.Count(battery, *MakeFilter(samples::kDevice, "", "", &why)), 2);
  EXPECT_EQ(query.Count(battery, *MakeFilter("", "2026-01-02", "2026-01-02", &why)), 2);
  EXPECT_EQ(query.Count(battery, *MakeFilter("", "2026-01-03", "", &why)), 1);
  EXPECT_EQ(query.Count(battery, *MakeFilter(samples::kDevice, "2026-01-05", "", &why)), 1);
  EXPECT_FALSE(MakeFilter("'; DROP TABLE battery; --", "", "", &why));
  EXPECT_FALSE(MakeFilter("", "yesterday", "", &why));

  auto handsets = query.Handsets(*MakeFilter("", "", "", &why));
  ASSERT_EQ(handsets.size(), 2u);
  EXPECT_EQ(handsets[0].device, samples::kDevice);
  EXPECT_EQ(handsets[0].last_upload_kind, "battery_log");

  // CSV pages continue after the last id.
  auto first = query.After(battery, *MakeFilter("", "", "", &why), 0, 2);
  ASSERT_EQ(first.size(), 2u);
  auto rest = query.After(battery, *MakeFilter("", "", "", &why), std::stoll(*first[1][0]), 2);
  EXPECT_EQ(rest.size(), 1u);
}

TEST_F(StoreTest, OverviewEscapesRecordText) {
  StudyStore store(db_path_);
  Store(store, UploadKind::kCallLog, samples::CallRecord("<img src=x onerror=alert(1)>") + "\r\n");
  Store(store, UploadKind::kCallLog, "<script>bad</script>\r\n");
  ResearchQuery query(db_path_);
  std::string why;
  std::string html = RenderOverview(query, *MakeFilter("", "", "", &why));
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_NE(html.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;bad"), std::string::npos);  // the refused record
  EXPECT_NE(html.find("/study/calls.csv"), std::string::npos);

  const TableLayout& calls = LayoutOf(StudyTable::kCalls);
  std::string csv = CsvHeader(calls) + CsvRows(calls, query.After(calls, {}, 0, 10));
  EXPECT_TRUE(csv.starts_with("id,upload,device,direction,user_name,")) << csv;
  EXPECT_NE(csv.find(",<img src=x onerror=alert(1)>,"), std::string::npos) << csv;
}

}  // namespace
}  // namespace kestrelio
