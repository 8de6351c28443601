#include "media/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

extern "C" {
#include <x264.h>
}

#include "base/byte_io.h"
#include "base/diag.h"
#include "base/testing/alloc_counter.h"
#include "media/encoder.h"
#include "tests/support/diag_capture.h"
#include "tests/support/fake_window.h"
#include "tests/support/media_samples.h"

namespace kestrelio {
namespace {

using testing::FillSlot;
using testing::RecordingSink;

TEST(ConvertYuvTest, BlackAndWhiteLimitsAndRowPlacement) {
  // Two rows of 2: row 0 black (Y 16), row 1 white (Y 235), neutral chroma.
  const uint8_t y[] = {16, 16, 235, 235};
  const uint8_t u[] = {128};
  const uint8_t v[] = {128};
  uint8_t out[12] = {};
  ConvertYuv420ToBgr(y, 2, u, 1, v, 1, 2, 2, out);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], 0) << i;  // decoded row 0: first memory row
  for (int i = 6; i < 12; ++i) EXPECT_EQ(out[i], 255) << i;
}

// A short stream of encoded synthetic pictures.
std::vector<std::vector<uint8_t>> EncodedPictures(int count) {
  auto encoder = std::make_unique<EncoderState>();
  auto capture = std::make_unique<CaptureState>();
  FakeWindow window;
  RecordingSink sink;
  KeyframeRequests requests;
  EncoderInit(*encoder);
  EXPECT_TRUE(EncoderStart(*encoder, *capture, window));
  CaptureSlot slot;
  for (int i = 0; i < count; ++i) {
    FillSlot(static_cast<uint32_t>(i), slot);
    std::lock_guard lock(encoder->lock);
    EncodeFrame(*encoder, slot, requests, true, sink);
  }
  return sink.payloads;
}

TEST(DecodeFrameTest, DecodesEveryPayloadIntoOnePicture) {
  auto decoder = std::make_unique<DecoderState>();
  ASSERT_EQ(DecoderOpen(*decoder), 0);
  std::vector<uint8_t> slot(kPictureSlotBytes, 0xAA);
  for (const auto& payload : EncodedPictures(5)) {
    EXPECT_EQ(DecodeFrame(*decoder, payload, slot.data()), 1);
  }
  EXPECT_EQ(decoder->decoded_count, 5u);
  // The picture landed: bytes beyond 96x80x3 are untouched, inside they changed.
  EXPECT_EQ(slot[96 * 80 * 3], 0xAA);
  EXPECT_NE(std::count(slot.begin(), slot.begin() + 96 * 80 * 3, 0xAA), 96 * 80 * 3);
  DecoderClose(*decoder);
}

TEST(DecodeFrameTest, IgnoresTopBitZeroCountAndShortPayloads) {
  auto decoder = std::make_unique<DecoderState>();
  ASSERT_EQ(DecoderOpen(*decoder), 0);
  std::vector<uint8_t> slot(kPictureSlotBytes, 0);
  auto payload = EncodedPictures(1)[0];
  auto top_bit = payload;
  top_bit[0] = 0x80;
  EXPECT_EQ(DecodeFrame(*decoder, top_bit, slot.data()), 0);
  const uint8_t zero[] = {0, 0, 0, 0};
  EXPECT_EQ(DecodeFrame(*decoder, zero, slot.data()), 0);
  const uint8_t three[] = {0, 0, 0};
  EXPECT_EQ(DecodeFrame(*decoder, std::span<const uint8_t>(three, 3), slot.data()), 0);
  // A count beyond the bytes received is refused rather than read past the end.
  EXPECT_EQ(DecodeFrame(*decoder, std::span<const uint8_t>(payload).first(payload.size() - 1),
                        slot.data()),
            0);
  EXPECT_EQ(decoder->decoded_count, 0u);
  EXPECT_EQ(DecodeFrame(*decoder, payload, slot.data()), 1);
}

