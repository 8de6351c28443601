// The Y4M file the synthetic camera plays is named from outside (an environment
// variable): any file must be refused or played frame by frame, looped, without harm.
// The input is the file, held in memory and named through /proc.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/diag.h"
#include "camera/synthetic/y4m_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kestrelio::DiagQuietScope quiet;
  static const int fd = memfd_create("fuzz.y4m", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0) return 0;
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  kestrelio::Y4mReader reader;
  if (!reader.Open(path)) return 0;
  std::array<uint8_t, KCAM_FRAME_BYTES> frame{};
  for (int i = 0; i < 8 && reader.ReadFrameLooped(frame); ++i) {
  }
  return 0;
}
