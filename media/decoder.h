// The peer-picture decoder (libavcodec H.264) and the picture ring it fills for the
// video display thread.
//
//   receive path -> DecodeIntoRing -> DecodeFrame -> picture ring -> VideoDisplayThread
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "base/state/media_statistics.h"
#include "base/video/video_sinks.h"
#include "base/worker_waker.h"
#include "media/library_log.h"

struct AVBufferRef;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;

namespace kestrelio {

inline constexpr int kMaxPicturePixels = 320 * 240;  // 76,800
inline constexpr int kPictureSlotBytes = kMaxPicturePixels * 3;
// The largest picture the decoder will allocate for; its width is checked rounded up to
// the library's stride alignment (up to 64), so this leaves room above kMaxPicturePixels.
inline constexpr int kMaxDecodedPixels = 384 * 240;
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
  // Tick count at which each slot's picture arrived (written before its full flag).
  std::array<uint32_t, kPictureSlots> arrival_ms{};
  std::atomic<uint32_t> write_index{0};
  std::atomic<uint32_t> read_index{0};
  // Woken for each committed picture: the display thread sleeps until one waits.
  WorkerWaker reader_waker;
};

// The decoder is the media channel's ReceivedVideoSink: each accepted payload is
// decoded into the picture ring (DecodeIntoRing).
//
// The codec objects belong to whichever thread holds `codec_mutex`: the receive path
// holds it for one decode, call start and call end (on another thread) hold it to open
// and free them. A call end therefore waits for a decode in progress to finish and never
// frees what is being decoded into; the wait is one picture's decode at most.
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

  std::mutex codec_mutex;
  AVCodecContext* context = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  // Padded copy of one payload for the decoder, made at call start. Reference-counted,
  // so the decoder takes a reference to it instead of copying each packet again.
  AVBufferRef* input = nullptr;
  uint32_t decoded_count = 0;
  // The call's figures (pictures decoded, dropped for a full ring); none when null.
  MediaStatistics* statistics = nullptr;
  LibraryLogLines log_lines;  // the library's log of this decoder, gathered by line
};

// Call start: opens the H.264 decoder and empties the ring. 0 on success, 1 when the
// decoder cannot be found or opened.
int DecoderOpen(DecoderState& state);
// Call end.
void DecoderClose(DecoderState& state);

// Decodes one video payload (big-endian count N, then N bytes) into `slot`: every
// picture the payload yields is converted to B, G, R, the last one wins. Returns the
// number of pictures written. A payload with N = 0, the top bit set, or N beyond the
// bytes given is ignored. With `slot` null the payload is decoded (the decoder's
// reference pictures stay whole) but no picture is written; 0 is returned.
int DecodeFrame(DecoderState& state, std::span<const uint8_t> payload, uint8_t* slot);

// The hand-off after a decode: commits the slot at the write index unless it is still
// full.
void CommitPictureSlot(PictureRing& ring);

// What the receive path calls for each accepted payload. A slot is written only while
// its full flag is clear, since the display thread may be copying a full one: with the
// slot at the write index free, DecodeFrame into it and CommitPictureSlot; with it full
// (the display is behind), the payload is decoded and its picture dropped.
void DecodeIntoRing(DecoderState& state, std::span<const uint8_t> payload);

// Converts rows of a 4:2:0 picture to B, G, R at (r x width + x) x 3.
void ConvertYuv420ToBgr(const uint8_t* y, int y_stride, const uint8_t* u, int u_stride,
                        const uint8_t* v, int v_stride, int width, int height, uint8_t* out);

}  // namespace kestrelio
