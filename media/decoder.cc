#include "media/decoder.h"

#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "base/byte_io.h"
#include "base/diag.h"
#include "base/tick.h"
#include "media/yuv_rows.h"

namespace kestrelio {
namespace {

void AvLog(void* avcl, int level, const char* format, va_list args) {
  if (level > AV_LOG_WARNING) return;
  char piece[LibraryLogLines::kMaxLine];
  std::vsnprintf(piece, sizeof piece, format, args);
  // A decoder context's pieces are gathered into lines by its own DecoderState; other
  // messages (ours, with no context) are whole lines.
  if (avcl != nullptr && *static_cast<const AVClass* const*>(avcl) == avcodec_get_class()) {
    const auto* context = static_cast<const AVCodecContext*>(avcl);
    if (context->opaque != nullptr) {
      static_cast<LibraryLogLines*>(context->opaque)->Add(piece);
      return;
    }
  }
  WriteLibraryLogLine(piece);
}

void RouteLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(AvLog); });
}

}  // namespace

void PictureRing::Reset() {
  for (auto& flag : full) flag.store(0, std::memory_order_relaxed);
  write_index.store(0, std::memory_order_relaxed);
  read_index.store(0, std::memory_order_release);
}

DecoderState::DecoderState() = default;

DecoderState::~DecoderState() { DecoderClose(*this); }

namespace {

void FreeCodecLocked(DecoderState& state) {
  avcodec_free_context(&state.context);
  av_packet_free(&state.packet);
  av_frame_free(&state.frame);
  av_buffer_unref(&state.input);
  state.log_lines.Flush();  // an unfinished last line of the closed decoder
}

int DecodeFrameLocked(DecoderState& state, std::span<const uint8_t> payload, uint8_t* slot);

}  // namespace

int DecoderOpen(DecoderState& state) {
  RouteLibraryLog();
  std::lock_guard lock(state.codec_mutex);
  FreeCodecLocked(state);
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (codec == nullptr) {
    av_log(nullptr, AV_LOG_ERROR, "codec not found\n");
    return 1;
  }
  state.context = avcodec_alloc_context3(codec);
  state.packet = av_packet_alloc();
  state.frame = av_frame_alloc();
  state.input = av_buffer_allocz(kMaxReceivedPayloadBytes + AV_INPUT_BUFFER_PADDING_SIZE);
  if (state.context == nullptr || state.packet == nullptr || state.frame == nullptr ||
      state.input == nullptr) {
    FreeCodecLocked(state);
    return 1;
  }
  state.context->thread_count = 1;  // a picture out for every payload in, no frame delay
  // A stream header may declare any size, and the decoder would pool some 36 pictures of
  // it: a peer could make us allocate gigabytes. Refuse, inside the library, any picture
  // larger than one we could show (with room for the library's stride alignment).
  state.context->max_pixels = kMaxDecodedPixels;
  state.context->opaque = &state.log_lines;
  if (avcodec_open2(state.context, codec, nullptr) < 0) {
    av_log(nullptr, AV_LOG_ERROR, "could not open codec\n");
    FreeCodecLocked(state);
    return 1;
  }
  state.ring.Reset();
  state.decoded_count = 0;
  return 0;
}

void DecoderClose(DecoderState& state) {
  std::lock_guard lock(state.codec_mutex);
  for (auto& flag : state.ring.full) flag.store(0, std::memory_order_release);
  FreeCodecLocked(state);
}

void ConvertYuv420ToBgr(const uint8_t* y, int y_stride, const uint8_t* u, int u_stride,
                        const uint8_t* v, int v_stride, int width, int height, uint8_t* out) {
  for (int r = 0; r < height; ++r) {
    ConvertYuvRowToBgr(y + r * y_stride, u + (r / 2) * u_stride, v + (r / 2) * v_stride, width,
                       out + r * width * 3, RowOrder::kAsIs);
  }
}

int DecodeFrame(DecoderState& state, std::span<const uint8_t> payload, uint8_t* slot) {
  std::lock_guard lock(state.codec_mutex);
  return DecodeFrameLocked(state, payload, slot);
}

