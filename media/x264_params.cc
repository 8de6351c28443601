#include "media/x264_params.h"

#include <cstdarg>
#include <cstdio>

#include "base/diag.h"
#include "media/capture_state.h"

namespace kestrelio {
namespace {

static_assert(kPartitionIntra4x4 == X264_ANALYSE_I4x4);
static_assert(kPartitionIntra8x8 == X264_ANALYSE_I8x8);
static_assert(kPartitionInter8x8 == X264_ANALYSE_PSUB16x16);

constexpr int kTimebaseDen = 12000;  // one frame is 1,000 ticks at the nominal 12 frames/s
constexpr int kLevel51 = 51;

void X264Log(void* /*private_data*/, int level, const char* format, va_list args) {
  const char* name = level == X264_LOG_ERROR     ? "error"
                     : level == X264_LOG_WARNING ? "warning"
                     : level == X264_LOG_INFO    ? "info"
                                                 : "debug";
  char line[512];
  std::vsnprintf(line, sizeof line, format, args);
  Diag("x264 [%s]: %s", name, line);
}

int LibraryLogLevel(EncoderLogLevel level) {
  switch (level) {
    case EncoderLogLevel::kNone:
      return X264_LOG_NONE;
    case EncoderLogLevel::kError:
      return X264_LOG_ERROR;
    case EncoderLogLevel::kWarning:
      return X264_LOG_WARNING;
    case EncoderLogLevel::kInfo:
      return X264_LOG_INFO;
    case EncoderLogLevel::kDebug:
      return X264_LOG_DEBUG;
  }
  return X264_LOG_INFO;
}

}  // namespace

void ToX264Params(const EncoderSettings& settings, x264_param_t& p) {
  x264_param_default(&p);
  p.i_csp = X264_CSP_I420;
  p.i_width = kFrameWidth;
  p.i_height = kFrameHeight;
  p.i_fps_num = settings.fps_num;
  p.i_fps_den = settings.fps_den;
  p.i_timebase_num = 1;
  p.i_timebase_den = kTimebaseDen;
  p.b_vfr_input = 0;  // rate control counts frames at the nominal rate, not time stamps
  p.i_frame_reference = 1;
  p.i_keyint_max = settings.keyint_max;
  p.i_keyint_min = settings.keyint_min;
  p.i_scenecut_threshold = 0;  // x264's "off"
  p.i_bframe = 0;
  p.i_bframe_adaptive = X264_B_ADAPT_NONE;
  p.b_cabac = settings.cabac ? 1 : 0;
  p.b_deblocking_filter = 1;
  p.i_deblocking_filter_alphac0 = 0;
  p.i_deblocking_filter_beta = 0;
  p.analyse.intra = settings.intra_partitions;
  p.analyse.inter = settings.inter_partitions;
  p.analyse.b_transform_8x8 = 1;
  p.analyse.i_direct_mv_pred = X264_DIRECT_PRED_SPATIAL;
  p.analyse.i_me_method = settings.me_method;
  p.analyse.i_me_range = 16;
  p.analyse.i_subpel_refine = settings.subpel_refine;
  p.analyse.b_mixed_references = 1;
  p.analyse.i_trellis = 0;
  p.analyse.b_chroma_me = 1;
  p.analyse.b_fast_pskip = 1;
  p.analyse.b_psnr = 0;
  switch (settings.rate_control) {
    case RateControl::kAverageBitrate:
      p.rc.i_rc_method = X264_RC_ABR;
      break;
    case RateControl::kConstantQp:
      p.rc.i_rc_method = X264_RC_CQP;
      p.rc.i_qp_constant = settings.constant_qp;
      break;
  }
  p.rc.i_bitrate = settings.bitrate_kbps;
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
  p.i_level_idc = kLevel51;
  p.i_log_level = LibraryLogLevel(settings.log_level);
  p.pf_log = X264Log;
  p.p_log_private = nullptr;
}

}  // namespace kestrelio
