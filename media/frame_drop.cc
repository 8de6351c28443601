#include "media/frame_drop.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrelio {

uint32_t LumaSadPlain(const uint8_t* a, const uint8_t* b) {
  uint32_t sum = 0;
  for (int i = 0; i < kLumaBytes; ++i) {
    const int d = a[i] - b[i];
    sum += static_cast<uint32_t>(d < 0 ? -d : d);
  }
  return sum;
}

uint32_t LumaSad(const uint8_t* a, const uint8_t* b) {
#if defined(__SSE2__)
  static_assert(kLumaBytes % 16 == 0);
  __m128i total = _mm_setzero_si128();
  for (int i = 0; i < kLumaBytes; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    total = _mm_add_epi64(total, _mm_sad_epu8(x, y));
  }
  // Two 64-bit partial sums; the whole frame fits 32 bits (7,680 x 255).
  return static_cast<uint32_t>(_mm_cvtsi128_si32(total)) +
         static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(total, 8)));
#else
  return LumaSadPlain(a, b);
#endif
}

FrameDecision FrameDropTest(const uint8_t* frame_luma, const uint8_t* previous_luma,
                            FrameDropCounters& counters, KeyframeRequests& requests) {
  FrameDecision result;
  if (LumaSad(frame_luma, previous_luma) <= kStillThreshold) {
    ++counters.still;
    result = FrameDecision::kDrop;
  } else {
    ++counters.motion;
    result = FrameDecision::kAccept;
  }
  if (counters.motion + counters.still > kFrameDropWindowLimit) {
    if (counters.motion == 0) {
      // A whole window without motion: send the still picture once, self-contained.
      requests.still.store(true, std::memory_order_release);
      result = FrameDecision::kAccept;
    }
    counters.motion = 0;
    counters.still = 0;
  }
  return result;
}

bool TakeKeyframeRequest(KeyframeRequests& requests) {
  const bool loss = requests.packet_loss.exchange(false, std::memory_order_acq_rel);
  const bool still = requests.still.exchange(false, std::memory_order_acq_rel);
  return loss || still;
}

}  // namespace kestrelio