TEST(DecodeFrameTest, SkipsPicturesOfAnotherSizeThanAgreed) {
  auto decoder = std::make_unique<DecoderState>();
  decoder->peer_width = 176;
  decoder->peer_height = 144;
  ASSERT_EQ(DecoderOpen(*decoder), 0);
  std::vector<uint8_t> slot(kPictureSlotBytes, 0x55);
  EXPECT_EQ(DecodeFrame(*decoder, EncodedPictures(1)[0], slot.data()), 0);
  EXPECT_EQ(slot[0], 0x55);
}

TEST(DecodeFrameTest, GarbageIsRefusedWithoutHarm) {
  auto decoder = std::make_unique<DecoderState>();
  ASSERT_EQ(DecoderOpen(*decoder), 0);
  std::vector<uint8_t> slot(kPictureSlotBytes, 0);
  std::vector<uint8_t> payload = {0, 0, 0, 12, 0, 0, 0, 1, 0x65, 0xff, 0xee, 0xdd, 1, 2, 3, 4};
  testing::DiagCapture diag;
  DecodeFrame(*decoder, payload, slot.data());
  EXPECT_EQ(decoder->decoded_count, 0u);
  // Our own line and the library's lines carry the prefix once each.
  EXPECT_TRUE(diag.WaitForText("[ffmpeg] Error while decoding frame"));
  EXPECT_FALSE(diag.Contains("[ffmpeg] [ffmpeg]"));
}

