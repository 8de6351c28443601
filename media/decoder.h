// The peer-picture decoder (libavcodec H.264) and the picture ring it fills for the
// video display thread.
//
//   receive path -> DecodeIntoRing -> DecodeFrame -> picture ring -> VideoDisplayThread
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

#include "base/video/video_sinks.h"

struct AVCodecContext;
struct AVPacket;
struct AVFrame;

namespace kestrelio {

inline constexpr int kMaxPicturePixels = 320 * 240;  // 76,800
inline constexpr int kPictureSlotBytes = kMaxPicturePixels * 3;
inline constexpr int kPictureSlots = 4;
inline constexpr int kMaxReceivedPayloadBytes = 32768;

// Four B, G, R pictures (rows top to bottom in memory order, width x 3 bytes a row)
// between the receive path (writer: fills the slot at write_index, sets its full flag)
// and the display thread (reader: clears full flags, moves read_index). The storage is
// made once with the record, zero-filled, so no call end can free a slot the display
// thread is still copying.
struct PictureRing {
  PictureRing() : storage(new uint8_t[kPictureSlots * kPictureSlotBytes]()) {}
  uint8_t* Slot(uint32_t index) { return storage.get() + index * kPictureSlotBytes; }
  void Reset();

  std::unique_ptr<uint8_t[]> storage;
  std::array<std::atomic<uint32_t>, kPictureSlots> full{};
  std::atomic<uint32_t> write_index{0};
  std::atomic<uint32_t> read_index{0};
};

// The decoder is the media channel's ReceivedVideoSink: each accepted payload is
// decoded into the picture ring (DecodeIntoRing).
struct DecoderState : public ReceivedVideoSink {
  DecoderState();
  ~DecoderState() override;
  DecoderState(const DecoderState&) = delete;
  DecoderState& operator=(const DecoderState&) = delete;

  void OnReceivedVideo(std::span<const uint8_t> payload) override;

  PictureRing ring;
  // The peer's picture size agreed at call set-up; pictures of another size are skipped.
  std::atomic<int> peer_width{96};
  std::atomic<int> peer_height{80};

  AVCodecContext* context = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  std::unique_ptr<uint8_t[]> input;  // padded copy of one payload for the decoder
  uint32_t decoded_count = 0;
};

// Call start: opens the H.264 decoder and empties the ring. 0 on success, 1 when the
// decoder cannot be found or opened.
int DecoderOpen(DecoderState& state);
// Call end.
void DecoderClose(DecoderState& state);

// Decodes one video payload (big-endian count N, then N bytes) into `slot`: every
// picture the payload yields is converted to B, G, R, the last one wins. Returns the
// number of pictures written. A payload with N = 0, the top bit set, or N beyond the
// bytes given is ignored.
int DecodeFrame(DecoderState& state, std::span<const uint8_t> payload, uint8_t* slot);

// The hand-off after a decode: commits the slot at the write index unless it is still
// full (then the next picture overwrites it).
void CommitPictureSlot(PictureRing& ring);

// What the receive path calls for each accepted payload: DecodeFrame into the slot at
// the write index, then CommitPictureSlot.
void DecodeIntoRing(DecoderState& state, std::span<const uint8_t> payload);

// Converts rows of a 4:2:0 picture to B, G, R at (r x width + x) x 3.
void ConvertYuv420ToBgr(const uint8_t* y, int y_stride, const uint8_t* u, int u_stride,
                        const uint8_t* v, int v_stride, int width, int height, uint8_t* out);

}  // namespace kestrelio
