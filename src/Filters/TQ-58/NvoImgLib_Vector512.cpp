// AVX-512 row kernels of the image library (F, BW, DQ and VL).
//
// The same rules as the AVX2 kernels: each lane holds one output value (or
// one pixel) and goes through the plain code's double operations in the same
// order, with multiplications and additions kept apart (no FMA). Masked loads
// and stores let a kernel finish its row: lanes past the end read nothing
// and write nothing.

// GCC 12's AVX-512 headers start many intrinsics from a deliberately
// undefined register, which its -Wmaybe-uninitialized reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <cstdint>
#include <initializer_list>

#include "NvoImgLib_Vector.h"

#define TQ58_AVX512 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))

namespace nvoimg {

namespace {

// Mask of the first n (0..16) of sixteen lanes.
TQ58_AVX512 inline __mmask16 FirstLanes(int32_t n)
{
  return static_cast<__mmask16>((1u << n) - 1u);
}

// trunc(v), then limited to 0..255 (v lies far inside the int32 range).
TQ58_AVX512 inline __m256i TruncClamp8(__m512d v)
{
  const __m256i t = _mm512_cvttpd_epi32(v);
  return _mm256_min_epi32(_mm256_max_epi32(t, _mm256_setzero_si256()), _mm256_set1_epi32(255));
}

// Sixteen int32 values, already limited to 0..255, as bytes at out (the first n).
TQ58_AVX512 inline void StoreBytes16(__m256i low, __m256i high, int32_t n, unsigned char* out)
{
  const __m512i all = _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
  _mm_mask_storeu_epi8(out, FirstLanes(n), _mm512_cvtepi32_epi8(all));
}

}  // namespace

TQ58_AVX512 int32_t ConvertRowAvx512(const unsigned char* src, int32_t n, double* out)
{
  for (int32_t k = 0; k < n; k += 16) {
    const int32_t count = n - k < 16 ? n - k : 16;
    const __mmask16 mask = FirstLanes(count);
    const __m512i values = _mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(mask, src + k));
    _mm512_mask_storeu_pd(out + k, static_cast<__mmask8>(mask), _mm512_cvtepi32_pd(_mm512_castsi512_si256(values)));
    _mm512_mask_storeu_pd(out + k + 8, static_cast<__mmask8>(mask >> 8),
                          _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(values, 1)));
  }
  return n;
}

namespace {

// trunc(w0 * r0[k] + w1 * r1[k] + w2 * r2[k] + w3 * r3[k] + 0.5) for the lanes in mask, limited to 0..255.
TQ58_AVX512 inline __m256i VerticalSums8(const double* const r[4], const __m512d w[4], int32_t k, __mmask8 mask)
{
  __m512d s = _mm512_mul_pd(w[0], _mm512_maskz_loadu_pd(mask, r[0] + k));
  s = _mm512_add_pd(s, _mm512_mul_pd(w[1], _mm512_maskz_loadu_pd(mask, r[1] + k)));
  s = _mm512_add_pd(s, _mm512_mul_pd(w[2], _mm512_maskz_loadu_pd(mask, r[2] + k)));
  s = _mm512_add_pd(s, _mm512_mul_pd(w[3], _mm512_maskz_loadu_pd(mask, r[3] + k)));
  return TruncClamp8(_mm512_add_pd(s, _mm512_set1_pd(0.5)));
}

}  // namespace

TQ58_AVX512 int32_t VerticalRowAvx512(const double* const rows[4], const double weight[4], int32_t n,
                                      unsigned char* out)
{
  const double* const r[4] = {rows[0], rows[1], rows[2], rows[3]};
  const __m512d w[4] = {_mm512_set1_pd(weight[0]), _mm512_set1_pd(weight[1]), _mm512_set1_pd(weight[2]),
                        _mm512_set1_pd(weight[3])};
  for (int32_t k = 0; k < n; k += 16) {
    const int32_t count = n - k < 16 ? n - k : 16;
    const __mmask16 mask = FirstLanes(count);
    const __m256i low = VerticalSums8(r, w, k, static_cast<__mmask8>(mask));
    const __m256i high = VerticalSums8(r, w, k + 8, static_cast<__mmask8>(mask >> 8));
    StoreBytes16(low, high, count, out + k);
  }
  return n;
}

