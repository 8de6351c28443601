// The real kestrelio-study-server on 127.0.0.7 with a temporary database, spoken to over
// HTTP as the handset and a researcher would.
#include "study_server_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "http_client.h"
#include "servers/study/sqlite_db.h"

namespace kestrelio {
namespace {

constexpr const char* kDevice = "0123456789ABCDEF0123";
constexpr const char* kUploadRoot = "/research/kestrelio/fstd/";
constexpr const char* kResearcherPassword = "field-study-2026";

std::string CallRecord(const std::string& user_name, int duration_s = 65) {
  return std::string(kDevice) + ", INCOMING, null, " + user_name +
         ", 01234567890, 1.2.3.4, 10.0.0.1, note, Peer, 09876543210, 5.6.7.8, 10.0.0.2, " +
         std::to_string(duration_s) +
         ", 2026-01-02 10:00:00, 2026-01-02 10:01:05, 11.500000, 10.250000, 3, 12345, 23456, 5, "
         "51.1234, -0.1234, 0.0000, 6, 51.1240, -0.1230, 1.5000, 80, 75\r\n";
}

std::string UnansweredRecord() {
  return std::string(kDevice) +
         ", outgoing, busy, Ann, 01234567890, 1.2.3.4, 10.0.0.1, note, Bo, 09876543210, "
         "5.6.7.8, 10.0.0.2, null, 2026-01-02 11:00:00, null, null, null, null, null, null, 4, "
         "51.1234, -0.1234, 0.0000, null, null, null, null, 80, null\r\n";
}

std::string SurveyResponse(int question, int answer) {
  return "<response trigger=\"after_call\">\r\n\t<device>" + std::string(kDevice) +
         "</device>\r\n\t<qid>" + std::to_string(question) + "</qid>\r\n\t<aid>" +
         std::to_string(answer) +
         "</aid>\r\n\t<showtime>2026-01-02 10:02:00</showtime>\r\n"
         "\t<submittime>2026-01-02 10:02:07</submittime>\r\n</response>\r\n";
}

std::string Upload(const std::string& data) { return "passwd=qorvantex&data=" + data; }

bool IsSuccess(const HttpReply& reply) { return reply.body.rfind("success", 0) == 0; }

class StudyServerTest : public testing::Test {
 protected:
  HttpReply Post(StudyServerProcess& server, const std::string& file, const std::string& body) {
    return client_.Post(server.base_url() + kUploadRoot + file, body);
  }

  // One value from the server's database, read beside it.
  static std::string Query(StudyServerProcess& server, const std::string& sql) {
    SqliteDb db(server.db_path(), DbAccess::kReadOnly);
    SqliteStatement statement = db.Prepare(sql);
    if (!statement.ok() || statement.Step() != SQLITE_ROW) return "<no row>";
    return std::string(statement.ColumnText(0));
  }

