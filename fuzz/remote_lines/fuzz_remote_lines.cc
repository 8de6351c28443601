// The remote-control socket's intake: any bytes, in reads of any size, are framed into
// lines with the length bound (a too-long line must not hide the lines after it), and
// every line is checked for the request shape. Nothing may crash, nor may the framer
// keep more than one bound's worth.
//
// Input: [read size][bytes...]: the bytes are fed in reads of that size (1..256).
#include <QByteArray>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/diag.h"
#include "ui/line_framer.h"
#include "ui/remote_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kestrelio::DiagQuietScope quiet;
  if (size < 1) return 0;
  const size_t read_size = static_cast<size_t>(data[0]) + 1;
  std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  constexpr size_t kBound = 512;  // small, so that too-long lines are common
  kestrelio::LineFramer framer(kBound);
  while (!bytes.empty()) {
    const std::string_view read = bytes.substr(0, read_size);
    bytes.remove_prefix(read.size());
    for (const auto& piece : framer.Feed(read)) {
      if (piece.too_long) {
        if (!piece.line.empty()) std::abort();
        continue;
      }
      if (piece.line.size() > kBound || piece.line.find('\n') != std::string::npos) std::abort();
      QJsonObject reply;
      const auto request = kestrelio::ParseRemoteRequest(
          QByteArray(piece.line.data(), static_cast<qsizetype>(piece.line.size())), reply);
      if (!request && !reply.contains("error")) std::abort();
    }
    if (framer.buffered() > kBound) std::abort();
  }
  return 0;
}