namespace {

// The nine taps of the lanes in mask in the plain code's order, truncated and limited to 0..255.
TQ58_AVX512 inline __m256i SharpenSums8(const double* const r[3], __m512d e, __m512d c, int32_t k, __mmask8 mask)
{
  __m512d s = _mm512_mul_pd(e, _mm512_maskz_loadu_pd(mask, r[0] + k));
  s = _mm512_add_pd(s, _mm512_mul_pd(e, _mm512_maskz_loadu_pd(mask, r[0] + k + 3)));
  s = _mm512_add_pd(s, _mm512_mul_pd(e, _mm512_maskz_loadu_pd(mask, r[0] + k + 6)));
  s = _mm512_add_pd(s, _mm512_mul_pd(e, _mm512_maskz_loadu_pd(mask, r[1] + k)));
  s = _mm512_add_pd(s, _mm512_mul_pd(c, _mm512_maskz_loadu_pd(mask, r[1] + k + 3)));
  s = _mm512_add_pd(s, _mm512_mul_pd(e, _mm512_maskz_loadu_pd(mask, r[1] + k + 6)));
  s = _mm512_add_pd(s, _mm512_mul_pd(e, _mm512_maskz_loadu_pd(mask, r[2] + k)));
  s = _mm512_add_pd(s, _mm512_mul_pd(e, _mm512_maskz_loadu_pd(mask, r[2] + k + 3)));
  s = _mm512_add_pd(s, _mm512_mul_pd(e, _mm512_maskz_loadu_pd(mask, r[2] + k + 6)));
  return TruncClamp8(s);
}

}  // namespace

TQ58_AVX512 int32_t SharpenRowAvx512(const double* above, const double* row, const double* below, int32_t n,
                                     double edge, double centre, unsigned char* out)
{
  const double* const r[3] = {above, row, below};
  const __m512d e = _mm512_set1_pd(edge);
  const __m512d c = _mm512_set1_pd(centre);
  for (int32_t k = 0; k < n; k += 16) {
    const int32_t count = n - k < 16 ? n - k : 16;
    const __mmask16 mask = FirstLanes(count);
    const __m256i low = SharpenSums8(r, e, c, k, static_cast<__mmask8>(mask));
    const __m256i high = SharpenSums8(r, e, c, k + 8, static_cast<__mmask8>(mask >> 8));
    StoreBytes16(low, high, count, out + k);
  }
  return n;
}

namespace {

// Hue, lightness and chroma of eight pixels, as RGBtoHSL and the chroma table give them.
struct Hsl8 {
  __m512d hue, lightness, chroma;
  __mmask8 isGrey;
};

TQ58_AVX512 Hsl8 ToHsl8(__m256i r, __m256i g, __m256i b, const double* chromaTable)
{
  const __m256i hi = _mm256_max_epi32(_mm256_max_epi32(r, g), b);
  const __m256i lo = _mm256_min_epi32(_mm256_min_epi32(r, g), b);
  const __m256i spread = _mm256_sub_epi32(hi, lo);
  // The minimum tests are made in the order b, r, g.
  const __mmask8 loIsB = _mm256_cmpeq_epi32_mask(lo, b);
  const __mmask8 loIsR = _mm256_cmpeq_epi32_mask(lo, r);
  __m256i numerator = _mm256_mask_blend_epi32(loIsR, _mm256_sub_epi32(r, b), _mm256_sub_epi32(b, g));
  numerator = _mm256_mask_blend_epi32(loIsB, numerator, _mm256_sub_epi32(g, r));
  __m256i offset = _mm256_mask_blend_epi32(loIsR, _mm256_set1_epi32(300), _mm256_set1_epi32(180));
  offset = _mm256_mask_blend_epi32(loIsB, offset, _mm256_set1_epi32(60));
  Hsl8 h;
  h.isGrey = _mm256_cmpeq_epi32_mask(spread, _mm256_setzero_si256());
  const __m256i divisor = _mm256_mask_blend_epi32(h.isGrey, spread, _mm256_set1_epi32(1));
  h.hue = _mm512_add_pd(_mm512_div_pd(_mm512_cvtepi32_pd(_mm256_mullo_epi32(numerator, _mm256_set1_epi32(60))),
                                      _mm512_cvtepi32_pd(divisor)),
                        _mm512_cvtepi32_pd(offset));
  h.lightness = _mm512_mul_pd(_mm512_cvtepi32_pd(_mm256_add_epi32(hi, lo)), _mm512_set1_pd(0.5));
  h.chroma = _mm512_i32gather_pd(spread, chromaTable, 8);
  return h;
}

// TruncToByte: 255 and above give 255, not above 0 gives 0, else trunc(v).
TQ58_AVX512 __m256i TruncToByte8(__m512d v)
{
  const __m512d top = _mm512_set1_pd(255.0);
  __m512d c = _mm512_maskz_mov_pd(_mm512_cmp_pd_mask(v, _mm512_setzero_pd(), _CMP_GT_OQ), v);
  c = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(v, top, _CMP_GE_OQ), c, top);
  return _mm512_cvttpd_epi32(c);
}

// Picks hi (role 0), mid (role 1) or lo (role 2) per lane; roles[s] is the role for sector s.
TQ58_AVX512 __m256i PickRole8(__m256i sector, __m256i roles, __m256i hi, __m256i mid, __m256i lo)
{
  const __m256i role = _mm256_permutexvar_epi32(sector, roles);
  const __m256i v = _mm256_mask_blend_epi32(_mm256_cmpeq_epi32_mask(role, _mm256_set1_epi32(1)), lo, mid);
  return _mm256_mask_blend_epi32(_mm256_cmpeq_epi32_mask(role, _mm256_setzero_si256()), v, hi);
}

