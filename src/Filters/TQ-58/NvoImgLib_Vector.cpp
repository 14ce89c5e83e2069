// AVX2 row kernels of the image library and the run-time choice of path.
//
// Each lane holds one output value (or one pixel) and goes through the same
// double operations, in the same order, as the plain code: multiplications
// and additions stay separate instructions (this file is built with
// -ffp-contract=off and never asks for FMA), divisions are IEEE divisions, and
// truncation and clamping follow the plain code's comparisons.
#include "NvoImgLib_Vector.h"

#include <immintrin.h>

#include <cstring>
#include <initializer_list>

namespace nvoimg {

namespace {

int g_vectorPath = -1;  // -1: not chosen yet, else a VectorPath

// The best path this processor has.
VectorPath GetBestPath()
{
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512vl")) {
    return VectorPath::kAvx512;
  }
  return __builtin_cpu_supports("avx2") ? VectorPath::kAvx2 : VectorPath::kPlain;
}

}  // namespace

VectorPath GetVectorPath()
{
  if (g_vectorPath < 0) {
    g_vectorPath = static_cast<int>(GetBestPath());
  }
  return static_cast<VectorPath>(g_vectorPath);
}

void SetVectorPath(VectorPath path)
{
  const VectorPath best = GetBestPath();
  g_vectorPath = static_cast<int>(path < best ? path : best);
}

bool IsVectorPathEnabled()
{
  return GetVectorPath() != VectorPath::kPlain;
}

void SetVectorPathEnabled(bool enabled)
{
  SetVectorPath(enabled ? VectorPath::kAvx512 : VectorPath::kPlain);
}

int32_t ConvertRowVector(const unsigned char* src, int32_t n, double* out)
{
  switch (GetVectorPath()) {
  case VectorPath::kAvx512: return ConvertRowAvx512(src, n, out);
  case VectorPath::kAvx2: return ConvertRowAvx2(src, n, out);
  default: return 0;
  }
}

int32_t HorizontalRowVector(const double* src, const Tap4* cols, int32_t newWidth, double* out)
{
  // AVX2 on both vector paths.
  return IsVectorPathEnabled() ? HorizontalRowAvx2(src, cols, newWidth, out) : 0;
}

int32_t VerticalRowVector(const double* const rows[4], const double weight[4], int32_t n, unsigned char* out)
{
  switch (GetVectorPath()) {
  case VectorPath::kAvx512: return VerticalRowAvx512(rows, weight, n, out);
  case VectorPath::kAvx2: return VerticalRowAvx2(rows, weight, n, out);
  default: return 0;
  }
}

int32_t SharpenRowVector(const double* above, const double* row, const double* below, int32_t n, double edge,
                         double centre, unsigned char* out)
{
  switch (GetVectorPath()) {
  case VectorPath::kAvx512: return SharpenRowAvx512(above, row, below, n, edge, centre, out);
  case VectorPath::kAvx2: return SharpenRowAvx2(above, row, below, n, edge, centre, out);
  default: return 0;
  }
}

int32_t SaturateRowVector(unsigned char* row, int32_t width, int redIndex, const double* chromaTable)
{
  switch (GetVectorPath()) {
  case VectorPath::kAvx512: return SaturateRowAvx512(row, width, redIndex, chromaTable);
  case VectorPath::kAvx2: return SaturateRowAvx2(row, width, redIndex, chromaTable);
  default: return 0;
  }
}

namespace {

// Four int32 values, already limited to 0..255, stored as four bytes.
__attribute__((target("avx2"))) inline void StoreBytes4(__m128i v, unsigned char* out)
{
  const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(v, v), _mm_setzero_si128());
  const int word = _mm_cvtsi128_si32(bytes);
  std::memcpy(out, &word, 4);
}

// table[index] for four lanes (the masked form: the plain one leaves GCC
// warning about its undefined source operand).
__attribute__((target("avx2"))) inline __m256d Gather4(const double* table, __m128i index)
{
  const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), table, index, all, 8);
}

// trunc(v), then limited to 0..255 (v lies far inside the int32 range).
__attribute__((target("avx2"))) inline __m128i TruncClamp(__m256d v)
{
  const __m128i t = _mm256_cvttpd_epi32(v);
  return _mm_min_epi32(_mm_max_epi32(t, _mm_setzero_si128()), _mm_set1_epi32(255));
}

}  // namespace

__attribute__((target("avx2"))) int32_t ConvertRowAvx2(const unsigned char* src, int32_t n, double* out)
{
  int32_t k = 0;
  for (; k + 8 <= n; k += 8) {
    __m128i eight;
    std::memcpy(&eight, src + k, 8);
    eight = _mm_cvtsi64_si128(_mm_cvtsi128_si64(eight));
    _mm256_storeu_pd(out + k, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(eight)));
    _mm256_storeu_pd(out + k + 4, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(eight, 4))));
  }
  return k;
}

