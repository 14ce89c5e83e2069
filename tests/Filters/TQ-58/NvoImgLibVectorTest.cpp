// The AVX2 and AVX-512 paths of the image library give the plain path's
// bytes: every operation with a vector kernel runs on the same random pictures
// each way, at widths around the kernels' group sizes (tails and single
// pixels), in both byte orders.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "NvoImgLibTestBitmap.h"
#include "NvoImgLib_Vector.h"

namespace {

using imgtest::Picture;
using imgtest::RowBytes;

using nvoimg::VectorPath;

// Runs each case on the plain path and on every vector path this processor
// has; restores the processor's choice after each test.
class VectorPathTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    for (VectorPath path : {VectorPath::kAvx2, VectorPath::kAvx512}) {
      nvoimg::SetVectorPath(path);
      if (nvoimg::GetVectorPath() == path) {
        paths_.push_back(path);
      }
    }
    if (paths_.empty()) {
      GTEST_SKIP() << "this processor has no AVX2: only the plain path exists";
    }
  }
  void TearDown() override { nvoimg::SetVectorPathEnabled(true); }

  // result(path) for the plain path and each vector path; every vector
  // result must equal the plain one.
  template <typename Result>
  void ExpectSameAsPlain(Result result, const std::string& what)
  {
    nvoimg::SetVectorPath(VectorPath::kPlain);
    const std::vector<unsigned char> plain = result();
    for (VectorPath path : paths_) {
      nvoimg::SetVectorPath(path);
      EXPECT_EQ(result(), plain) << what << ", path " << static_cast<int>(path);
    }
  }

  // Runs op on a fresh random picture through each path.
  template <typename Op>
  void ExpectSameBytes(int width, int height, unsigned order, uint32_t seed, Op op)
  {
    ExpectSameAsPlain(
        [&] {
          Picture p(width, height, order);
          p.Randomize(seed);
          EXPECT_EQ(op(&p.bitmap), IL_SUCCESS);
          return RowBytes(p.bitmap);
        },
        std::to_string(width) + " x " + std::to_string(height) + ", colorOrder " + std::to_string(order) + ", seed " +
            std::to_string(seed));
  }

  std::vector<VectorPath> paths_;
};

// A path is taken only where the processor has it, never one above the one asked for.
TEST(VectorPathChoice, NeverAboveTheAskedPath)
{
  for (VectorPath path : {VectorPath::kPlain, VectorPath::kAvx2, VectorPath::kAvx512}) {
    nvoimg::SetVectorPath(path);
    EXPECT_LE(nvoimg::GetVectorPath(), path);
    EXPECT_EQ(nvoimg::IsVectorPathEnabled(), nvoimg::GetVectorPath() != VectorPath::kPlain);
  }
  nvoimg::SetVectorPathEnabled(false);
  EXPECT_EQ(nvoimg::GetVectorPath(), VectorPath::kPlain);
  nvoimg::SetVectorPathEnabled(true);
}

const int kWidths[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 31, 33, 64, 101, 130};

TEST_F(VectorPathTest, ResamplingMatchesAtEverySizeAndRatio)
{
  uint32_t seed = 1;
  for (int w : kWidths) {
    const int targets[][2] = {{w, 5}, {w * 8 / 9 + 1, 9}, {w * 2 + 1, 3}, {w / 2 + 1, 11}, {3, 1}, {w + 3, 13}};
    for (const auto& t : targets) {
      ExpectSameBytes(w, 9, seed % 2, seed, [&](_tagBITMAPHANDLE* b) { return IL_SizeBitmap(b, t[0], t[1], 4); });
      ++seed;
    }
  }
}

TEST_F(VectorPathTest, SharpeningMatchesAtEveryLevelAndWidth)
{
  uint32_t seed = 100;
  for (int level : {-1000, -975, -300, -1, 1, 25, 300, 333, 999, 1000}) {
    for (int w : kWidths) {
      for (int h : {1, 2, 5}) {
        ExpectSameBytes(w, h, seed % 2, seed, [&](_tagBITMAPHANDLE* b) { return IL_SharpenBitmap(b, level); });
        ++seed;
      }
    }
  }
}

TEST_F(VectorPathTest, SaturationMatchesInBothByteOrders)
{
  uint32_t seed = 1000;
  for (int level : {-1000, -777, -50, -1, 0, 1, 10, 250, 500, 1000}) {
    for (int w : kWidths) {
      for (unsigned order : {0u, 1u}) {
        ExpectSameBytes(w, 3, order, seed, [&](_tagBITMAPHANDLE* b) { return IL_ChangeBitmapSaturation(b, level); });
        ++seed;
      }
    }
  }
}

// Greys, ties between channels and the sector boundaries, which random bytes rarely hit.
TEST_F(VectorPathTest, SaturationMatchesOnGreysAndTies)
{
  for (int level : {-1000, 0, 10, 1000}) {
    ExpectSameAsPlain(
        [&] {
          Picture p(256, 8);
          for (int x = 0; x < 256; ++x) {
            const unsigned char v = static_cast<unsigned char>(x), u = static_cast<unsigned char>(255 - x);
            const unsigned char rows[8][3] = {{v, v, v}, {v, v, 0}, {v, 0, v}, {0, v, v},
                                              {v, u, u}, {u, v, u}, {v, u, 0}, {255, v, 0}};
            for (int y = 0; y < 8; ++y) {
              std::memcpy(p.At(x, y), rows[y], 3);
            }
          }
          EXPECT_EQ(IL_ChangeBitmapSaturation(&p.bitmap, level), IL_SUCCESS);
          return RowBytes(p.bitmap);
        },
        "level " + std::to_string(level));
  }
}

}  // namespace

namespace {

TEST_F(VectorPathTest, SeparationMatchesInBothByteOrders)
{
  uint32_t seed = 5000;
  for (int w : {1, 15, 16, 17, 31, 32, 33, 47, 101}) {
    for (unsigned order : {0u, 1u}) {
      ExpectSameAsPlain(
          [&] {
            Picture p(w, 3, order);
            p.Randomize(seed);
            _tagBITMAPHANDLE records[3] = {};
            _tagBITMAPHANDLE* planes[3] = {&records[0], &records[1], &records[2]};
            std::vector<unsigned char> result;
            EXPECT_EQ(IL_ColorSeparateBitmap(&p.bitmap, planes, imgtest::kRecordSize, 0), IL_SUCCESS);
            for (auto& plane : records) {
              // Whole rows, padding included: it must be zero every way.
              if (plane.bits != nullptr) {
                result.insert(result.end(), plane.bits, plane.bits + plane.dataSize);
              }
              IL_FreeBitmap(&plane);
            }
            return result;
          },
          "width " + std::to_string(w) + ", colorOrder " + std::to_string(order));
      ++seed;
    }
  }
}

}  // namespace
