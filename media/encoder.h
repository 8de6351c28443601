// The own-picture encoder: libx264 configured for a tiny low-delay stream, its settings,
// and the per-frame encode into a video payload. The library stays behind this header:
// its encoder is only named here, and its parameter record is built from
// EncoderSettings when the encoder opens (x264_params.h).
//
//   camera callback -> capture ring -> EncoderDataThread -> EncodeFrame -> VideoPayloadSink
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string_view>

#include "base/video/video_sinks.h"
#include "base/window/window.h"
#include "media/capture_state.h"
#include "media/encoder_settings.h"

struct x264_t;

namespace kestrelio {

inline constexpr int kMacroblocksAcross = kFrameWidth / 16;  // 6
inline constexpr int kMacroblocksDown = kFrameHeight / 16;   // 5
inline constexpr int kMacroblocks = kMacroblocksAcross * kMacroblocksDown;
inline constexpr int kMaxVideoBytes = kI420Bytes;  // 11,520 H.264 bytes at most
inline constexpr int kVideoPayloadBytes = kMaxVideoBytes + static_cast<int>(kPayloadCountBytes);

// Weight per macroblock (row x 6 + column): rows 1-2, columns 1-4 carry the region.
inline constexpr std::array<int, kMacroblocks> kRoiWeights = {0, 0, 0, 0, 0, 0,  //
                                                              0, 1, 1, 1, 1, 0,  //
                                                              0, 1, 1, 1, 1, 0,  //
                                                              0, 0, 0, 0, 0, 0,  //
                                                              0, 0, 0, 0, 0, 0};

// Counters the status line reads and zeroes once a second.
struct EncoderCounters {
  std::atomic<uint32_t> encoded_frames{0};
  std::atomic<uint32_t> encode_time_ms{0};
  std::atomic<uint32_t> encoded_bytes{0};
};

struct EncoderState {
  // The settings: written by the settings page between calls, read by the encoder at
  // open. `lock` guards them and the open encoder, so a call end never closes the
  // encoder under a running encode.
  std::mutex lock;
  EncoderSettings settings;
  bool initialised = false;

  // The live ROI level, read for every picture: setting 0 mid-call disarms at once.
  std::atomic<int> roi_level{6};

  x264_t* encoder = nullptr;
  bool roi_armed = false;  // the open encoder has macroblock offsets
  std::array<float, kMacroblocks> quant_offsets{};
  int64_t frame_index = 0;
  uint16_t sequence = 1;
  bool force_idr = false;  // the previous picture was dropped: the peer must not predict
  bool last_was_idr = false;

  alignas(16) std::array<uint8_t, kVideoPayloadBytes> output{};
  EncoderCounters counters;

  EncoderState() = default;
  ~EncoderState();
  EncoderState(const EncoderState&) = delete;
  EncoderState& operator=(const EncoderState&) = delete;
};

// Sets the stream's settings after start-up.
void EncoderInit(EncoderState& state);

// A settings change by name ("ROI", "FPS", "BITRATE", "SUBPEL", "ALLMBs", "ME", "CABAC",
// "MAXGOP"); any other name shows "Undefined Encoder Parameter Settings".
void SetEncoderParameter(EncoderState& state, Window& window, std::string_view name, int value);

// Call start: empties the capture ring, opens the encoder, arms capture. Shows the failure.
bool EncoderStart(EncoderState& state, CaptureState& capture, Window& window);
// Call end: disarms capture and closes the encoder.
void EncoderStop(EncoderState& state, CaptureState& capture);

// The encoder open and close inside EncoderStart and EncoderStop, without the capture
// ring and without boxes: for tools and benchmarks that feed EncodeFrame themselves.
// OpenEncoder is false when the settings were never initialised or the library refused
// them. Caller holds state.lock.
bool OpenEncoder(EncoderState& state);
void CloseEncoder(EncoderState& state);

// Encodes one I420 slot into state.output; hands the payload to `sink` when `in_call`
// and the encoder produced output. Returns N, the H.264 byte count (0: nothing sent).
// Caller holds state.lock.
int EncodeFrame(EncoderState& state, const CaptureSlot& slot, KeyframeRequests& requests,
                bool in_call, VideoPayloadSink& sink);

}  // namespace kestrelio