// Lanes 0..2 are the three values of one new pixel; lane 3 is overwritten by
// the next pixel's first value.
__attribute__((target("avx2"))) int32_t HorizontalRowAvx2(const double* src, const Tap4* cols, int32_t newWidth,
                                                          double* out)
{
  for (int32_t j = 0; j < newWidth; ++j) {
    const Tap4& t = cols[j];
    __m256d s = _mm256_mul_pd(_mm256_set1_pd(t.weight[0]), _mm256_loadu_pd(src + t.index[0]));
    s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_set1_pd(t.weight[1]), _mm256_loadu_pd(src + t.index[1])));
    s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_set1_pd(t.weight[2]), _mm256_loadu_pd(src + t.index[2])));
    s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_set1_pd(t.weight[3]), _mm256_loadu_pd(src + t.index[3])));
    _mm256_storeu_pd(out + 3 * j, s);
  }
  return newWidth;
}

namespace {

// trunc(w0 * r0[k] + w1 * r1[k] + w2 * r2[k] + w3 * r3[k] + 0.5) for four lanes, limited to 0..255.
__attribute__((target("avx2"))) inline __m128i VerticalSums(const double* const r[4], const __m256d w[4], int32_t k)
{
  __m256d s = _mm256_mul_pd(w[0], _mm256_loadu_pd(r[0] + k));
  s = _mm256_add_pd(s, _mm256_mul_pd(w[1], _mm256_loadu_pd(r[1] + k)));
  s = _mm256_add_pd(s, _mm256_mul_pd(w[2], _mm256_loadu_pd(r[2] + k)));
  s = _mm256_add_pd(s, _mm256_mul_pd(w[3], _mm256_loadu_pd(r[3] + k)));
  return TruncClamp(_mm256_add_pd(s, _mm256_set1_pd(0.5)));
}

}  // namespace

// Eight values a round, stored together.
__attribute__((target("avx2"))) int32_t VerticalRowAvx2(const double* const rows[4], const double weight[4], int32_t n,
                                                        unsigned char* out)
{
  // Local copies: the byte stores may alias anything, the locals nothing.
  const double* const r[4] = {rows[0], rows[1], rows[2], rows[3]};
  const __m256d w[4] = {_mm256_set1_pd(weight[0]), _mm256_set1_pd(weight[1]), _mm256_set1_pd(weight[2]),
                        _mm256_set1_pd(weight[3])};
  int32_t k = 0;
  for (; k + 8 <= n; k += 8) {
    const __m128i words = _mm_packus_epi32(VerticalSums(r, w, k), VerticalSums(r, w, k + 4));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(words, words));
  }
  for (; k + 4 <= n; k += 4) {
    StoreBytes4(VerticalSums(r, w, k), out + k);
  }
  return k;
}

namespace {

// The nine taps of four lanes in the plain code's order, truncated and limited to 0..255.
__attribute__((target("avx2"))) inline __m128i SharpenSums(const double* const r[3], __m256d e, __m256d c, int32_t k)
{
  __m256d s = _mm256_mul_pd(e, _mm256_loadu_pd(r[0] + k));
  s = _mm256_add_pd(s, _mm256_mul_pd(e, _mm256_loadu_pd(r[0] + k + 3)));
  s = _mm256_add_pd(s, _mm256_mul_pd(e, _mm256_loadu_pd(r[0] + k + 6)));
  s = _mm256_add_pd(s, _mm256_mul_pd(e, _mm256_loadu_pd(r[1] + k)));
  s = _mm256_add_pd(s, _mm256_mul_pd(c, _mm256_loadu_pd(r[1] + k + 3)));
  s = _mm256_add_pd(s, _mm256_mul_pd(e, _mm256_loadu_pd(r[1] + k + 6)));
  s = _mm256_add_pd(s, _mm256_mul_pd(e, _mm256_loadu_pd(r[2] + k)));
  s = _mm256_add_pd(s, _mm256_mul_pd(e, _mm256_loadu_pd(r[2] + k + 3)));
  s = _mm256_add_pd(s, _mm256_mul_pd(e, _mm256_loadu_pd(r[2] + k + 6)));
  return TruncClamp(s);
}

}  // namespace

