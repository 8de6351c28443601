#include "dialogs/history_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dialogs/history_store.h"

namespace kestrelio {
namespace {

std::string Line(const char* code, int n) {
  char text[96];
  std::snprintf(text, sizeof text, "%s, [01/%02d 10:%02d] User%d, 120655501%02d\r\n", code,
                n % 28 + 1, n % 60, n, n % 100);
  return text;
}

std::string Lines(int count, const char* code = "OUT") {
  std::string text;
  for (int i = 0; i < count; ++i) text += Line(code, i);
  return text;
}

class HistoryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("kestrelio-history-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    path_ = (folder_ / "history_info.txt").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::filesystem::path folder_;
  std::string path_;
};

TEST(HistoryIcon, CodePicksTheIcon) {
  EXPECT_EQ(HistoryIcon("IN*"), 152);
  EXPECT_EQ(HistoryIcon("IN "), 150);
  EXPECT_EQ(HistoryIcon("OUT"), 151);
  EXPECT_EQ(HistoryIcon("OU*"), 151);
}

TEST(HistoryReader, ItemTextLeavesOutTheCode) {
  HistoryReader reader;
  reader.TakeText("IN*, [03/07 14:05] Bruno, 12065550102\r\n");
  ASSERT_EQ(reader.Entries().size(), 1u);
  EXPECT_EQ(reader.Entries()[0].code, "IN*");
  EXPECT_EQ(reader.Entries()[0].item_text, "[03/07 14:05] Bruno, 12065550102");
  EXPECT_EQ(reader.Entries()[0].icon, 152);
}

TEST(HistoryReader, LastLineWithoutLineEndKeepsItsLastCharacter) {
  HistoryReader reader;
  reader.TakeText("OUT, [03/07 14:05] Bruno, 12065550102");
  ASSERT_EQ(reader.Entries().size(), 1u);
  EXPECT_EQ(reader.Entries()[0].item_text, "[03/07 14:05] Bruno, 12065550102");
}

TEST(HistoryReader, LineOver98CharactersGivesOneEntry) {
  const std::string line = "OUT, [03/07 14:05] " + std::string(101, 'n') + ", 12065550102\r\n";
  ASSERT_GT(line.size(), 120u);
  HistoryReader reader;
  reader.TakeText(line + Line("IN ", 1));
  const auto entries = reader.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].code, "OUT");
  EXPECT_EQ(entries[0].item_text.size(), kHistoryLineMaxChars - kHistoryPrefixChars);
  EXPECT_EQ(entries[1].code, "IN ");  // the next line is whole, not a piece of the long one
}

TEST(HistoryReader, LongLineSplitAcrossStreamReadsStaysOne) {
  std::string text = "IN , [03/07 14:05] " + std::string(9000, 'n') + ", 1\r\n" + Line("OUT", 2);
  // Longer than one read of the stream: the reader keeps its state across reads.
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  HistoryReader stream_reader;
  stream_reader.TakeStream(file);
  std::fclose(file);
  ASSERT_EQ(stream_reader.Entries().size(), 2u);
  EXPECT_EQ(stream_reader.Entries()[0].code, "IN ");
  EXPECT_EQ(stream_reader.Entries()[1].code, "OUT");
}

TEST(HistoryReader, DamagedAndBlankLinesAreDropped) {
  HistoryReader reader;
  reader.TakeText("\r\nXY\r\nBAD, [03/07 14:05] a, 1\r\nOUT,[03/07] x\r\n" + Line("OUT", 3));
  EXPECT_EQ(reader.Entries().size(), 1u);
  EXPECT_EQ(reader.lines_dropped(), 3u);
}

TEST(HistoryReader, KeepsTheLast30) {
  HistoryReader reader;
  reader.TakeText(Lines(45));
  const auto entries = reader.Entries();
  ASSERT_EQ(entries.size(), 30u);
  EXPECT_EQ(entries.front().item_text, Line("OUT", 15).substr(5, Line("OUT", 15).size() - 7));
  EXPECT_TRUE(reader.NeedsRewrite());
}

TEST(HistoryRewriteText, KeepsEachCode) {
  HistoryReader reader;
  const std::string text = Line("OU*", 1) + Line("IN*", 2) + Line("IN ", 3) + Line("OUT", 4);
  reader.TakeText(text);
  EXPECT_EQ(HistoryRewriteText(reader.Entries()), text);
}

TEST_F(HistoryFileTest, MissingFileGivesNothing) {
  EXPECT_TRUE(LoadHistory(path_).empty());
  EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(HistoryFileTest, TwentyNineLinesAreLeftAlone) {
  const std::string text = Lines(29, "OU*");
  Write(text);
  EXPECT_EQ(LoadHistory(path_).size(), 29u);
  EXPECT_EQ(Read(), text);
}

TEST_F(HistoryFileTest, ThirtyLinesAreRewrittenWithTheSameEntries) {
  std::string text = Lines(29);
  text += Line("OU*", 29);
  Write(text);
  EXPECT_EQ(LoadHistory(path_).size(), 30u);
  EXPECT_EQ(Read(), text);  // "OU*" stays "OU*"
  EXPECT_FALSE(std::filesystem::exists(path_ + ".new"));
}

TEST_F(HistoryFileTest, ThirtyOneLinesLoseTheOldest) {
  const std::string text = Lines(31);
  Write(text);
  const auto entries = LoadHistory(path_);
  ASSERT_EQ(entries.size(), 30u);
  EXPECT_EQ(Read(), text.substr(Line("OUT", 0).size()));
}

TEST_F(HistoryFileTest, FailedRewriteKeepsTheOldFile) {
  const std::string text = Lines(35);
  Write(text);
  // A folder where the new file would go makes the replacement impossible.
  std::filesystem::create_directory(path_ + ".new");
  EXPECT_EQ(LoadHistory(path_).size(), 30u);
  EXPECT_EQ(Read(), text);
}

TEST_F(HistoryFileTest, ReplaceFileAtomicallyLeavesNoTemporary) {
  Write("old");
  ASSERT_TRUE(ReplaceFileAtomically(path_, "new text"));
  EXPECT_EQ(Read(), "new text");
  EXPECT_FALSE(std::filesystem::exists(path_ + ".new"));
}

}  // namespace
}  // namespace kestrelio
