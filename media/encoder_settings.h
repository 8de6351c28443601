// The encoder's settings as the rest of the program reads and sets them: a plain record
// with the stream's values after start-up. The encoder turns it into the library's own
// parameter record each time it opens (x264_params.h), so nothing outside the encoder
// sees the library's types.
#pragma once

#include <cstdint>

namespace kestrelio {

// Partition sets for the macroblock analysis (the library's flag values).
inline constexpr uint32_t kPartitionIntra4x4 = 0x1;
inline constexpr uint32_t kPartitionIntra8x8 = 0x2;
inline constexpr uint32_t kPartitionInter8x8 = 0x10;  // P 16x8, 8x16 and 8x8
inline constexpr uint32_t kIntraPartitions = kPartitionIntra4x4 | kPartitionIntra8x8;  // 0x3
inline constexpr uint32_t kInterPartitions = kPartitionIntra8x8 | kPartitionInter8x8;  // 0x12

enum class RateControl {
  kAverageBitrate,  // one pass towards bitrate_kbps
  kConstantQp,      // every picture at constant_qp (tests that need a known QP)
};

enum class EncoderLogLevel { kNone, kError, kWarning, kInfo, kDebug };

struct EncoderSettings {
  uint32_t fps_num = 12000;
  uint32_t fps_den = 1000;
  int keyint_max = 9999;  // longest key-frame interval
  int keyint_min = 25;    // shortest, lowered to keyint_max when that is smaller
  bool cabac = false;     // CAVLC
  uint32_t intra_partitions = kIntraPartitions;
  uint32_t inter_partitions = kInterPartitions;
  int me_method = 0;  // diamond
  int subpel_refine = 1;
  RateControl rate_control = RateControl::kAverageBitrate;
  int bitrate_kbps = 30;
  int constant_qp = 0;  // kConstantQp only
  EncoderLogLevel log_level = EncoderLogLevel::kInfo;
  int roi_level = 6;  // copied into the open encoder; 0, 6 or 12 from the settings page
};

}  // namespace kestrelio