__attribute__((target("avx2"))) int32_t SharpenRowAvx2(const double* above, const double* row, const double* below,
                                                       int32_t n, double edge, double centre, unsigned char* out)
{
  const double* const r[3] = {above, row, below};
  const __m256d e = _mm256_set1_pd(edge);
  const __m256d c = _mm256_set1_pd(centre);
  int32_t k = 0;
  for (; k + 8 <= n; k += 8) {
    const __m128i words = _mm_packus_epi32(SharpenSums(r, e, c, k), SharpenSums(r, e, c, k + 4));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(words, words));
  }
  for (; k + 4 <= n; k += 4) {
    StoreBytes4(SharpenSums(r, e, c, k), out + k);
  }
  return k;
}

namespace {

// Hue, lightness and chroma of four pixels, as RGBtoHSL and the chroma table give them.
struct Hsl4 {
  __m256d hue, lightness, chroma;
  __m128i spread;
};

__attribute__((target("avx2"))) Hsl4 ToHsl4(__m128i r, __m128i g, __m128i b, const double* chromaTable)
{
  const __m128i hi = _mm_max_epi32(_mm_max_epi32(r, g), b);
  const __m128i lo = _mm_min_epi32(_mm_min_epi32(r, g), b);
  const __m128i spread = _mm_sub_epi32(hi, lo);
  // The minimum tests are made in the order b, r, g.
  const __m128i loIsB = _mm_cmpeq_epi32(lo, b);
  const __m128i loIsR = _mm_cmpeq_epi32(lo, r);
  __m128i numerator = _mm_blendv_epi8(_mm_sub_epi32(r, b), _mm_sub_epi32(b, g), loIsR);
  numerator = _mm_blendv_epi8(numerator, _mm_sub_epi32(g, r), loIsB);
  __m128i offset = _mm_blendv_epi8(_mm_set1_epi32(300), _mm_set1_epi32(180), loIsR);
  offset = _mm_blendv_epi8(offset, _mm_set1_epi32(60), loIsB);
  const __m128i one = _mm_set1_epi32(1);
  const __m128i divisor = _mm_blendv_epi8(spread, one, _mm_cmpeq_epi32(spread, _mm_setzero_si128()));
  Hsl4 h;
  h.hue = _mm256_add_pd(
      _mm256_div_pd(_mm256_cvtepi32_pd(_mm_mullo_epi32(numerator, _mm_set1_epi32(60))), _mm256_cvtepi32_pd(divisor)),
      _mm256_cvtepi32_pd(offset));
  h.lightness = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_add_epi32(hi, lo)), _mm256_set1_pd(0.5));
  h.chroma = Gather4(chromaTable, spread);
  h.spread = spread;
  return h;
}

// TruncToByte: 255 and above give 255, not above 0 gives 0, else trunc(v).
__attribute__((target("avx2"))) __m128i TruncToByte4(__m256d v)
{
  const __m256d top = _mm256_set1_pd(255.0);
  __m256d c = _mm256_blendv_pd(_mm256_setzero_pd(), v, _mm256_cmp_pd(v, _mm256_setzero_pd(), _CMP_GT_OQ));
  c = _mm256_blendv_pd(c, top, _mm256_cmp_pd(v, top, _CMP_GE_OQ));
  return _mm256_cvttpd_epi32(c);
}

// Picks hi (role 0), mid (role 1) or lo (role 2) per lane; roles[s] is the role for sector s.
__attribute__((target("avx2"))) __m128i PickRole(__m128i sectorIndex, __m128i roles, __m128i hi, __m128i mid,
                                                 __m128i lo)
{
  const __m128i role = _mm_shuffle_epi8(roles, sectorIndex);
  const __m128i v = _mm_blendv_epi8(lo, mid, _mm_cmpeq_epi32(role, _mm_set1_epi32(1)));
  return _mm_blendv_epi8(v, hi, _mm_cmpeq_epi32(role, _mm_setzero_si128()));
}

