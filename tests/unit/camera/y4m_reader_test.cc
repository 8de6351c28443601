#include "camera/synthetic/y4m_reader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/diag.h"
#include "base/testing/alloc_counter.h"

namespace kestrelio {
namespace {

using Frame = std::array<uint8_t, KCAM_FRAME_BYTES>;

class Y4mReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrelio_y4m_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A file of `frames` frames, frame i filled with the byte i, and `tail` after them.
  std::string Write(const std::string& name, int frames, const std::string& tail = "",
                    const std::string& header = "YUV4MPEG2 W96 H80 F12:1 Ip A1:1 C420jpeg") {
    const std::string path = dir_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << header << "\n";
    for (int i = 0; i < frames; ++i) {
      out << (i % 2 == 0 ? "FRAME\n" : "FRAME Ixyz\n");
      out << std::string(KCAM_FRAME_BYTES, static_cast<char>(i));
    }
    out << tail;
    return path;
  }

  std::string dir_;
  DiagQuietScope quiet_;
};

TEST_F(Y4mReaderTest, FramesComeOneByOneAndLoopFromTheFirst) {
  Y4mReader reader;
  ASSERT_TRUE(reader.Open(Write("three.y4m", 3, "FRAME\nshort")));
  Frame frame{};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(reader.ReadFrame(frame)) << i;
    EXPECT_EQ(frame[0], i);
    EXPECT_EQ(frame[KCAM_FRAME_BYTES - 1], i);
  }
  EXPECT_FALSE(reader.ReadFrame(frame)) << "a frame cut short is no frame";
  ASSERT_TRUE(reader.ReadFrameLooped(frame));
  EXPECT_EQ(frame[0], 0);
  ASSERT_TRUE(reader.ReadFrameLooped(frame));
  EXPECT_EQ(frame[0], 1);
}

// The reader holds the file, not its frames: opening and playing a long file costs
// what a short one does, and a frame costs no allocation at all.
TEST_F(Y4mReaderTest, MemoryDoesNotGrowWithTheFile) {
  if (!bench::AllocationCountingAvailable()) GTEST_SKIP() << "sanitizer build";
  const std::string short_file = Write("short.y4m", 2);
  const std::string long_file = Write("long.y4m", 600);  // 6.9 MB
  Frame frame{};

  auto open_and_play = [&](const std::string& path, int frames, uint64_t* per_frames) {
    Y4mReader reader;
    bench::StartCountingAllocations();
    EXPECT_TRUE(reader.Open(path));
    const uint64_t at_open = bench::StopCountingAllocations();
    bench::StartCountingAllocations();
    for (int i = 0; i < frames; ++i) EXPECT_TRUE(reader.ReadFrameLooped(frame));
    *per_frames = bench::StopCountingAllocations();
    return at_open;
  };
  uint64_t short_frames = 0;
  uint64_t long_frames = 0;
  const uint64_t short_open = open_and_play(short_file, 1000, &short_frames);
  const uint64_t long_open = open_and_play(long_file, 1000, &long_frames);
  EXPECT_EQ(long_open, short_open);
  EXPECT_LE(long_open, 4u);
  EXPECT_EQ(short_frames, 0u);
  EXPECT_EQ(long_frames, 0u);
}

TEST_F(Y4mReaderTest, FilesThatAreNotSmallYuv420AreRefused) {
  Y4mReader reader;
  EXPECT_FALSE(reader.Open(dir_ + "/missing.y4m"));
  EXPECT_FALSE(reader.Open(Write("size.y4m", 1, "", "YUV4MPEG2 W176 H144 C420")));
  EXPECT_FALSE(reader.Open(Write("chroma.y4m", 1, "", "YUV4MPEG2 W96 H80 C444")));
  EXPECT_FALSE(reader.Open(Write("magic.y4m", 1, "", "YUV4MPEG3 W96 H80")));
  EXPECT_FALSE(
      reader.Open(Write("huge.y4m", 1, "", "YUV4MPEG2 W96 H80 " + std::string(5000, 'X'))));
  EXPECT_FALSE(reader.Open(Write("digits.y4m", 1, "", "YUV4MPEG2 W0096x H80")));
  EXPECT_FALSE(reader.is_open());

  // A damaged frame header ends the frames; a file with none never loops.
  ASSERT_TRUE(
      reader.Open(Write("bad_frame.y4m", 1, "FRAMX\n" + std::string(KCAM_FRAME_BYTES, 'a'))));
  Frame frame{};
  EXPECT_TRUE(reader.ReadFrame(frame));
  EXPECT_FALSE(reader.ReadFrame(frame));
  ASSERT_TRUE(reader.Open(Write("none.y4m", 0)));
  EXPECT_FALSE(reader.ReadFrameLooped(frame));
}

TEST_F(Y4mReaderTest, LoadY4mReadsUpToItsLimit) {
  Y4mClip clip;
  ASSERT_TRUE(LoadY4m(Write("five.y4m", 5), clip));
  EXPECT_EQ(clip.frame_count, 5);
  EXPECT_EQ(clip.frames.size(), 5u * KCAM_FRAME_BYTES);
  EXPECT_EQ(clip.frames[4 * KCAM_FRAME_BYTES], 4);
  ASSERT_TRUE(LoadY4m(Write("five_again.y4m", 5), clip, 2));
  EXPECT_EQ(clip.frame_count, 2);
  EXPECT_FALSE(LoadY4m(Write("empty.y4m", 0), clip));
}

}  // namespace
}  // namespace kestrelio