  HttpClient client_;
};

TEST_F(StudyServerTest, EveryUploadIsStoredAndParsed) {
  StudyServerProcess server;
  ASSERT_TRUE(server.running()) << server.Errors();
  struct Case {
    const char* file;
    std::string data;
    const char* table;
  };
  const Case cases[] = {
      {"calllogprocess.php", CallRecord("Ann") + UnansweredRecord(), "calls"},
      {"batterylogprocess.php", std::string(kDevice) + ", 1, plugged, 2026-01-02 12:00:00, 64\r\n",
       "battery"},
      {"iplogprocess.php",
       std::string(kDevice) +
           ", 1, disconnected, 2026-01-02 12:00:10, 0, 0.0000, 0.0000, 0.0000\r\n",
       "ip"},
      {"programlogprocess.php",
       std::string(kDevice) + ", 2026-01-02 09:00:00, 2026-01-02 17:30:00\r\n", "program_runs"},
      {"surveyresults.php", SurveyResponse(4, 17) + SurveyResponse(5, 19), "survey_responses"},
  };
  for (const Case& c : cases) {
    HttpReply reply = Post(server, c.file, Upload(c.data));
    EXPECT_EQ(reply.status, 200) << c.file;
    EXPECT_TRUE(IsSuccess(reply)) << c.file << ": " << reply.body;
    EXPECT_EQ(Query(server, std::string("SELECT device FROM ") + c.table), kDevice) << c.table;
  }
  EXPECT_EQ(Query(server, "SELECT outcome FROM unanswered_calls"), "busy");
  EXPECT_EQ(Query(server, "SELECT level FROM battery"), "64");
  EXPECT_EQ(Query(server, "SELECT address FROM ip"), "disconnected");
  EXPECT_EQ(Query(server, "SELECT last_seen FROM program_runs"), "2026-01-02 17:30:00");
  EXPECT_EQ(Query(server, "SELECT group_concat(answer) FROM survey_responses"), "17,19");
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM uploads"), "5");
  EXPECT_EQ(Query(server, "SELECT remote_address FROM uploads LIMIT 1"), "127.0.0.1");
  EXPECT_EQ(Query(server, "SELECT kind || ' ' || device FROM uploads WHERE id = 5"),
            std::string("survey_results ") + kDevice);
  // One JSON line per request.
  EXPECT_TRUE(server.WaitForLog("\"kind\":\"survey_results\""));
  EXPECT_NE(server.Log().find("\"stored\":2"), std::string::npos);
}

TEST_F(StudyServerTest, RawUserNameArrivesUnchanged) {
  StudyServerProcess server;
  ASSERT_TRUE(server.running()) << server.Errors();
  // Form decoding would turn "+" into a space, "%4" into garbage and split at "&".
  const std::string name = "A&=+%41&data=x";
  HttpReply reply = Post(server, "calllogprocess.php", Upload(CallRecord(name)));
  EXPECT_TRUE(IsSuccess(reply)) << reply.body;
  EXPECT_EQ(Query(server, "SELECT user_name FROM calls"), name);
  EXPECT_EQ(Query(server, "SELECT CAST(data AS TEXT) FROM uploads"), CallRecord(name));
}

TEST_F(StudyServerTest, ARepeatedPostIsStoredOnce) {
  StudyServerProcess server;
  ASSERT_TRUE(server.running()) << server.Errors();
  std::string first = CallRecord("Ann", 10);
  ASSERT_TRUE(IsSuccess(Post(server, "calllogprocess.php", Upload(first))));
  // The handset could not rename its file: the same records come again with a new one.
  HttpReply again = Post(server, "calllogprocess.php", Upload(first + CallRecord("Ann", 20)));
  EXPECT_TRUE(IsSuccess(again)) << again.body;
  EXPECT_NE(again.body.find("1 stored, 1 already stored"), std::string::npos) << again.body;
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM calls"), "2");
  EXPECT_EQ(Query(server, "SELECT group_concat(duration_s) FROM calls"), "10,20");
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM uploads"), "2");
}

TEST_F(StudyServerTest, LargeUploadsAreTakenWhole) {
  StudyServerProcess server;
  ASSERT_TRUE(server.running()) << server.Errors();
  // A form body over a few KiB must not be refused or form-decoded on the way in.
  std::string data;
  for (int i = 0; i < 4000; ++i) data += CallRecord("A+B&C=%", i);
  ASSERT_GT(data.size(), 1u << 20);
  HttpReply reply = Post(server, "calllogprocess.php", Upload(data));
  EXPECT_EQ(reply.status, 200);
  EXPECT_TRUE(IsSuccess(reply)) << reply.body;
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM calls WHERE user_name = 'A+B&C=%'"), "4000");
  EXPECT_EQ(Query(server, "SELECT size FROM uploads"), std::to_string(data.size()));
}

TEST_F(StudyServerTest, UploadsAtTheSameTimeAreAllStored) {
  StudyServerProcess server;
  ASSERT_TRUE(server.running()) << server.Errors();
  constexpr int kClients = 6;
  constexpr int kUploadsEach = 10;
  std::vector<std::thread> clients;
  std::atomic<int> successes{0};
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      HttpClient client;
      for (int u = 0; u < kUploadsEach; ++u) {
        // Every client also repeats one record all the others send.
        std::string data = CallRecord("Ann", 1000 * c + u) + CallRecord("Shared", 1);
        HttpReply reply =
            client.Post(server.base_url() + kUploadRoot + "calllogprocess.php", Upload(data));
        if (IsSuccess(reply)) successes.fetch_add(1);
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(successes.load(), kClients * kUploadsEach);
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM calls"),
            std::to_string(kClients * kUploadsEach + 1));
  EXPECT_EQ(Query(server, "SELECT SUM(stored) || ' ' || SUM(duplicates) FROM uploads"),
            std::to_string(kClients * kUploadsEach + 1) + " " +
                std::to_string(kClients * kUploadsEach - 1));
}

TEST_F(StudyServerTest, RefusalsNeverSaySuccess) {
  StudyServerProcess server;
  ASSERT_TRUE(server.running()) << server.Errors();
  std::string data = CallRecord("Ann");

  HttpReply wrong_password = Post(server, "calllogprocess.php", "passwd=guess&data=" + data);
  EXPECT_EQ(wrong_password.status, 403);
  EXPECT_FALSE(IsSuccess(wrong_password)) << wrong_password.body;

  HttpReply no_form = Post(server, "calllogprocess.php", data);
  EXPECT_EQ(no_form.status, 400);
  EXPECT_FALSE(IsSuccess(no_form));

  HttpReply unknown = Post(server, "otherprocess.php", Upload(data));
  EXPECT_EQ(unknown.status, 404);
  EXPECT_FALSE(IsSuccess(unknown));

  HttpReply bad_record = Post(server, "batterylogprocess.php", Upload("success\r\n"));
  EXPECT_EQ(bad_record.status, 422);
  EXPECT_FALSE(IsSuccess(bad_record)) << bad_record.body;
  EXPECT_NE(bad_record.body.find("nothing parsed, 1 refused (1 lines)"), std::string::npos)
      << bad_record.body;

  HttpReply huge = Post(server, "calllogprocess.php", Upload(std::string(16 << 20, 'x')));
  EXPECT_FALSE(IsSuccess(huge)) << huge.body.substr(0, 80);
  EXPECT_TRUE(server.WaitForLog("\"status\":413"));

  // Nothing of these reached a table; the bad record's upload is kept as sent.
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM calls"), "0");
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM uploads"), "1");
  EXPECT_EQ(Query(server, "SELECT CAST(raw AS TEXT) FROM refused_records"), "success");
}

TEST_F(StudyServerTest, GoodRecordsAreStoredBesideABadOne) {
  StudyServerProcess server;
  ASSERT_TRUE(server.running()) << server.Errors();
  HttpReply reply = Post(server, "calllogprocess.php",
                         Upload(CallRecord("Ann") + "a, broken, line\r\n" + UnansweredRecord()));
  // Replied as taken, so the handset moves its file on; the bad line is kept here.
  EXPECT_TRUE(IsSuccess(reply)) << reply.body;
  EXPECT_NE(reply.body.find("1 refused (1 lines)"), std::string::npos) << reply.body;
  EXPECT_TRUE(server.WaitForLog("\"refused\":1,\"refused_lines\":1"));
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM calls"), "1");
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM unanswered_calls"), "1");
  EXPECT_EQ(Query(server, "SELECT first_line || ' ' || CAST(raw AS TEXT) FROM refused_records"),
            "2 a, broken, line");
}

TEST_F(StudyServerTest, AnUploadThatCannotBeStoredIsNotASuccess) {
  StudyServerProcess server;
  ASSERT_TRUE(server.running()) << server.Errors();
  {
    SqliteDb other(server.db_path(), DbAccess::kReadWrite);
    ASSERT_TRUE(other.Exec("BEGIN EXCLUSIVE"));
    HttpReply reply = Post(server, "calllogprocess.php", Upload(CallRecord("Ann")));
    EXPECT_EQ(reply.status, 500);
    EXPECT_FALSE(IsSuccess(reply)) << reply.body;
    other.Exec("ROLLBACK");
  }
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM uploads"), "0");
  EXPECT_TRUE(IsSuccess(Post(server, "calllogprocess.php", Upload(CallRecord("Ann")))));
}

TEST_F(StudyServerTest, SurveyPagesFromTheDefaultBank) {
  StudyServerProcess server;
  ASSERT_TRUE(server.running()) << server.Errors();
  std::string url = server.base_url() +
                    "/research/kestrelio/fstd/survey.php?passwd=qorvantex&id=" + kDevice + "&trig=";
  HttpReply page = client_.Get(url + "after_call");
  EXPECT_EQ(page.status, 200);
  EXPECT_TRUE(page.body.starts_with("4\n")) << page.body;
  EXPECT_NE(page.body.find("17:"), std::string::npos);
  EXPECT_TRUE(page.body.ends_with("#^\n")) << page.body;
  for (const char* trigger :
       {"after_call_short", "after_call_privacy", "decline_call", "missed_call", "ip_change",
        "gps_change", "receive_text", "sent_text", "vrs_call"}) {
    HttpReply other = client_.Get(url + trigger);
    EXPECT_EQ(other.status, 200) << trigger;
    EXPECT_NE(other.body, "^") << trigger;
  }
  HttpReply unknown = client_.Get(url + "lunch");
  EXPECT_EQ(unknown.status, 404);
  EXPECT_EQ(unknown.body, "^");
  HttpReply wrong = client_.Get(
      server.base_url() + "/research/kestrelio/fstd/survey.php?passwd=x&id=1&trig=after_call");
  EXPECT_EQ(wrong.status, 403);
  EXPECT_EQ(wrong.body, "^");
  EXPECT_TRUE(server.WaitForLog("\"trigger\":\"lunch\""));
  // The password in the query is not logged.
  EXPECT_EQ(server.Log().find("qorvantex"), std::string::npos);
}

TEST_F(StudyServerTest, BadPageIsRefusedAtStartUpNamingFileAndLine) {
  std::string bank = MakeTempFolder();
  ASSERT_FALSE(bank.empty());
  auto write = [&](const std::string& name, const std::string& text) {
    FILE* file = std::fopen((bank + "/" + name).c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  };
  write("after_call.txt", "4\nDid you sign?\n16 Yes\n17:No\n#^");
  write("missed_call.txt", "10\nWhy did you miss the call?\n45:Did not notice\n#^");
  StudyServerProcess server({"--surveys", bank});
  ASSERT_TRUE(server.running()) << server.Errors();
  std::string where = bank + "/after_call.txt:3:";
  EXPECT_NE(server.Errors().find(where), std::string::npos) << server.Errors();
  EXPECT_NE(server.Log().find("\"event\":\"survey-page-refused\",\"file\":\"" + bank +
                              "/after_call.txt\",\"line\":3"),
            std::string::npos)
      << server.Log();
  std::string url = server.base_url() +
                    "/research/kestrelio/fstd/survey.php?passwd=qorvantex&id=" + kDevice + "&trig=";
  EXPECT_EQ(client_.Get(url + "after_call").body, "^");    // refused
  EXPECT_EQ(client_.Get(url + "decline_call").body, "^");  // no file
  EXPECT_EQ(client_.Get(url + "missed_call").body,
            "10\nWhy did you miss the call?\n45:Did not notice\n#^");
  std::filesystem::remove_all(bank);
}

TEST_F(StudyServerTest, ResearcherPagesNeedThePassword) {
  std::string secrets = MakeTempFolder();
  ASSERT_FALSE(secrets.empty());
  std::string password_file = secrets + "/researcher-password";
  std::ofstream(password_file) << kResearcherPassword << "\n";
  StudyServerProcess with_password({"--researcher-password-file", password_file});
  ASSERT_TRUE(with_password.running()) << with_password.Errors();

  // Without a password file there is no researcher page at all.
  StudyServerProcess without({}, "127.0.0.8");
  ASSERT_TRUE(without.running()) << without.Errors();
  EXPECT_EQ(
      client_.Get(without.base_url() + "/study/", "x:" + std::string(kResearcherPassword)).status,
      404);

  ASSERT_TRUE(
      IsSuccess(Post(with_password, "calllogprocess.php", Upload(CallRecord("<b>Ann</b>")))));
  std::string root = with_password.base_url() + "/study/";
  EXPECT_EQ(client_.Get(root).status, 401);
  EXPECT_EQ(client_.Get(root, "x:wrong").status, 401);
  EXPECT_EQ(client_.Get(root + "calls.csv").status, 401);

  HttpReply page = client_.Get(root, std::string("anyone:") + kResearcherPassword);
  EXPECT_EQ(page.status, 200);
  for (const char* heading : {"Handsets", "Calls", "Unanswered calls", "Battery", "IP addresses",
                              "Program runs", "Survey answers", "Refused records"}) {
    EXPECT_NE(page.body.find(std::string(">") + heading), std::string::npos) << heading;
  }
  EXPECT_NE(page.body.find(kDevice), std::string::npos);
  EXPECT_EQ(page.body.find("<b>Ann"), std::string::npos);
  EXPECT_NE(page.body.find("&lt;b&gt;Ann&lt;/b&gt;"), std::string::npos);

  std::string credentials = std::string("x:") + kResearcherPassword;
  HttpReply csv =
      client_.Get(root + "calls.csv?device=" + kDevice + "&from=2026-01-02", credentials);
  EXPECT_EQ(csv.status, 200);
  EXPECT_TRUE(csv.body.starts_with("id,upload,device,direction,user_name")) << csv.body;
  EXPECT_NE(csv.body.find(",<b>Ann</b>,"), std::string::npos) << csv.body;
  HttpReply later = client_.Get(root + "calls.csv?from=2026-02-01", credentials);
  EXPECT_EQ(later.body.find(kDevice), std::string::npos) << later.body;
  EXPECT_EQ(client_.Get(root + "calls.csv?device=nope", credentials).status, 400);
  EXPECT_EQ(client_.Get(root + "uploads.csv", credentials).status, 404);
  // Reading the pages changed nothing.
  EXPECT_EQ(Query(with_password, "SELECT COUNT(*) FROM calls"), "1");
  std::filesystem::remove_all(secrets);
}

class StudyServerStopTest : public StudyServerTest, public testing::WithParamInterface<int> {};

TEST_P(StudyServerStopTest, StopsCleanlyOnSignal) {
  StudyServerProcess server;
  ASSERT_TRUE(server.running()) << server.Errors();
  ASSERT_TRUE(IsSuccess(Post(server, "calllogprocess.php", Upload(CallRecord("Ann")))));
  EXPECT_EQ(server.Stop(GetParam()), 0);
  EXPECT_NE(server.Log().find("\"event\":\"stopped\",\"signal\":" + std::to_string(GetParam())),
            std::string::npos)
      << server.Log();
  // The database is whole and holds the upload.
  EXPECT_EQ(Query(server, "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(Query(server, "SELECT COUNT(*) FROM calls"), "1");
}

INSTANTIATE_TEST_SUITE_P(Signals, StudyServerStopTest, testing::Values(SIGTERM, SIGINT));

}  // namespace
}  // namespace kestrelio