// HSLtoRGB with the new chroma; out[0..2] are red, green, blue.
__attribute__((target("avx2"))) void FromHsl4(const Hsl4& h, __m128i out[3])
{
  const __m256d l = h.lightness;
  const __m256d top = _mm256_set1_pd(255.0);
  __m256d d = _mm256_mul_pd(h.chroma, _mm256_set1_pd(0.5));
  const __m256d overTop = _mm256_cmp_pd(_mm256_add_pd(d, l), top, _CMP_GT_OQ);
  const __m256d overLight = _mm256_cmp_pd(d, l, _CMP_GT_OQ);
  d = _mm256_blendv_pd(_mm256_blendv_pd(d, _mm256_sub_pd(top, l), overTop), l, overLight);
  const __m256d hi = _mm256_add_pd(d, l);
  const __m256d lo = _mm256_sub_pd(l, d);
  const __m256d span = _mm256_sub_pd(hi, lo);
  const __m256d one = _mm256_set1_pd(1.0);
  __m256d sector = _mm256_setzero_pd();
  for (double edge : {60.0, 120.0, 180.0, 240.0, 300.0}) {
    sector = _mm256_add_pd(sector, _mm256_and_pd(_mm256_cmp_pd(h.hue, _mm256_set1_pd(edge), _CMP_GE_OQ), one));
  }
  const __m128i s = _mm256_cvttpd_epi32(sector);
  // Base 0, 120, 120, 240, 240, 360 and sign +1, -1, +1, ... by sector, as exact doubles.
  const __m128i oneI = _mm_set1_epi32(1);
  const __m256d base =
      _mm256_cvtepi32_pd(_mm_mullo_epi32(_mm_srli_epi32(_mm_add_epi32(s, oneI), 1), _mm_set1_epi32(120)));
  const __m256d sign = _mm256_cvtepi32_pd(_mm_sub_epi32(oneI, _mm_slli_epi32(_mm_and_si128(s, oneI), 1)));
  const __m256d mid = _mm256_add_pd(
      _mm256_mul_pd(_mm256_div_pd(_mm256_mul_pd(_mm256_sub_pd(h.hue, base), sign), _mm256_set1_pd(60.0)), span), lo);
  const __m128i hiB = TruncToByte4(hi), midB = TruncToByte4(mid), loB = TruncToByte4(lo);
  const __m128i index = _mm_or_si128(s, _mm_set1_epi32(static_cast<int>(0xFFFFFF00u)));
  const __m128i grey = TruncToByte4(l);
  const __m128i isGrey = _mm_cmpeq_epi32(h.spread, _mm_setzero_si128());
  const __m128i roles[3] = {_mm_setr_epi8(0, 1, 2, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                            _mm_setr_epi8(1, 0, 0, 1, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                            _mm_setr_epi8(2, 2, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)};
  for (int ch = 0; ch < 3; ++ch) {
    out[ch] = _mm_blendv_epi8(PickRole(index, roles[ch], hiB, midB, loB), grey, isGrey);
  }
}

}  // namespace

// Four pixels at a time; 16 bytes are read from each group, so the last
// pixels (whose group would read past the row) are left to the caller.
__attribute__((target("avx2"))) int32_t SaturateRowAvx2(unsigned char* row, int32_t width, int redIndex,
                                                        const double* chromaTable)
{
  const __m128i take0 = _mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
  const __m128i take1 = _mm_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
  const __m128i take2 = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m128i keep = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1);
  int32_t x = 0;
  for (; x + 6 <= width; x += 4) {
    unsigned char* p = row + 3 * static_cast<size_t>(x);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i byte0 = _mm_shuffle_epi8(v, take0);
    const __m128i byte2 = _mm_shuffle_epi8(v, take2);
    const __m128i r = redIndex == 0 ? byte0 : byte2;
    const __m128i b = redIndex == 0 ? byte2 : byte0;
    __m128i rgb[3];
    FromHsl4(ToHsl4(r, _mm_shuffle_epi8(v, take1), b, chromaTable), rgb);
    // Bytes 0, 1, 2 of each pixel in one lane, packed to 12 bytes; bytes 12..15
    // (the next pixel's) are written back as they were read.
    const __m128i first = redIndex == 0 ? rgb[0] : rgb[2];
    const __m128i last = redIndex == 0 ? rgb[2] : rgb[0];
    const __m128i lanes = _mm_or_si128(_mm_or_si128(first, _mm_slli_epi32(rgb[1], 8)), _mm_slli_epi32(last, 16));
    const __m128i packed = _mm_shuffle_epi8(lanes, pack);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(packed, _mm_and_si128(v, keep)));
  }
  return x;
}

// Sixteen pixels (48 bytes) a round: byte k of each goes to out[k].
__attribute__((target("avx2"))) int32_t SplitRowAvx2(const unsigned char* src, int32_t width,
                                                     unsigned char* const out[3])
{
  const __m128i masks[3][3] = {{_mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
                                _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1),
                                _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13)},
                               {_mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
                                _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1),
                                _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14)},
                               {_mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
                                _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1),
                                _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15)}};
  unsigned char* const d[3] = {out[0], out[1], out[2]};
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const unsigned char* p = src + 3 * static_cast<size_t>(x);
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    for (int k = 0; k < 3; ++k) {
      const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, masks[k][0]), _mm_shuffle_epi8(b, masks[k][1])),
                                     _mm_shuffle_epi8(c, masks[k][2]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d[k] + x), v);
    }
  }
  return x;
}

}  // namespace nvoimg