// HSLtoRGB with the new chroma; out[0..2] are red, green, blue.
TQ58_AVX512 void FromHsl8(const Hsl8& h, __m256i out[3])
{
  const __m512d l = h.lightness;
  const __m512d top = _mm512_set1_pd(255.0);
  __m512d d = _mm512_mul_pd(h.chroma, _mm512_set1_pd(0.5));
  const __mmask8 overTop = _mm512_cmp_pd_mask(_mm512_add_pd(d, l), top, _CMP_GT_OQ);
  const __mmask8 overLight = _mm512_cmp_pd_mask(d, l, _CMP_GT_OQ);
  d = _mm512_mask_blend_pd(overLight, _mm512_mask_blend_pd(overTop, d, _mm512_sub_pd(top, l)), l);
  const __m512d hi = _mm512_add_pd(d, l);
  const __m512d lo = _mm512_sub_pd(l, d);
  const __m512d span = _mm512_sub_pd(hi, lo);
  __m256i s = _mm256_setzero_si256();
  for (double edge : {60.0, 120.0, 180.0, 240.0, 300.0}) {
    const __mmask8 above = _mm512_cmp_pd_mask(h.hue, _mm512_set1_pd(edge), _CMP_GE_OQ);
    s = _mm256_mask_add_epi32(s, above, s, _mm256_set1_epi32(1));
  }
  // Base 0, 120, 120, 240, 240, 360 and sign +1, -1, +1, ... by sector, as exact doubles.
  const __m512i sector = _mm512_cvtepu32_epi64(s);
  const __m512d base = _mm512_permutexvar_pd(sector, _mm512_setr_pd(0.0, 120.0, 120.0, 240.0, 240.0, 360.0, 0.0, 0.0));
  const __m512d sign = _mm512_permutexvar_pd(sector, _mm512_setr_pd(1.0, -1.0, 1.0, -1.0, 1.0, -1.0, 1.0, 1.0));
  const __m512d mid = _mm512_add_pd(
      _mm512_mul_pd(_mm512_div_pd(_mm512_mul_pd(_mm512_sub_pd(h.hue, base), sign), _mm512_set1_pd(60.0)), span), lo);
  const __m256i hiB = TruncToByte8(hi), midB = TruncToByte8(mid), loB = TruncToByte8(lo);
  const __m256i grey = TruncToByte8(l);
  const __m256i roles[3] = {_mm256_setr_epi32(0, 1, 2, 2, 1, 0, 0, 0), _mm256_setr_epi32(1, 0, 0, 1, 2, 2, 0, 0),
                            _mm256_setr_epi32(2, 2, 1, 0, 0, 1, 0, 0)};
  for (int ch = 0; ch < 3; ++ch) {
    out[ch] = _mm256_mask_blend_epi32(h.isGrey, PickRole8(s, roles[ch], hiB, midB, loB), grey);
  }
}

}  // namespace

// Eight pixels (24 bytes) a round; the last round reads and writes only its
// own pixels' bytes.
TQ58_AVX512 int32_t SaturateRowAvx512(unsigned char* row, int32_t width, int redIndex, const double* chromaTable)
{
  // Pixels 0..3 to the low 128-bit half, pixels 4..7 (from byte 12) to the high one.
  const __m256i spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
  const __m256i take0 =
      _mm256_broadcastsi128_si256(_mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1));
  const __m256i take1 =
      _mm256_broadcastsi128_si256(_mm_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1));
  const __m256i take2 =
      _mm256_broadcastsi128_si256(_mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1));
  const __m256i pack =
      _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
  const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  for (int32_t x = 0; x < width; x += 8) {
    const int32_t count = width - x < 8 ? width - x : 8;
    const __mmask32 mask = static_cast<__mmask32>((1ull << (3 * count)) - 1u);
    unsigned char* p = row + 3 * static_cast<size_t>(x);
    const __m256i v = _mm256_permutexvar_epi32(spread, _mm256_maskz_loadu_epi8(mask, p));
    const __m256i byte0 = _mm256_shuffle_epi8(v, take0);
    const __m256i byte2 = _mm256_shuffle_epi8(v, take2);
    const __m256i r = redIndex == 0 ? byte0 : byte2;
    const __m256i b = redIndex == 0 ? byte2 : byte0;
    __m256i rgb[3];
    FromHsl8(ToHsl8(r, _mm256_shuffle_epi8(v, take1), b, chromaTable), rgb);
    const __m256i first = redIndex == 0 ? rgb[0] : rgb[2];
    const __m256i last = redIndex == 0 ? rgb[2] : rgb[0];
    const __m256i lanes =
        _mm256_or_si256(_mm256_or_si256(first, _mm256_slli_epi32(rgb[1], 8)), _mm256_slli_epi32(last, 16));
    const __m256i packed = _mm256_permutexvar_epi32(join, _mm256_shuffle_epi8(lanes, pack));
    _mm256_mask_storeu_epi8(p, mask, packed);
  }
  return width;
}

}  // namespace nvoimg
