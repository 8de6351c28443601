#include "media/yuv_rows.h"

#include <cstring>

#include "media/yuv_rgb.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

namespace kestrelio {

void ConvertYuvRowToBgrScalar(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                              uint8_t* out, RowOrder order) {
  for (int x = 0; x < width; ++x) {
    const int column = order == RowOrder::kMirrored ? width - 1 - x : x;
    YuvToBgr(y[x], u[x / 2], v[x / 2], out + column * 3);
  }
}

#if defined(__SSE2__)
namespace {

constexpr int kBlock = 16;

// Four pixels 0x00RRGGBB in each lane of `p` become twelve bytes: lanes of 64 bits get
// P0 | P1 << 24, stored 8 bytes at a time, 6 apart, so each store's last two bytes are
// overwritten by the next. The last store of a block writes exactly its 6 bytes.
inline void StorePixels4(__m128i p, uint8_t* out, bool last_of_block) {
  const __m128i low_dwords = _mm_set_epi32(0, -1, 0, -1);
  const __m128i high = _mm_srli_epi64(_mm_andnot_si128(low_dwords, p), 8);
  const __m128i packed = _mm_or_si128(_mm_and_si128(p, low_dwords), high);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
  const __m128i second = _mm_unpackhi_epi64(packed, packed);
  if (!last_of_block) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 6), second);
    return;
  }
  uint8_t bytes[8];
  _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes), second);
  std::memcpy(out + 6, bytes, 6);
}

// Reverses the four 32-bit pixels of a lane.
inline __m128i Reverse4(__m128i p) { return _mm_shuffle_epi32(p, _MM_SHUFFLE(0, 1, 2, 3)); }

struct Bgr16 {
  __m128i b, g, r;  // sixteen pixels, one byte each
};

// Sixteen pixels from y[0..16), u and v [0..8).
inline Bgr16 ComputeBgr(const uint8_t* y, const uint8_t* u, const uint8_t* v) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i y8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
  const __m128i sixteen = _mm_set1_epi16(16);
  const __m128i y_lo = _mm_sub_epi16(_mm_unpacklo_epi8(y8, zero), sixteen);
  const __m128i y_hi = _mm_sub_epi16(_mm_unpackhi_epi8(y8, zero), sixteen);

  const __m128i mid = _mm_set1_epi16(128);
  const __m128i d = _mm_sub_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u)), zero), mid);
  const __m128i e = _mm_sub_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)), zero), mid);

  // Per chroma sample: the part outside the shift and the part inside it (with the
  // rounding 128), for each of B, G, R.
  const __m128i outer_b = _mm_add_epi16(d, d);
  const __m128i inner_b = _mm_add_epi16(_mm_slli_epi16(d, 2), mid);
  const __m128i outer_g = _mm_sub_epi16(zero, e);
  const __m128i inner_g = _mm_add_epi16(_mm_sub_epi16(_mm_mullo_epi16(e, _mm_set1_epi16(48)),
                                                      _mm_mullo_epi16(d, _mm_set1_epi16(100))),
                                        mid);
  const __m128i outer_r = e;
  const __m128i inner_r = _mm_add_epi16(_mm_mullo_epi16(e, _mm_set1_epi16(153)), mid);

  const __m128i k42 = _mm_set1_epi16(42);
  auto channel = [](__m128i y_term, __m128i y42, __m128i outer, __m128i inner) {
    return _mm_add_epi16(_mm_add_epi16(y_term, outer),
                         _mm_srai_epi16(_mm_add_epi16(y42, inner), 8));
  };
  // Each chroma sample covers two pixels: unpack it with itself.
  const __m128i y42_lo = _mm_mullo_epi16(y_lo, k42);
  const __m128i y42_hi = _mm_mullo_epi16(y_hi, k42);
  const __m128i b = _mm_packus_epi16(channel(y_lo, y42_lo, _mm_unpacklo_epi16(outer_b, outer_b),
                                             _mm_unpacklo_epi16(inner_b, inner_b)),
                                     channel(y_hi, y42_hi, _mm_unpackhi_epi16(outer_b, outer_b),
                                             _mm_unpackhi_epi16(inner_b, inner_b)));
  const __m128i g = _mm_packus_epi16(channel(y_lo, y42_lo, _mm_unpacklo_epi16(outer_g, outer_g),
                                             _mm_unpacklo_epi16(inner_g, inner_g)),
                                     channel(y_hi, y42_hi, _mm_unpackhi_epi16(outer_g, outer_g),
                                             _mm_unpackhi_epi16(inner_g, inner_g)));
  const __m128i r = _mm_packus_epi16(channel(y_lo, y42_lo, _mm_unpacklo_epi16(outer_r, outer_r),
                                             _mm_unpacklo_epi16(inner_r, inner_r)),
                                     channel(y_hi, y42_hi, _mm_unpackhi_epi16(outer_r, outer_r),
                                             _mm_unpackhi_epi16(inner_r, inner_r)));

  return Bgr16{b, g, r};
}

