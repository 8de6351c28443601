#include "media/encoder.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/diag.h"
#include "base/tick.h"
#include "media/frame_drop.h"

namespace kestrelio {
namespace {

constexpr int kTicksPerFrame = 1000;  // time base 1/12,000 s at the nominal 12 frames/s

void X264Log(void* /*private_data*/, int level, const char* format, va_list args) {
  const char* name = level == X264_LOG_ERROR     ? "error"
                     : level == X264_LOG_WARNING ? "warning"
                     : level == X264_LOG_INFO    ? "info"
                                                 : "debug";
  char line[512];
  std::vsnprintf(line, sizeof line, format, args);
  Diag("x264 [%s]: %s", name, line);
}

void CloseEncoder(EncoderState& state) {
  if (state.encoder != nullptr) {
    x264_encoder_close(state.encoder);
    state.encoder = nullptr;
  }
  state.roi_armed = false;
}

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
  if (length + 4 + size > kMaxVideoBytes) return false;
  uint8_t* dst = out.data() + 4 + length;
  dst[0] = 0;
  dst[1] = 0;
  dst[2] = 0;
  dst[3] = 1;
  std::memcpy(dst + 4, p, static_cast<size_t>(size));
  length += 4 + size;
  return true;
}

}  // namespace

EncoderState::~EncoderState() { CloseEncoder(*this); }

void EncoderInit(EncoderState& state) {
  std::lock_guard lock(state.lock);
  x264_param_t& p = state.params;
  x264_param_default(&p);
  p.i_csp = X264_CSP_I420;
  p.i_width = kFrameWidth;
  p.i_height = kFrameHeight;
  p.i_fps_num = 12000;
  p.i_fps_den = 1000;
  p.i_timebase_num = 1;
  p.i_timebase_den = 12000;
  p.b_vfr_input = 0;  // rate control counts frames at the nominal rate, not time stamps
  p.i_frame_reference = 1;
  p.i_keyint_max = 9999;
  p.i_keyint_min = 25;
  p.i_scenecut_threshold = 0;  // x264's "off"
  p.i_bframe = 0;
  p.i_bframe_adaptive = X264_B_ADAPT_NONE;
  p.b_cabac = 0;
  p.b_deblocking_filter = 1;
  p.i_deblocking_filter_alphac0 = 0;
  p.i_deblocking_filter_beta = 0;
  p.analyse.intra = X264_ANALYSE_I4x4 | X264_ANALYSE_I8x8;
  p.analyse.inter = X264_ANALYSE_I8x8 | X264_ANALYSE_PSUB16x16;
  p.analyse.b_transform_8x8 = 1;
  p.analyse.i_direct_mv_pred = X264_DIRECT_PRED_SPATIAL;
  p.analyse.i_me_method = X264_ME_DIA;
  p.analyse.i_me_range = 16;
  p.analyse.i_subpel_refine = 1;
  p.analyse.b_mixed_references = 1;
  p.analyse.i_trellis = 0;
  p.analyse.b_chroma_me = 1;
  p.analyse.b_fast_pskip = 1;
  p.analyse.b_psnr = 0;
  p.rc.i_rc_method = X264_RC_ABR;
  p.rc.i_bitrate = 30;
  p.rc.i_qp_min = 10;
  p.rc.i_qp_max = 51;
  p.rc.i_qp_step = 4;
  p.rc.f_rate_tolerance = 1.0f;
  p.rc.f_ip_factor = 1.4f;
  p.rc.f_pb_factor = 1.3f;
  p.rc.f_qcompress = 0.6f;
  p.rc.f_qblur = 0.5f;
  p.rc.f_complexity_blur = 20.0f;
  p.rc.i_vbv_max_bitrate = 0;
  p.rc.i_vbv_buffer_size = 0;
  // Zero latency: one packet out for every frame in. The library's defaults (40-frame
  // lookahead and MB-tree) would hold the first packet back for 41 frames.
  p.rc.i_lookahead = 0;
  p.i_sync_lookahead = 0;
  p.rc.b_mb_tree = 0;
  // Macroblock QP offsets apply only while AQ is on with a non-zero strength; a
  // negligible variance strength keeps every macroblock at frame QP + its offset.
  p.rc.i_aq_mode = X264_AQ_VARIANCE;
  p.rc.f_aq_strength = 0.00001f;
  p.i_threads = 1;
  p.b_sliced_threads = 0;
  p.b_repeat_headers = 1;
  p.b_aud = 0;
  p.b_annexb = 1;
  p.i_level_idc = 51;
  p.i_log_level = X264_LOG_INFO;
  p.pf_log = X264Log;
  p.p_log_private = nullptr;
  state.params_roi_level = 6;
  state.roi_level.store(6);
  state.initialised = true;
}

void SetEncoderParameter(EncoderState& state, Window& window, std::string_view name, int value) {
  {
    std::lock_guard lock(state.lock);
    x264_param_t& p = state.params;
    if (name == "ROI") {
      state.params_roi_level = value;
      state.roi_level.store(value, std::memory_order_relaxed);
      return;
    }
    if (name == "FPS") {
      p.i_fps_num = static_cast<uint32_t>(value * 1000);
      p.i_fps_den = 1000;
      return;
    }
    if (name == "BITRATE") {
      p.rc.i_bitrate = value;
      return;
    }
    if (name == "SUBPEL") {
      p.analyse.i_subpel_refine = value;
      return;
    }
    if (name == "ALLMBs") {
      p.analyse.intra = value == 0 ? 0 : (X264_ANALYSE_I4x4 | X264_ANALYSE_I8x8);
      p.analyse.inter = value == 0 ? 0 : (X264_ANALYSE_I8x8 | X264_ANALYSE_PSUB16x16);
      return;
    }
    if (name == "ME") {
      p.analyse.i_me_method = value;
      return;
    }
    if (name == "CABAC") {
      p.b_cabac = value != 0 ? 1 : 0;
      return;
    }
    if (name == "MAXGOP") {
      p.i_keyint_max = value;
      if (p.i_keyint_min > value) p.i_keyint_min = value;
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
    CloseEncoder(state);
    if (state.initialised) state.encoder = x264_encoder_open(&state.params);
    if (state.encoder != nullptr) {
      state.roi_armed = state.params_roi_level != 0;
      for (int i = 0; i < kMacroblocks; ++i) {
        state.quant_offsets[i] = static_cast<float>(kRoiWeights[i] * -state.params_roi_level);
      }
      state.frame_index = 0;
      state.sequence = 1;
      state.force_idr = false;
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
  state.output[0] = static_cast<uint8_t>(n >> 24);
  state.output[1] = static_cast<uint8_t>(n >> 16);
  state.output[2] = static_cast<uint8_t>(n >> 8);
  state.output[3] = static_cast<uint8_t>(n);
  state.counters.encoded_bytes.fetch_add(n, std::memory_order_relaxed);
  if (in_call && nal_count > 0 && length > 0) {
    sink.SendVideoPayload(std::span<const uint8_t>(state.output.data(), n + 4), state.sequence);
    ++state.sequence;
  }
  return length;
}

}  // namespace kestrelio
