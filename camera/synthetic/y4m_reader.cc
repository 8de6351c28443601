#include "camera/synthetic/y4m_reader.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/diag.h"

namespace kestrelio {
namespace {

// The value of the first token starting with `tag` in a header line, or empty.
std::string_view TagValue(std::string_view header, char tag) {
  size_t pos = 0;
  while (pos < header.size()) {
    size_t next = header.find(' ', pos);
    if (next == std::string_view::npos) next = header.size();
    const std::string_view token = header.substr(pos, next - pos);
    if (!token.empty() && token[0] == tag) return token.substr(1);
    pos = next + 1;
  }
  return {};
}

// A positive decimal of at most five digits, or 0.
int SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return 0;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

bool Y4mReader::ReadLine(std::string& line) {
  line.clear();
  for (;;) {
    const int c = std::fgetc(file_.get());
    if (c == EOF) return false;
    if (c == '\n') return true;
    if (line.size() >= kY4mMaxHeaderBytes) return false;
    line.push_back(static_cast<char>(c));
  }
}

bool Y4mReader::Open(const std::string& path) {
  file_.reset(std::fopen(path.c_str(), "rb"));
  path_ = path;
  any_frame_ = false;
  if (!file_) {
    Diag("Y4M file %s cannot be opened", path.c_str());
    return false;
  }
  line_.reserve(kY4mMaxHeaderBytes);
  if (!ReadLine(line_) || line_.compare(0, 10, "YUV4MPEG2 ") != 0) {
    Diag("%s is not a YUV4MPEG2 file", path.c_str());
    file_.reset();
    return false;
  }
  const int width = SmallNumber(TagValue(line_, 'W'));
  const int height = SmallNumber(TagValue(line_, 'H'));
  const std::string_view chroma = TagValue(line_, 'C');
  const bool chroma_ok = chroma.empty() || chroma.substr(0, 3) == "420";
  if (width != KCAM_FRAME_WIDTH || height != KCAM_FRAME_HEIGHT || !chroma_ok) {
    Diag("%s: %dx%d, expected 96x80 4:2:0", path.c_str(), width, height);
    file_.reset();
    return false;
  }
  first_frame_at_ = std::ftell(file_.get());
  return first_frame_at_ >= 0;
}

bool Y4mReader::ReadFrame(std::span<uint8_t, KCAM_FRAME_BYTES> frame) {
  if (!file_) return false;
  if (!ReadLine(line_)) return false;  // the end, or a header line past its bound
  if (line_.compare(0, 5, "FRAME") != 0) {
    Diag("%s: frame header expected", path_.c_str());
    return false;
  }
  if (std::fread(frame.data(), 1, frame.size(), file_.get()) != frame.size()) return false;
  any_frame_ = true;
  return true;
}

bool Y4mReader::Rewind() {
  return file_ && std::fseek(file_.get(), first_frame_at_, SEEK_SET) == 0;
}

bool Y4mReader::ReadFrameLooped(std::span<uint8_t, KCAM_FRAME_BYTES> frame) {
  if (ReadFrame(frame)) return true;
  // At the end (or a damaged frame): from the first again, if there ever was one.
  return any_frame_ && Rewind() && ReadFrame(frame);
}

bool LoadY4m(const std::string& path, Y4mClip& clip, int max_frames) {
  clip = Y4mClip{};
  Y4mReader reader;
  if (!reader.Open(path)) return false;
  clip.width = KCAM_FRAME_WIDTH;
  clip.height = KCAM_FRAME_HEIGHT;
  while (clip.frame_count < max_frames) {
    const size_t at = clip.frames.size();
    clip.frames.resize(at + KCAM_FRAME_BYTES);
    if (!reader.ReadFrame(
            std::span<uint8_t, KCAM_FRAME_BYTES>(clip.frames.data() + at, KCAM_FRAME_BYTES))) {
      clip.frames.resize(at);
      break;
    }
    ++clip.frame_count;
  }
  if (clip.frame_count == 0) {
    Diag("%s holds no complete frame", path.c_str());
    return false;
  }
  return true;
}

}  // namespace kestrelio
