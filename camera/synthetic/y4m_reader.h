// Reads a 96x80 4:2:0 YUV4MPEG2 file into memory, one top-down I420 picture a frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrelio {

struct Y4mClip {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> frames;  // frame_count x width x height x 3 / 2 bytes
  int frame_count = 0;
};

// Loads `path`; false with a diagnostic when it is missing, malformed, or not 96x80 4:2:0.
bool LoadY4m(const std::string& path, Y4mClip& clip);

}  // namespace kestrelio
