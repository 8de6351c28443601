#include "camera/synthetic/y4m_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

#include "base/diag.h"
#include "camera/kcam.h"

namespace kestrelio {

bool LoadY4m(const std::string& path, Y4mClip& clip) {
  clip = Y4mClip{};
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Diag("Y4M file %s cannot be opened", path.c_str());
    return false;
  }
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  const size_t header_end = text.find('\n');
  if (text.substr(0, 10) != "YUV4MPEG2 " || header_end == std::string_view::npos) {
    Diag("%s is not a YUV4MPEG2 file", path.c_str());
    return false;
  }
  const std::string_view header = text.substr(0, header_end);
  size_t pos = 0;
  bool chroma_ok = true;
  while (pos < header.size()) {
    size_t next = header.find(' ', pos);
    if (next == std::string_view::npos) next = header.size();
    const std::string_view token = header.substr(pos, next - pos);
    if (!token.empty()) {
      const std::string value(token.substr(1));
      if (token[0] == 'W') clip.width = std::atoi(value.c_str());
      if (token[0] == 'H') clip.height = std::atoi(value.c_str());
      if (token[0] == 'C') chroma_ok = value.rfind("420", 0) == 0;
    }
    pos = next + 1;
  }
  if (clip.width != KCAM_FRAME_WIDTH || clip.height != KCAM_FRAME_HEIGHT || !chroma_ok) {
    Diag("%s: %dx%d, expected 96x80 4:2:0", path.c_str(), clip.width, clip.height);
    return false;
  }
  const size_t frame_bytes = KCAM_FRAME_BYTES;
  size_t at = header_end + 1;
  while (at < text.size()) {
    const size_t line_end = text.find('\n', at);
    if (line_end == std::string_view::npos || text.substr(at, 5) != "FRAME") break;
    at = line_end + 1;
    if (data.size() - at < frame_bytes) break;
    clip.frames.insert(clip.frames.end(), data.begin() + static_cast<long>(at),
                       data.begin() + static_cast<long>(at + frame_bytes));
    at += frame_bytes;
    ++clip.frame_count;
  }
  if (clip.frame_count == 0) {
    Diag("%s holds no complete frame", path.c_str());
    return false;
  }
  return true;
}

}  // namespace kestrelio
