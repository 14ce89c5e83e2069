// The image library's AVX2 and AVX-512 row kernels and the choice between
// them and the plain code; not part of the library's interface.
//
// The package is built for the baseline x86-64 instruction set. The choice is
// made once, from what the processor supports: AVX-512 (F, BW, DQ, VL), else
// AVX2, else the plain code. A kernel works across neighbouring values only:
// each value is the same sequence of double operations as in the plain code
// (no fused multiply-add), so every path gives the same bytes. A kernel returns how many leading items it did; the caller's
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

// The kernels a row goes through before the plain code finishes it.
enum class VectorPath { kPlain = 0, kAvx2 = 1, kAvx512 = 2 };

// The path in use.
VectorPath GetVectorPath();

// Asks for a path; where the processor lacks it, the best one below it is
// taken. Lets tests run every path on the same inputs.
void SetVectorPath(VectorPath path);

// True when a vector path (AVX2 or AVX-512) is in use.
bool IsVectorPathEnabled();

// Asks for the plain path (false) or the best vector path the processor has (true).
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

// AVX-512 forms of the kernels above, with the same results; each does the
// whole row and touches nothing past it. (Resampling's horizontal sums stay
// with AVX2: their loads of three values were no faster in wider registers.)
int32_t ConvertRowAvx512(const unsigned char* src, int32_t n, double* out);
int32_t VerticalRowAvx512(const double* const rows[4], const double weight[4], int32_t n, unsigned char* out);
int32_t SharpenRowAvx512(const double* above, const double* row, const double* below, int32_t n, double edge,
                         double centre, unsigned char* out);
int32_t SaturateRowAvx512(unsigned char* row, int32_t width, int redIndex, const double* chromaTable);

// The kernel of the path in use (0 items on the plain path).
int32_t ConvertRowVector(const unsigned char* src, int32_t n, double* out);
int32_t HorizontalRowVector(const double* src, const Tap4* cols, int32_t newWidth, double* out);
int32_t VerticalRowVector(const double* const rows[4], const double weight[4], int32_t n, unsigned char* out);
int32_t SharpenRowVector(const double* above, const double* row, const double* below, int32_t n, double edge,
                         double centre, unsigned char* out);
int32_t SaturateRowVector(unsigned char* row, int32_t width, int redIndex, const double* chromaTable);

}  // namespace nvoimg

#endif
