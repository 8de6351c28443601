// An independent look at a dumped H.264 stream: ffprobe's stream and frame view, and the
// bitstream facts ffprobe does not print (entropy coding, parameter sets before IDR).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "tests/support/media_samples.h"

namespace kestrelio::testing {

inline std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

inline bool HaveFfprobe() { return std::system("command -v ffprobe >/dev/null 2>&1") == 0; }

// Writes the Annex B bytes of each video payload (after its 4-byte count) to `path`.
inline void DumpPayloads(const std::vector<std::vector<uint8_t>>& payloads,
                         const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  for (const auto& p : payloads) {
    out.write(reinterpret_cast<const char*>(p.data() + 4), static_cast<long>(p.size() - 4));
  }
}

// ffprobe's "key=value" lines for the first video stream: width, height, has_b_frames, refs.
inline std::string ProbeStreamFields(const std::string& path) {
  return RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries stream=width,height,has_b_frames,refs "
      "-of default=noprint_wrappers=1 " +
      path);
}

// Picture types ('I', 'P', 'B') in decoding order.
inline std::vector<char> ProbePictureTypes(const std::string& path) {
  const std::string frames = RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries frame=pict_type -of csv=p=0 " + path);
  std::vector<char> types;
  for (char c : frames) {
    if (c == 'I' || c == 'P' || c == 'B') types.push_back(c);
  }
  return types;
}

// CAVLC: entropy_coding_mode_flag of every PPS (pps_id 0 and sps_id 0 as ue(v) '1' '1',
// then the flag) is 0.
inline bool AllPpsCavlc(std::span<const uint8_t> payload) {
  for (size_t i = 4; i + 5 < payload.size(); ++i) {
    if (payload[i] == 0 && payload[i + 1] == 0 && payload[i + 2] == 0 && payload[i + 3] == 1 &&
        (payload[i + 4] & 0x1f) == 8 && (payload[i + 5] & 0xE0) != 0xC0) {
      return false;
    }
  }
  return true;
}

// An IDR payload must carry an SPS (7) and a PPS (8) before its first IDR slice (5).
inline bool ParameterSetsBeforeIdr(std::span<const uint8_t> payload) {
  bool sps = false;
  bool pps = false;
  for (int type : NalTypes(payload)) {
    if (type == 7) sps = true;
    if (type == 8) pps = sps;
    if (type == 5) return sps && pps;
  }
  return true;  // no IDR slice: nothing to check
}

}  // namespace kestrelio::testing
