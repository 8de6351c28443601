// Reads a 96x80 4:2:0 YUV4MPEG2 file one frame at a time: top-down I420 pictures.
//
// The synthetic camera plays a file of any length, so the reader keeps only the open
// file and the position of the first frame; each frame is read when it is wanted, into
// the caller's buffer. Lines (the stream header, each FRAME header) are bounded.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "camera/kcam.h"

namespace kestrelio {

inline constexpr size_t kY4mMaxHeaderBytes = 1024;

class Y4mReader {
 public:
  // False with a diagnostic when the file is missing, malformed, or not 96x80 4:2:0.
  bool Open(const std::string& path);
  bool is_open() const { return file_ != nullptr; }

  // The next frame into `frame`; false at the end of the file or at a frame that is
  // cut short or malformed (with a diagnostic for the latter).
  bool ReadFrame(std::span<uint8_t, KCAM_FRAME_BYTES> frame);
  // Back to the first frame.
  bool Rewind();
  // The next frame, from the first again after the last; false when the file holds
  // no complete frame.
  bool ReadFrameLooped(std::span<uint8_t, KCAM_FRAME_BYTES> frame);

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  // Reads one line of at most kY4mMaxHeaderBytes into `line` (without '\n').
  bool ReadLine(std::string& line);

  std::unique_ptr<std::FILE, Closer> file_;
  std::string path_;
  long first_frame_at_ = 0;
  bool any_frame_ = false;  // a complete frame has been read since Open
  std::string line_;        // reused: no allocation per frame once grown
};

// A whole clip in memory, for tests and benchmarks that need random access to a short
// file. The camera streams with Y4mReader instead.
struct Y4mClip {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> frames;  // frame_count x width x height x 3 / 2 bytes
  int frame_count = 0;
};

// Loads at most `max_frames` frames of `path`; false with a diagnostic when it is
// missing, malformed, not 96x80 4:2:0, or holds no complete frame.
bool LoadY4m(const std::string& path, Y4mClip& clip, int max_frames = 10000);

}  // namespace kestrelio