namespace {

int DecodeFrameLocked(DecoderState& state, std::span<const uint8_t> payload, uint8_t* slot) {
  if (state.context == nullptr) return 0;
  ByteReader reader(payload);
  const uint32_t n = reader.U32Be(kPayloadCountOffset);
  if (!reader.ok()) return 0;  // shorter than its count
  constexpr uint32_t kCountTopBit = 0x80000000u;
  if ((n & kCountTopBit) != 0 || n == 0) return 0;
  const size_t nal_bytes = payload.size() - kPayloadCountBytes;
  if (n > nal_bytes || n > kMaxReceivedPayloadBytes) {
    Diag("video payload count %u exceeds the %zu bytes received: ignored", n, nal_bytes);
    return 0;
  }
  // The decoder lets go of a packet once its pictures are out, so the buffer is ours
  // again here; should a decoder keep it longer, it gets a new buffer and keeps the old.
  if (av_buffer_make_writable(&state.input) < 0) return 0;
  // The decoder reads a little past the end of its input; give it padded zeros.
  std::memcpy(state.input->data, payload.data() + kPayloadCountBytes, n);
  std::memset(state.input->data + n, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  state.packet->buf = state.input;  // lent: the decoder takes its own reference
  state.packet->data = state.input->data;
  state.packet->size = static_cast<int>(n);
  const int sent = avcodec_send_packet(state.context, state.packet);
  state.packet->buf = nullptr;
  state.packet->data = nullptr;
  state.packet->size = 0;
  if (sent < 0) {
    av_log(nullptr, AV_LOG_ERROR, "[ffmpeg] Error while decoding frame %u\n", state.decoded_count);
    return 0;
  }
  int written = 0;
  const int peer_width = state.peer_width.load(std::memory_order_relaxed);
  const int peer_height = state.peer_height.load(std::memory_order_relaxed);
  while (true) {
    const int got = avcodec_receive_frame(state.context, state.frame);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
    if (got < 0) {
      av_log(nullptr, AV_LOG_ERROR, "[ffmpeg] Error while decoding frame %u\n",
             state.decoded_count);
      break;
    }
    const AVFrame& f = *state.frame;
    if (f.width != peer_width || f.height != peer_height ||
        f.width * f.height > kMaxPicturePixels ||
        (f.format != AV_PIX_FMT_YUV420P && f.format != AV_PIX_FMT_YUVJ420P)) {
      Diag("decoded picture %dx%d (format %d) is not the agreed %dx%d: skipped", f.width, f.height,
           f.format, peer_width, peer_height);
    } else {
      ++state.decoded_count;
      if (slot != nullptr) {
        ConvertYuv420ToBgr(f.data[0], f.linesize[0], f.data[1], f.linesize[1], f.data[2],
                           f.linesize[2], f.width, f.height, slot);
        ++written;
      }
    }
    av_frame_unref(state.frame);
  }
  return written;
}

}  // namespace

void CommitPictureSlot(PictureRing& ring) {
  const uint32_t write_index = ring.write_index.load(std::memory_order_relaxed);
  if (ring.full[write_index].load(std::memory_order_acquire) != 0) return;
  ring.full[write_index].store(1, std::memory_order_release);
  ring.write_index.store((write_index + 1) % kPictureSlots, std::memory_order_release);
  ring.reader_waker.Wake();
}

void DecodeIntoRing(DecoderState& state, std::span<const uint8_t> payload) {
  PictureRing& ring = state.ring;
  const uint32_t arrival_ms = TickCountMs();
  std::lock_guard lock(state.codec_mutex);
  const uint32_t write_index = ring.write_index.load(std::memory_order_relaxed);
  // Acquire pairs with the display thread's release of the flag after its copy: once
  // the flag reads clear, the copy is over and the slot is the writer's.
  const bool slot_free = ring.full[write_index].load(std::memory_order_acquire) == 0;
  const uint32_t decoded_before = state.decoded_count;
  DecodeFrameLocked(state, payload, slot_free ? ring.Slot(write_index) : nullptr);
  const uint32_t decoded = state.decoded_count - decoded_before;
  if (slot_free) {
    ring.arrival_ms[write_index] = arrival_ms;
    CommitPictureSlot(ring);
  }
  if (MediaStatistics* statistics = state.statistics; statistics != nullptr && decoded != 0) {
    statistics->frames_decoded.fetch_add(decoded, std::memory_order_relaxed);
    // Of what one payload yields only the last picture is kept, and none without a slot.
    statistics->frames_dropped.fetch_add(slot_free ? decoded - 1 : decoded,
                                         std::memory_order_relaxed);
  }
}

void DecoderState::OnReceivedVideo(std::span<const uint8_t> payload) {
  DecodeIntoRing(*this, payload);
}

}  // namespace kestrelio
