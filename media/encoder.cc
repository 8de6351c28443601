#include "media/encoder.h"

#include <cstring>

#include "base/byte_io.h"
#include "base/diag.h"
#include "base/tick.h"
#include "media/frame_drop.h"
#include "media/x264_params.h"

namespace kestrelio {
namespace {

constexpr int kTicksPerFrame = 1000;  // time base 1/12,000 s at the nominal 12 frames/s
constexpr uint8_t kStartCode[] = {0, 0, 0, 1};

// Appends one NAL unit in Annex B form with a four-byte start code, whatever start code
// the library put in front of it. Returns false when it does not fit.
bool AppendNal(const x264_nal_t& nal, std::array<uint8_t, kVideoPayloadBytes>& out, int& length) {
  const uint8_t* p = nal.p_payload;
  int size = nal.i_payload;
  // Skip the library's start code (00 00 01 or 00 00 00 01).
  int skip = 0;
  while (skip < size && p[skip] == 0) ++skip;
  if (skip < 2 || skip >= size || p[skip] != 1) {
    Diag("x264 NAL unit without a start code (%d bytes) dropped", size);
    return true;
  }
  p += skip + 1;
  size -= skip + 1;
  constexpr int kStartCodeBytes = static_cast<int>(sizeof kStartCode);
  if (length + kStartCodeBytes + size > kMaxVideoBytes) return false;
  uint8_t* dst = out.data() + kPayloadCountBytes + length;
  std::memcpy(dst, kStartCode, sizeof kStartCode);
  std::memcpy(dst + kStartCodeBytes, p, static_cast<size_t>(size));
  length += kStartCodeBytes + size;
  return true;
}

}  // namespace

EncoderState::~EncoderState() { CloseEncoder(*this); }

void CloseEncoder(EncoderState& state) {
  if (state.encoder != nullptr) {
    x264_encoder_close(state.encoder);
    state.encoder = nullptr;
  }
  state.roi_armed = false;
}

bool OpenEncoder(EncoderState& state) {
  CloseEncoder(state);
  if (!state.initialised) return false;
  x264_param_t params;
  ToX264Params(state.settings, params);
  state.encoder = x264_encoder_open(&params);
  if (state.encoder == nullptr) return false;
  const int roi_level = state.settings.roi_level;
  state.roi_armed = roi_level != 0;
  for (int i = 0; i < kMacroblocks; ++i) {
    state.quant_offsets[i] = static_cast<float>(kRoiWeights[i] * -roi_level);
  }
  state.frame_index = 0;
  state.sequence = 1;
  state.force_idr = false;
  return true;
}

void EncoderInit(EncoderState& state) {
  std::lock_guard lock(state.lock);
  state.settings = EncoderSettings{};
  state.roi_level.store(state.settings.roi_level);
  state.initialised = true;
}

void SetEncoderParameter(EncoderState& state, Window& window, std::string_view name, int value) {
  {
    std::lock_guard lock(state.lock);
    EncoderSettings& s = state.settings;
    if (name == "ROI") {
      s.roi_level = value;
      state.roi_level.store(value, std::memory_order_relaxed);
      return;
    }
    if (name == "FPS") {
      s.fps_num = static_cast<uint32_t>(value * 1000);
      s.fps_den = 1000;
      return;
    }
    if (name == "BITRATE") {
      s.bitrate_kbps = value;
      return;
    }
    if (name == "SUBPEL") {
      s.subpel_refine = value;
      return;
    }
    if (name == "ALLMBs") {
      s.intra_partitions = value == 0 ? 0 : kIntraPartitions;
      s.inter_partitions = value == 0 ? 0 : kInterPartitions;
      return;
    }
    if (name == "ME") {
      s.me_method = value;
      return;
    }
    if (name == "CABAC") {
      s.cabac = value != 0;
      return;
    }
    if (name == "MAXGOP") {
      s.keyint_max = value;
      if (s.keyint_min > value) s.keyint_min = value;
      return;
    }
  }
  window.ShowMessageBox("Undefined Encoder Parameter Settings", "", MessageBoxButtons::kOk);
}

bool EncoderStart(EncoderState& state, CaptureState& capture, Window& window) {
  bool opened = false;
  {
    std::lock_guard lock(state.lock);
    capture.ring.Reset();
    if (OpenEncoder(state)) {
      state.counters.encoded_frames.store(0);
      state.counters.encode_time_ms.store(0);
      state.counters.encoded_bytes.store(0);
      opened = true;
    }
  }
  if (!opened) {
    window.ShowMessageBox("Init Encoder Error", "", MessageBoxButtons::kOk);
    window.ShowMessageBox("Encoder Open Error", "Error", MessageBoxButtons::kOk);
    return false;
  }
  capture.capture_active.store(true, std::memory_order_release);
  return true;
}

void EncoderStop(EncoderState& state, CaptureState& capture) {
  capture.capture_active.store(false, std::memory_order_release);
  std::lock_guard lock(state.lock);
  CloseEncoder(state);
}

int EncodeFrame(EncoderState& state, const CaptureSlot& slot, KeyframeRequests& requests,
                bool in_call, VideoPayloadSink& sink) {
  if (state.encoder == nullptr) return 0;
  x264_picture_t in;
  x264_picture_init(&in);
  in.img.i_csp = X264_CSP_I420;
  in.img.i_plane = 3;
  // The library copies the planes during the call; it never writes them.
  uint8_t* base = const_cast<uint8_t*>(slot.bytes.data());
  in.img.plane[0] = base;
  in.img.plane[1] = base + kLumaBytes;
  in.img.plane[2] = base + kLumaBytes + kChromaPlaneBytes;
  in.img.i_stride[0] = kFrameWidth;
  in.img.i_stride[1] = kFrameWidth / 2;
  in.img.i_stride[2] = kFrameWidth / 2;
  in.i_pts = state.frame_index * kTicksPerFrame;
  ++state.frame_index;
  const bool keyframe_requested = TakeKeyframeRequest(requests);
  in.i_type = (keyframe_requested || state.force_idr) ? X264_TYPE_IDR : X264_TYPE_AUTO;
  state.force_idr = false;
  if (state.roi_armed && state.roi_level.load(std::memory_order_relaxed) != 0) {
    in.prop.quant_offsets = state.quant_offsets.data();
  }

  x264_nal_t* nals = nullptr;
  int nal_count = 0;
  x264_picture_t out;
  if (x264_encoder_encode(state.encoder, &nals, &nal_count, &in, &out) < 0) {
    Diag("x264_encoder_encode failed");
  }
  int length = 0;
  for (int i = 0; i < nal_count; ++i) {
    if (!AppendNal(nals[i], state.output, length)) {
      // Sending part of a picture would leave the peer predicting from garbage; drop the
      // picture and make the next one self-contained.
      Diag("encoded picture exceeds %d bytes: dropped, next picture is an IDR picture",
           kMaxVideoBytes);
      length = 0;
      nal_count = 0;
      state.force_idr = true;
      break;
    }
  }
  state.last_was_idr = nal_count > 0 && out.i_type == X264_TYPE_IDR;
  const auto n = static_cast<uint32_t>(length);
  ByteWriter(state.output).U32Be(kPayloadCountOffset, n);
  state.counters.encoded_bytes.fetch_add(n, std::memory_order_relaxed);
  if (in_call && nal_count > 0 && length > 0) {
    sink.SendVideoPayload(std::span<const uint8_t>(state.output.data(), n + kPayloadCountBytes),
                          state.sequence);
    ++state.sequence;
  }
  return length;
}

}  // namespace kestrelio