TEST(LibraryLogLinesTest, PiecesOfOneLineAreWrittenAsOneLineWithOnePrefix) {
  testing::DiagCapture diag;
  LibraryLogLines lines;
  lines.Add("concealing 3 DC, ");
  lines.Add("");
  lines.Add("0 AC");
  EXPECT_FALSE(diag.Contains("concealing"));
  lines.Add(", 1 MV errors\nnext ");
  lines.Add("line\n[ffmpeg] own line\n");
  lines.Add("left open");
  lines.Flush();
  const std::string text = diag.Text();
  EXPECT_NE(text.find("[ffmpeg] concealing 3 DC, 0 AC, 1 MV errors\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[ffmpeg] next line\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[ffmpeg] own line\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[ffmpeg] left open\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("[ffmpeg] [ffmpeg]"), std::string::npos) << text;
}

// A line longer than the gathering buffer is written in parts, nothing lost.
TEST(LibraryLogLinesTest, ALineLongerThanTheBufferIsWrittenInParts) {
  LibraryLogLines lines;
  testing::DiagCapture long_diag;
  const std::string long_line(LibraryLogLines::kMaxLine + 10, 'x');
  lines.Add(long_line + "\n");
  const std::string long_text = long_diag.Text();
  EXPECT_NE(long_text.find(std::string(LibraryLogLines::kMaxLine, 'x')), std::string::npos);
  EXPECT_NE(long_text.find("[ffmpeg] " + std::string(10, 'x') + "\n"), std::string::npos);
}

TEST(PictureRingTest, CommitAdvancesUntilFullAndAFullSlotIsNeverWritten) {
  auto decoder = std::make_unique<DecoderState>();
  ASSERT_EQ(DecoderOpen(*decoder), 0);
  MediaStatistics statistics;
  decoder->statistics = &statistics;
  PictureRing& ring = decoder->ring;
  for (int i = 0; i < 4; ++i) CommitPictureSlot(ring);
  EXPECT_EQ(ring.write_index.load(), 0u);
  for (const auto& f : ring.full) EXPECT_EQ(f.load(), 1u);
  CommitPictureSlot(ring);
  EXPECT_EQ(ring.write_index.load(), 0u);

  // The display thread may be copying a full slot: DecodeIntoRing decodes the payload
  // (the decoder keeps its reference picture) but leaves the slot as it is.
  const auto payloads = EncodedPictures(2);
  std::fill(ring.Slot(0), ring.Slot(0) + 10, 0x33);
  DecodeIntoRing(*decoder, payloads[0]);
  EXPECT_EQ(ring.Slot(0)[0], 0x33);
  EXPECT_EQ(ring.write_index.load(), 0u);
  EXPECT_EQ(decoder->decoded_count, 1u);
  // Decoded, but never to be seen.
  EXPECT_EQ(statistics.frames_decoded.load(), 1u);
  EXPECT_EQ(statistics.frames_dropped.load(), 1u);

  // Once the reader clears the flag the slot is the writer's again.
  ring.full[0].store(0);
  DecodeIntoRing(*decoder, payloads[1]);
  EXPECT_NE(ring.Slot(0)[0], 0x33);
  EXPECT_EQ(ring.full[0].load(), 1u);
  EXPECT_EQ(ring.write_index.load(), 1u);
  EXPECT_EQ(statistics.frames_decoded.load(), 2u);
  EXPECT_EQ(statistics.frames_dropped.load(), 1u);
}

// A call end on another thread frees the codec only between two decodes: the receive
// path never decodes into freed objects (the sanitizer builds catch a use after free).
TEST(PictureRingTest, CloseWhileTheReceivePathDecodesWaitsForTheDecode) {
  auto decoder = std::make_unique<DecoderState>();
  ASSERT_EQ(DecoderOpen(*decoder), 0);
  const auto payloads = EncodedPictures(8);
  std::atomic<bool> stop{false};
  std::thread receive([&] {
    while (!stop.load()) {
      for (const auto& payload : payloads) {
        DecodeIntoRing(*decoder, payload);
        for (auto& flag : decoder->ring.full) flag.store(0);
      }
    }
  });
  for (int call = 0; call < 20; ++call) {
    DecoderClose(*decoder);
    ASSERT_EQ(DecoderOpen(*decoder), 0);
  }
  stop.store(true);
  receive.join();
  DecoderClose(*decoder);
  EXPECT_EQ(decoder->context, nullptr);
}

// One flat key picture of the given size as a payload (count, then Annex B NAL units).
std::vector<uint8_t> OneKeyPicture(int width, int height) {
  x264_param_t param;
  x264_param_default_preset(&param, "ultrafast", "zerolatency");
  param.i_width = width;
  param.i_height = height;
  param.i_csp = X264_CSP_I420;
  param.i_log_level = X264_LOG_NONE;
  x264_t* encoder = x264_encoder_open(&param);
  x264_picture_t in;
  x264_picture_alloc(&in, X264_CSP_I420, width, height);
  std::fill_n(in.img.plane[0], width * height, 128);
  std::fill_n(in.img.plane[1], width * height / 4, 128);
  std::fill_n(in.img.plane[2], width * height / 4, 128);
  x264_picture_t out;
  x264_nal_t* nals = nullptr;
  int nal_count = 0;
  const int bytes = x264_encoder_encode(encoder, &nals, &nal_count, &in, &out);
  std::vector<uint8_t> payload(4 + static_cast<size_t>(bytes > 0 ? bytes : 0));
  ByteWriter writer(payload);
  writer.U32Be(0, static_cast<uint32_t>(payload.size() - 4));
  if (bytes > 0) std::copy_n(nals[0].p_payload, bytes, payload.begin() + 4);
  x264_picture_clean(&in);
  x264_encoder_close(encoder);
  return payload;
}

// A stream that declares a picture far beyond any we show is refused by the library before
// it makes pictures of that size (a 1920x1088 luma plane alone is 2 MB; the decoder would
// pool dozens), and the decoder goes on with the agreed stream.
TEST(DecodeFrameTest, AnOversizedStreamIsRefusedBeforeItsPicturesAreMade) {
  if (!bench::AllocationCountingAvailable()) GTEST_SKIP() << "sanitizer build";
  DiagQuietScope quiet;
  auto decoder = std::make_unique<DecoderState>();
  ASSERT_EQ(DecoderOpen(*decoder), 0);
  std::vector<uint8_t> slot(kPictureSlotBytes, 0);
  const std::vector<uint8_t> big = OneKeyPicture(1920, 1088);
  ASSERT_GT(big.size(), 4u);
  bench::StartCountingAllocations();
  EXPECT_EQ(DecodeFrame(*decoder, big, slot.data()), 0);
  bench::StopCountingAllocations();
  EXPECT_LT(bench::LargestCountedAllocation(), 512u * 1024u);
  for (const auto& payload : EncodedPictures(3)) {
    EXPECT_EQ(DecodeFrame(*decoder, payload, slot.data()), 1);
  }
  EXPECT_EQ(decoder->decoded_count, 3u);
}

}  // namespace
}  // namespace kestrelio