// The 48 bytes of a block to out in the given order, with SSE2 alone.
inline void StoreBlock(const Bgr16& px, uint8_t* out, RowOrder order) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i b = px.b;
  const __m128i g = px.g;
  const __m128i r = px.r;
  // 0x00RRGGBB per pixel, four pixels a lane.
  const __m128i bg_lo = _mm_unpacklo_epi8(b, g);
  const __m128i bg_hi = _mm_unpackhi_epi8(b, g);
  const __m128i r_lo = _mm_unpacklo_epi8(r, zero);
  const __m128i r_hi = _mm_unpackhi_epi8(r, zero);
  __m128i p[4] = {_mm_unpacklo_epi16(bg_lo, r_lo), _mm_unpackhi_epi16(bg_lo, r_lo),
                  _mm_unpacklo_epi16(bg_hi, r_hi), _mm_unpackhi_epi16(bg_hi, r_hi)};
  if (order == RowOrder::kMirrored) {
    const __m128i p0 = p[0];
    const __m128i p1 = p[1];
    p[0] = Reverse4(p[3]);
    p[1] = Reverse4(p[2]);
    p[2] = Reverse4(p1);
    p[3] = Reverse4(p0);
  }
  StorePixels4(p[0], out, false);
  StorePixels4(p[1], out + 12, false);
  StorePixels4(p[2], out + 24, false);
  StorePixels4(p[3], out + 36, true);
}

void ConvertBlocksSse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                       uint8_t* out, RowOrder order) {
  const int blocks = width / kBlock;
  for (int i = 0; i < blocks; ++i) {
    const int x = i * kBlock;
    const int column = order == RowOrder::kMirrored ? width - kBlock - x : x;
    StoreBlock(ComputeBgr(y + x, u + x / 2, v + x / 2), out + column * 3, order);
  }
}

// Byte-shuffle masks that put sixteen B, G or R bytes at their places in the three
// output vectors of a block: entry [order][vector][channel].
struct InterleaveMasks {
  alignas(16) uint8_t bytes[2][3][3][16];
};

constexpr InterleaveMasks MakeInterleaveMasks() {
  InterleaveMasks masks{};
  for (int order = 0; order < 2; ++order) {
    for (int vector = 0; vector < 3; ++vector) {
      for (int channel = 0; channel < 3; ++channel) {
        for (int k = 0; k < 16; ++k) {
          const int byte = vector * 16 + k;
          const int pixel = byte / 3;
          const int source = order == 0 ? pixel : 15 - pixel;
          masks.bytes[order][vector][channel][k] =
              static_cast<uint8_t>(byte % 3 == channel ? source : 0x80);
        }
      }
    }
  }
  return masks;
}

constexpr InterleaveMasks kInterleave = MakeInterleaveMasks();

__attribute__((target("ssse3"))) void ConvertBlocksSsse3(const uint8_t* y, const uint8_t* u,
                                                         const uint8_t* v, int width, uint8_t* out,
                                                         RowOrder order) {
  const int o = order == RowOrder::kMirrored ? 1 : 0;
  __m128i mask[3][3];
  for (int vector = 0; vector < 3; ++vector) {
    for (int channel = 0; channel < 3; ++channel) {
      mask[vector][channel] =
          _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleave.bytes[o][vector][channel]));
    }
  }
  const int blocks = width / kBlock;
  for (int i = 0; i < blocks; ++i) {
    const int x = i * kBlock;
    const int column = o == 1 ? width - kBlock - x : x;
    const Bgr16 px = ComputeBgr(y + x, u + x / 2, v + x / 2);
    __m128i* dest = reinterpret_cast<__m128i*>(out + column * 3);
    for (int vector = 0; vector < 3; ++vector) {
      const __m128i bytes = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(px.b, mask[vector][0]),
                                                      _mm_shuffle_epi8(px.g, mask[vector][1])),
                                         _mm_shuffle_epi8(px.r, mask[vector][2]));
      _mm_storeu_si128(dest + vector, bytes);
    }
  }
}

bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

// The pixels after the last whole block; mirrored, they are the first columns.
void ConvertRest(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, uint8_t* out,
                 RowOrder order) {
  const int done = width / kBlock * kBlock;
  const int rest = width - done;
  if (rest == 0) return;
  uint8_t* rest_out = order == RowOrder::kMirrored ? out : out + done * 3;
  ConvertYuvRowToBgrScalar(y + done, u + done / 2, v + done / 2, rest, rest_out, order);
}

}  // namespace

void ConvertYuvRowToBgr(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                        uint8_t* out, RowOrder order) {
  if (HasSsse3()) {
    ConvertBlocksSsse3(y, u, v, width, out, order);
  } else {
    ConvertBlocksSse2(y, u, v, width, out, order);
  }
  ConvertRest(y, u, v, width, out, order);
}

void ConvertYuvRowToBgrSse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                            uint8_t* out, RowOrder order) {
  ConvertBlocksSse2(y, u, v, width, out, order);
  ConvertRest(y, u, v, width, out, order);
}

#else

void ConvertYuvRowToBgr(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                        uint8_t* out, RowOrder order) {
  ConvertYuvRowToBgrScalar(y, u, v, width, out, order);
}

void ConvertYuvRowToBgrSse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                            uint8_t* out, RowOrder order) {
  ConvertYuvRowToBgrScalar(y, u, v, width, out, order);
}

#endif

}  // namespace kestrelio
