// The image library's AVX2 row kernels and the choice between them and the
// plain code; not part of the library's interface.
//
// The package is built for the baseline x86-64 instruction set. The choice is
// made once, from what the processor supports. A kernel works across
// neighbouring values only: each value is the same sequence of double
// operations as in the plain code (no fused multiply-add), so both paths give
// the same bytes. A kernel returns how many leading items it did; the caller's
// plain loop does the rest.
#ifndef TQ58_NVOIMGLIB_VECTOR_H
#define TQ58_NVOIMGLIB_VECTOR_H

#include <cstdint>

namespace nvoimg {

// Four taps of the resampler: source index (column times 3, or row) and weight.
struct Tap4 {
  int32_t index[4];
  double weight[4];
};

// True when the kernels below may be called: the processor has AVX2 and the
// plain path was not asked for.
bool IsVectorPathEnabled();

// Asks for the plain path (false) or the vector path where the processor has
// it (true). Lets tests run both paths on the same inputs.
void SetVectorPathEnabled(bool enabled);

// out[k] = src[k] as doubles.
int32_t ConvertRowAvx2(const unsigned char* src, int32_t n, double* out);

// Horizontal resampling sums for new pixels 0..newWidth-1 (three values
// each). Reads one double past src's last pixel and writes one double past
// the last pixel it does: both must be there.
int32_t HorizontalRowAvx2(const double* src, const Tap4* cols, int32_t newWidth, double* out);

// Vertical resampling sums, rounded by trunc(sum + 0.5) and clamped to 0..255.
int32_t VerticalRowAvx2(const double* const rows[4], const double weight[4], int32_t n, unsigned char* out);

// 3 x 3 sums over padded rows (see NvoImgLib_Sharpen.cpp), truncated and clamped.
int32_t SharpenRowAvx2(const double* above, const double* row, const double* below, int32_t n, double edge,
                       double centre, unsigned char* out);

// The saturation round trip for leading pixels of a row (see NvoImgLib_Saturation.cpp).
int32_t SaturateRowAvx2(unsigned char* row, int32_t width, int redIndex, const double* chromaTable);

// Byte k of each of the leading pixels of a 24-bit row to out[k].
int32_t SplitRowAvx2(const unsigned char* src, int32_t width, unsigned char* const out[3]);

}  // namespace nvoimg

#endif
