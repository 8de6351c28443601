#include "base/diag_fold.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/diag.h"

namespace kestrelio {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/kestrelio_diag_XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

constexpr char kJunk[] = "junk datagram from %s";
constexpr char kOther[] = "another kind";

TEST(DiagFolderTest, AFewLinesOfAKindAWindowAreWrittenTheRestCountedAndReportedOnce) {
  DiagFolder folder;
  uint32_t folded = 0;
  for (uint32_t i = 0; i < DiagFolder::kBurst; ++i) {
    EXPECT_TRUE(folder.Admit(kJunk, 1000, &folded));
    EXPECT_EQ(folded, 0u);
  }
  for (int i = 0; i < 1000; ++i) EXPECT_FALSE(folder.Admit(kJunk, 1000 + i, &folded));
  // Another kind is not held back by the flood.
  EXPECT_TRUE(folder.Admit(kOther, 2000, &folded));
  EXPECT_EQ(folded, 0u);

  DiagFolder::FoldedList out;
  EXPECT_EQ(folder.Expired(1000 + DiagFolder::kWindowMs - 1, out), 0u);  // not yet
  // The next line of the kind after the window reports the count and is written.
  EXPECT_TRUE(folder.Admit(kJunk, 1000 + DiagFolder::kWindowMs, &folded));
  EXPECT_EQ(folded, 1000u);
  EXPECT_EQ(folder.TakeAll(out), 0u);  // reported once only
}

TEST(DiagFolderTest, ACountIsReportedWhenTheWindowPassesWithoutAnotherLineOfItsKind) {
  DiagFolder folder;
  uint32_t folded = 0;
  for (int i = 0; i < 30; ++i) folder.Admit(kJunk, 0, &folded);
  DiagFolder::FoldedList out;
  ASSERT_EQ(folder.Expired(DiagFolder::kWindowMs, out), 1u);
  EXPECT_EQ(out[0].format, kJunk);
  EXPECT_EQ(out[0].count, 30u - DiagFolder::kBurst);
  EXPECT_EQ(folder.Expired(3 * DiagFolder::kWindowMs, out), 0u);
  EXPECT_TRUE(folder.Admit(kJunk, 3 * DiagFolder::kWindowMs, &folded));
  EXPECT_EQ(folded, 0u);
}

TEST(DiagFolderTest, ManyKindsReuseTheOldestEntryAndItsCountIsNotLost) {
  DiagFolder folder;
  static char formats[DiagFolder::kKinds + 1][8];
  uint32_t folded = 0;
  for (int i = 0; i < 10; ++i) folder.Admit(formats[0], 0, &folded);
  for (size_t k = 1; k <= DiagFolder::kKinds; ++k) {
    EXPECT_TRUE(folder.Admit(formats[k], 100 + k, &folded));
    // The last new kind takes the entry of the first: its five left out come along.
    EXPECT_EQ(folded, k == DiagFolder::kKinds ? 10u - DiagFolder::kBurst : 0u) << k;
  }
}

TEST(DiagFolderTest, TheFoldedLineNamesTheCountAndTheKind) {
  char text[128];
  FormatFoldedLine({"cannot parse %s\n", 42}, text, sizeof text);
  EXPECT_EQ(std::string(text), "\u2026 42 more like this (cannot parse %s)");
}

TEST(RotatingLogFileTest, TheLogIsRenamedAsideAtItsLimitAndANewOneStarted) {
  TempDir dir;
  const std::string path = dir.path() + "/diagnostic.log";
  {
    RotatingLogFile log(path, 100);
    ASSERT_TRUE(log.is_open());
    for (int i = 0; i < 50; ++i) log.WriteLine("0123456789abcdefghi");  // 20 bytes a line
  }
  EXPECT_LE(std::filesystem::file_size(path), 100u);
  EXPECT_EQ(std::filesystem::file_size(path + ".1"), 100u);
  EXPECT_EQ(ReadAll(path + ".1").substr(0, 20), "0123456789abcdefghi\n");

  // A file already at its limit from an earlier run is set aside at once.
  { RotatingLogFile log(path, 20); }
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(DiagFileScopeTest, AFloodOfOneKindWritesAFewLinesAndOneCount) {
  TempDir dir;
  const std::string path = dir.path() + "/diagnostic.log";
  {
    DiagQuietScope quiet;
    DiagFileScope scope(path);
    for (int i = 0; i < 50000; ++i) Diag("diag test flood line %d", i);
    Diag("diag test once");
  }
  const std::string log = ReadAll(path);
  EXPECT_EQ(CountOf(log, "diag test flood line"), DiagFolder::kBurst + 1);  // + the count line
  EXPECT_EQ(CountOf(log, "\u2026 " + std::to_string(50000 - DiagFolder::kBurst) +
                             " more like this (diag test flood line %d)"),
            1u);
  EXPECT_EQ(CountOf(log, "diag test once"), 1u);
  EXPECT_LT(log.size(), 2000u);
}

}  // namespace
}  // namespace kestrelio
