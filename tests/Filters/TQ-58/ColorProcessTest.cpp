// The colour pipeline end to end: sizes at the media's borders, the strip
// rule, the bleed cover, the resolution fit, the quarter turn, ICC matching with real
// profiles, the tone steps checked against the image library run by hand,
// and pages the pipeline must refuse.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "NvoImgLib.h"
#include "NvoImgLibTestBitmap.h"
#include "NvoImgLib_LinuxDef.h"
#include "PhotoImageBuffer.h"
#include "PhotoPrinterDeviceTQ58.h"
#include "TempRoot.h"

using namespace imgtest;

namespace {

const char* const kSwapped = "/usr/share/color/icc/colord/SwappedRedAndGreen.icc";
const DeviceMediaBufferInfo& kMedia102x102 = gMediaInfo_TQ58[0];
const DeviceMediaBufferInfo& kMedia102x153 = gMediaInfo_TQ58[1];
const DeviceMediaBufferInfo& kMedia115x115 = gMediaInfo_TQ58[3];
constexpr float kShrink102 = 0.8957346f;  // (1266 - 132) / 1266 as a float

// A page buffer as the job driver hands it over: 24 bits, rows bottom-up.
struct Page {
  int width, height;
  std::vector<unsigned char> bytes;
  Page(int w, int h) : width(w), height(h), bytes(Stride(w, 24) * static_cast<size_t>(h)) {}
  unsigned char* At(int x, int y) { return bytes.data() + static_cast<size_t>(y) * Stride(width, 24) + 3 * x; }
  void Fill(unsigned char r, unsigned char g, unsigned char b)
  {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        unsigned char* p = At(x, y);
        p[0] = r;
        p[1] = g;
        p[2] = b;
      }
  }
  void Randomize(uint32_t seed, bool grey = false)
  {
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        unsigned char* p = At(x, y);
        p[0] = static_cast<unsigned char>(rng() >> 24);
        p[1] = grey ? p[0] : static_cast<unsigned char>(rng() >> 24);
        p[2] = grey ? p[0] : static_cast<unsigned char>(rng() >> 24);
      }
  }
  // A heap copy for ColorProcess, which takes it over.
  void* Heap() const
  {
    void* p = std::malloc(bytes.size());
    std::memcpy(p, bytes.data(), bytes.size());
    return p;
  }
};

// The record ColorProcess returns, released as its caller must.
struct Result {
  _tagBITMAPHANDLE* record = nullptr;
  explicit Result(_tagBITMAPHANDLE* r) : record(r) {}
  Result(Result&& o) noexcept : record(o.record) { o.record = nullptr; }
  ~Result()
  {
    if (record != nullptr) {
      IL_FreeBitmap(record);
      std::free(record);
    }
  }
};

// Neutral settings: no border, no ICC, no adjustments, 300 dpi.
void Neutral(PhotoImageBuffer& b)
{
  b.border = 0;
  b.icm = 0;
  b.colorAdjustment = 0;
  b.sharpness = 0;
}

Result Process(PhotoImageBuffer& b, const Page& page)
{
  return Result(b.ColorProcess(page.Heap(), page.width, page.height, 0));
}

void ExpectWellFormed(const _tagBITMAPHANDLE& r, int width, int height)
{
  EXPECT_EQ(r.width, width);
  EXPECT_EQ(r.height, height);
  EXPECT_EQ(r.bitsPerPixel, 24);
  EXPECT_EQ(r.colorOrder, 1u);
  EXPECT_EQ(r.bytesPerLine, Stride(width, 24));
  EXPECT_EQ(r.dataSize, static_cast<uint64_t>(Stride(width, 24)) * height);
  EXPECT_NE(r.memoryHandle, nullptr);
  EXPECT_EQ(r.bits, r.memoryHandle);
  EXPECT_EQ(r.palette, nullptr);
  EXPECT_EQ(r.paletteSize, 0u);
  EXPECT_EQ(r.layoutCode, 4u);
  // Row padding is zero, as the merge of the planes leaves it.
  int padding = 0;
  for (int y = 0; y < height && r.bits != nullptr; ++y)
    for (uint32_t i = 3 * width; i < r.bytesPerLine; ++i)
      padding += r.bits[static_cast<size_t>(y) * r.bytesPerLine + i];
  EXPECT_EQ(padding, 0);
}

// ---- The library run by hand, step by step ----

void WrapCopy(const Page& page, Owned* out)
{
  auto* block = static_cast<unsigned char*>(std::malloc(page.bytes.size()));
  std::memcpy(block, page.bytes.data(), page.bytes.size());
  ASSERT_EQ(IL_CreateBitmap(&out->bitmap, kRecordSize, 2, page.width, page.height, 24, 1, nullptr, 4, block,
                            page.bytes.size()),
            IL_SUCCESS);
  out->bitmap.memoryHandle = block;
}

// Strips of 1000 rows, each copied, resampled to trunc(m * s) rows and
// stacked on a white w2 x h2 block.
void ShrinkByHand(Owned* b, float s, int w2, int h2)
{
  Page white(w2, h2);
  std::memset(white.bytes.data(), 255, white.bytes.size());
  Owned target;
  WrapCopy(white, &target);
  int next = 0;
  for (int first = 0; first < b->bitmap.height; first += 1000) {
    const int m = std::min(1000, b->bitmap.height - first);
    Page rows(b->bitmap.width, m);
    std::memcpy(rows.bytes.data(), b->bitmap.bits + static_cast<size_t>(first) * b->bitmap.bytesPerLine,
                rows.bytes.size());
    Owned strip;
    WrapCopy(rows, &strip);
    const int scaled = static_cast<int>(static_cast<float>(m) * s);
    ASSERT_EQ(IL_SizeBitmap(&strip.bitmap, w2, scaled, 4), IL_SUCCESS);
    for (int r = 0; r < scaled && next + r < h2; ++r)
      std::memcpy(target.bitmap.bits + static_cast<size_t>(next + r) * target.bitmap.bytesPerLine,
                  strip.bitmap.bits + static_cast<size_t>(r) * strip.bitmap.bytesPerLine, target.bitmap.bytesPerLine);
    next += scaled;
  }
  IL_FreeBitmap(&b->bitmap);
  b->bitmap = target.bitmap;
  target.bitmap = {};
}

void ToneByHand(Owned* b, const int gamma[3], const int intensity[3], const int contrast[3])
{
  Planes p;
  ASSERT_EQ(IL_ColorSeparateBitmap(&b->bitmap, p.ptr, kRecordSize, 0), IL_SUCCESS);
  IL_FreeBitmap(&b->bitmap);
  for (int k = 0; k < 3; ++k) IL_GammaCorrectBitmap(p.ptr[k], static_cast<unsigned>(gamma[k]));
  for (int k = 0; k < 3; ++k) IL_ChangeBitmapIntensity(p.ptr[k], intensity[k]);
  for (int k = 0; k < 3; ++k) IL_ChangeBitmapContrast(p.ptr[k], contrast[k]);
  ASSERT_EQ(IL_ColorMergeBitmap(&b->bitmap, p.ptr, kRecordSize, 0), IL_SUCCESS);
}

// What the pipeline does after the geometry steps with adjustments off.
void NeutralTailByHand(Owned* b)
{
  const int gamma[3] = {100, 100, 100}, zero[3] = {0, 0, 0};
  ToneByHand(b, gamma, zero, zero);
  ASSERT_EQ(IL_SharpenBitmap(&b->bitmap, 0), IL_SUCCESS);
  ASSERT_EQ(IL_ChangeBitmapSaturation(&b->bitmap, 0), IL_SUCCESS);
}

// ---- Border shrink ----

TEST(ColorProcessBorder, ShrunkSizeFollowsTheMediaBorders)
{
  struct Case {
    const DeviceMediaBufferInfo& media;
    int width, height, width2, height2;
  };
  // 102x102: s = 0.8957346 from the width. 115x115: s = 0.90625 exactly, so
  // 1408 * s is 1276 and not 1275.
  const Case cases[] = {{kMedia102x102, 1266, 1236, 1134, 1107}, {kMedia115x115, 1408, 1386, 1276, 1256}};
  for (const Case& c : cases) {
    PhotoImageBuffer b;
    Neutral(b);
    b.border = 1;
    b.Alloc(c.media);
    Page page(c.width, c.height);
    page.Fill(30, 140, 220);
    Result r = Process(b, page);
    ASSERT_NE(r.record, nullptr);
    ExpectWellFormed(*r.record, c.width2, c.height2);
  }
}

TEST(ColorProcessBorder, StripsMatchTheLibraryAndLeaveTheTopLineWhite)
{
  // 1836 rows in strips of 1000 and 836 give 895 + 748 = 1643 rows of the
  // 1644 the whole page would give: the last stored row stays white.
  PhotoImageBuffer b;
  Neutral(b);
  b.border = 1;
  b.Alloc(kMedia102x153);
  Page page(1266, 1836);
  page.Randomize(4);
  Result r = Process(b, page);
  ASSERT_NE(r.record, nullptr);
  ExpectWellFormed(*r.record, 1134, 1644);
  Owned hand;
  WrapCopy(page, &hand);
  ShrinkByHand(&hand, kShrink102, 1134, 1644);
  NeutralTailByHand(&hand);
  EXPECT_TRUE(RowBytes(*r.record) == RowBytes(hand.bitmap));
  int whiteInTop = 0, whiteBelow = 0;
  for (int x = 0; x < 1134; ++x) {
    whiteInTop +=
        Byte(*r.record, x, 1643, 0) == 255 && Byte(*r.record, x, 1643, 1) == 255 && Byte(*r.record, x, 1643, 2) == 255;
    whiteBelow +=
        Byte(*r.record, x, 1642, 0) == 255 && Byte(*r.record, x, 1642, 1) == 255 && Byte(*r.record, x, 1642, 2) == 255;
  }
  EXPECT_EQ(whiteInTop, 1134);
  EXPECT_LT(whiteBelow, 10);
}

// ---- Bleed cover: a page of the media's own size fills the print area ----

// The media row of code with its dot fields for the entry's resolution.
DeviceMediaBufferInfo MediaWithDots(int code, int64_t resolution)
{
  DeviceEntry_TQ58 entry;
  entry.resolution = resolution;
  DeviceMediaBufferInfo media;
  EXPECT_EQ(entry.SetMediaInfo(media, code, 1.53), 0);
  return media;
}

TEST(ColorProcessBleed, ScaleOnlyForPagesOfTheMediasOwnSize)
{
  // Nominal sizes in points: every row's print area reaches a little past its media.
  for (int code = 91; code <= 96; ++code) {
    const DeviceMediaBufferInfo m = MediaWithDots(code, 300);
    const double nominal[2] = {m.widthInch * 72, m.lengthInch * 72};
    const double s = GetBleedScale(m, nominal);
    EXPECT_GT(s, 1.0) << code;
    EXPECT_LE(s, kMaxBleedScale) << code;
  }
  const DeviceMediaBufferInfo m300 = MediaWithDots(92, 300), m600 = MediaWithDots(92, 600);
  const double fourBySix[2] = {288, 432};
  EXPECT_DOUBLE_EQ(GetBleedScale(m300, fourBySix), 1266.0 / 1200.0);  // across decides: 1.055 > 1836 / 1800
  EXPECT_DOUBLE_EQ(GetBleedScale(m600, fourBySix), 1266.0 / 1200.0);
  const double printArea[2] = {303.86, 440.66};  // a PPD that described the print area
  const double unknown[2] = {0, 0};
  const double a4[2] = {595, 842};
  EXPECT_EQ(GetBleedScale(m300, printArea), 1.0);
  EXPECT_EQ(GetBleedScale(m300, unknown), 1.0);
  EXPECT_EQ(GetBleedScale(m300, a4), 1.0);
  EXPECT_EQ(GetBleedScale(MediaWithDots(95, 300), fourBySix), 1.0);   // 4x6 page on 4.5x6 media: 1408 / 1200
  EXPECT_EQ(GetBleedScale(DeviceMediaBufferInfo{}, fourBySix), 1.0);  // no media selected
}

TEST(ColorProcessBleed, NominalPageCoversThePrintAreaAndKeepsItsMiddle)
{
  struct Case {
    int64_t resolution, mode;
    int pageHeight, height;
  };
  for (const Case& c : {Case{300, 0, 1800, 1836}, Case{600, 1, 3600, 3672}}) {
    PhotoImageBuffer b;
    Neutral(b);
    b.Alloc(MediaWithDots(92, c.resolution));
    b.resolutionMode = c.mode;
    b.pageSizePoints[0] = 288;
    b.pageSizePoints[1] = 432;
    // Greys pass the neutral steps unchanged: 160 on the left, 40 on the
    // right, 60 more in the first half of the stored rows.
    Page page(1200, c.pageHeight);
    for (int y = 0; y < page.height; ++y)
      for (int x = 0; x < page.width; ++x)
        std::memset(page.At(x, y), (x < 600 ? 160 : 40) + (y < page.height / 2 ? 60 : 0), 3);
    Result r = Process(b, page);
    ASSERT_NE(r.record, nullptr);
    ExpectWellFormed(*r.record, 1266, c.height);
    // The overhang went evenly: both boundaries stay in the middle
    // (result column 633 is page column 600, result row height / 2 page row pageHeight / 2).
    const int mid = c.height / 2;
    EXPECT_EQ(Byte(*r.record, 630, mid - 4), 220);
    EXPECT_EQ(Byte(*r.record, 636, mid - 4), 100);
    EXPECT_EQ(Byte(*r.record, 630, mid + 4), 160);
    EXPECT_EQ(Byte(*r.record, 636, mid + 4), 40);
    // The corners are picture, not white.
    EXPECT_EQ(Byte(*r.record, 0, 0), 220);
    EXPECT_EQ(Byte(*r.record, 1265, c.height - 1), 40);
  }
}

TEST(ColorProcessBleed, OtherPagesAreNotResampled)
{
  const DeviceMediaBufferInfo media = MediaWithDots(92, 300);
  Page page(1266, 1836);
  page.Randomize(11);
  PhotoImageBuffer unknown;
  Neutral(unknown);
  unknown.Alloc(media);
  Result plain = Process(unknown, page);
  ASSERT_NE(plain.record, nullptr);
  // A print-area page of an older PPD, and a page meant for larger media.
  for (const auto& points : {std::pair{303.86, 440.66}, std::pair{324.0, 432.0}}) {
    PhotoImageBuffer b;
    Neutral(b);
    b.Alloc(media);
    b.pageSizePoints[0] = points.first;
    b.pageSizePoints[1] = points.second;
    Result r = Process(b, page);
    ASSERT_NE(r.record, nullptr);
    ExpectWellFormed(*r.record, 1266, 1836);
    EXPECT_TRUE(RowBytes(*r.record) == RowBytes(*plain.record)) << points.first;
  }
  // With a border the covered picture is shrunk as a print-area page would be.
  PhotoImageBuffer bordered;
  Neutral(bordered);
  bordered.border = 1;
  bordered.Alloc(media);
  bordered.pageSizePoints[0] = 288;
  bordered.pageSizePoints[1] = 432;
  Page nominal(1200, 1800);
  nominal.Fill(30, 140, 220);
  Result r = Process(bordered, nominal);
  ASSERT_NE(r.record, nullptr);
  ExpectWellFormed(*r.record, 1134, 1644);
}

// ---- Resolution fit and quarter turn ----

TEST(ColorProcessGeometry, SixHundredDpiHalvingMatchesTheResampler)
{
  PhotoImageBuffer b;
  Neutral(b);
  b.resolution = 600;
  b.resolutionMode = 2;
  // Grey pixels pass the saturation round trip unchanged: column j is old column 2j.
  Page grey(2532, 8);
  grey.Randomize(6, true);
  Result halved = Process(b, grey);
  ASSERT_NE(halved.record, nullptr);
  ExpectWellFormed(*halved.record, 1266, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 1266; ++x) ASSERT_EQ(Byte(*halved.record, x, y, 1), grey.At(2 * x, y)[1]) << x << "," << y;
  for (const int width : {2532, 301, 2, 3}) {
    Page page(width, 13);
    page.Randomize(static_cast<uint32_t>(width));
    Result r = Process(b, page);
    ASSERT_NE(r.record, nullptr);
    ExpectWellFormed(*r.record, width / 2, 13);
    Owned hand;
    WrapCopy(page, &hand);
    ASSERT_EQ(IL_SizeBitmap(&hand.bitmap, width / 2, 13, 4), IL_SUCCESS);
    NeutralTailByHand(&hand);
    EXPECT_TRUE(RowBytes(*r.record) == RowBytes(hand.bitmap)) << width;
  }
}

TEST(ColorProcessGeometry, QuarterTurnMovesTheTopEdgeToTheLeft)
{
  PhotoImageBuffer b;
  Neutral(b);
  b.paperRotate = 1;
  Page page(7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) std::memset(page.At(x, y), (y * 7 + x) * 5, 3);
  page.At(6, 4)[0] = 255;  // top right: one coloured byte to see the byte order kept
  Result r = Process(b, page);
  ASSERT_NE(r.record, nullptr);
  ExpectWellFormed(*r.record, 5, 7);
  for (int row = 0; row < 7; ++row)
    for (int col = 0; col < 5; ++col)
      EXPECT_EQ(Byte(*r.record, col, row, 1), page.At(row, 4 - col)[1]) << row << "," << col;
  // The top edge (stored row 4) is now the left column, read from the top down.
  EXPECT_EQ(Byte(*r.record, 0, 6, 0), 255);
  EXPECT_EQ(Byte(*r.record, 0, 6, 2), page.At(6, 4)[2]);
}

TEST(ColorProcessGeometry, TurnedPagesAreFittedAfterTheTurn)
{
  PhotoImageBuffer b;
  Neutral(b);
  b.paperRotate = 1;
  Page page(40, 30);
  page.Randomize(8);
  b.resolutionMode = 1;
  b.paperRotate = 0;  // 300x600 pages already fit when they are not turned
  Result unturned = Process(b, page);
  ASSERT_NE(unturned.record, nullptr);
  ExpectWellFormed(*unturned.record, 40, 30);
  b.paperRotate = 1;
  Result r1 = Process(b, page);
  ASSERT_NE(r1.record, nullptr);
  ExpectWellFormed(*r1.record, 15, 80);
  b.resolutionMode = 2;
  Result r2 = Process(b, page);
  ASSERT_NE(r2.record, nullptr);
  ExpectWellFormed(*r2.record, 15, 40);
}

// ---- Tone, sharpening, saturation ----

TEST(ColorProcessTone, AdjustmentsOffStillPassTheSaturationRoundTrip)
{
  PhotoImageBuffer b;
  Neutral(b);
  // Ignored while colorAdjustment is off.
  b.gamma[0] = 0;
  b.intensity[1] = 900;
  b.contrast[2] = -700;
  b.saturation = 1000;
  Page page(9, 4);
  page.Fill(0, 5, 35);
  Result r = Process(b, page);
  ASSERT_NE(r.record, nullptr);
  ExpectWellFormed(*r.record, 9, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x) {
      EXPECT_EQ(Byte(*r.record, x, y, 0), 0);
      EXPECT_EQ(Byte(*r.record, x, y, 1), 4);
      EXPECT_EQ(Byte(*r.record, x, y, 2), 35);
    }
}

TEST(ColorProcessTone, AdjustmentsMatchTheLibraryRunByHand)
{
  PhotoImageBuffer b;
  b.Alloc(kMedia102x102);
  b.border = 1;
  b.colorAdjustment = 1;
  const int gamma[3] = {150, 80, 100}, intensity[3] = {120, -60, 0}, contrast[3] = {200, 0, -300};
  std::copy(gamma, gamma + 3, b.gamma);
  std::copy(intensity, intensity + 3, b.intensity);
  std::copy(contrast, contrast + 3, b.contrast);
  b.sharpness = 700;
  b.saturation = 250;
  Page page(301, 207);
  page.Randomize(12);
  Result r = Process(b, page);
  ASSERT_NE(r.record, nullptr);
  Owned hand;
  WrapCopy(page, &hand);
  ShrinkByHand(&hand, kShrink102, 269, 185);
  ToneByHand(&hand, gamma, intensity, contrast);
  ASSERT_EQ(IL_SharpenBitmap(&hand.bitmap, 700), IL_SUCCESS);
  ASSERT_EQ(IL_ChangeBitmapSaturation(&hand.bitmap, 250), IL_SUCCESS);
  ExpectWellFormed(*r.record, 269, 185);
  EXPECT_TRUE(RowBytes(*r.record) == RowBytes(hand.bitmap));
}

// ---- ICC matching ----

Page PureColours()
{
  Page page(4, 2);
  const unsigned char colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) std::memcpy(page.At(x, y), colours[x], 3);
  return page;
}

TEST(ColorProcessIcc, SwappedProfileExchangesRedAndGreenBeforeTheTone)
{
  PhotoImageBuffer b;
  Neutral(b);
  b.icm = 1;
  b.iccProfilePath = kSwapped;
  Result r = Process(b, PureColours());
  ASSERT_NE(r.record, nullptr);
  const int expected[4][3] = {{0, 255, 0}, {255, 0, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int x = 0; x < 4; ++x)
    for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(Byte(*r.record, x, 1, ch), expected[x][ch]) << x;
  // Brightening the red plane acts on the converted colours: the pixel that
  // came in red is green by then, and its red byte rises from 0 by 51.
  b.colorAdjustment = 1;
  const int gamma[3] = {100, 100, 100};
  std::copy(gamma, gamma + 3, b.gamma);
  b.intensity[0] = 200;
  Result toned = Process(b, PureColours());
  ASSERT_NE(toned.record, nullptr);
  EXPECT_EQ(Byte(*toned.record, 0, 0, 0), 51);
  EXPECT_EQ(Byte(*toned.record, 0, 0, 1), 255);
  // Without icm the path is not used.
  b.icm = 0;
  b.colorAdjustment = 0;
  Result off = Process(b, PureColours());
  ASSERT_NE(off.record, nullptr);
  EXPECT_EQ(Byte(*off.record, 0, 0, 0), 255);
  EXPECT_EQ(Byte(*off.record, 0, 0, 1), 0);
}

TEST(ColorProcessIcc, UnusableProfilesPassColoursUnchanged)
{
  TempRoot root;
  const std::string text = root.WriteFile("text.icc", "not a profile");
  PhotoImageBuffer b;
  Neutral(b);
  Page page(33, 17);
  page.Randomize(5);
  Result plain = Process(b, page);
  ASSERT_NE(plain.record, nullptr);
  b.icm = 1;
  for (const std::string& path : {root.Path() + "/missing.icc", text, std::string()}) {
    b.iccProfilePath = path;
    Result r = Process(b, page);
    ASSERT_NE(r.record, nullptr) << path;
    EXPECT_TRUE(RowBytes(*r.record) == RowBytes(*plain.record)) << path;
  }
}

// ---- Pages that cannot be carried on, and memory running out ----

TEST(ColorProcessBadInput, EmptyOrOversizedPagesGiveNoPage)
{
  PhotoImageBuffer b;
  Neutral(b);
  const long sizes[][2] = {{0, 10}, {10, 0}, {-4, 10}, {10, -4}, {LONG_MAX, 1}, {1L << 31, 1}, {1, 1L << 31}};
  for (const auto& s : sizes) {
    // The page is taken over even when refused; a leak would show under the sanitizers.
    EXPECT_EQ(b.ColorProcess(std::malloc(16), s[0], s[1], 0), nullptr) << s[0] << "x" << s[1];
  }
  EXPECT_EQ(b.ColorProcess(nullptr, 4, 4, 0), nullptr);
  // Turned, a page of INT32_MAX rows would need rows wider than the record allows.
  b.paperRotate = 1;
  EXPECT_EQ(b.ColorProcess(std::malloc(16), 1, INT32_MAX, 0), nullptr);
}

TEST(ColorProcessBadInput, TinyPagesSurviveEveryStep)
{
  PhotoImageBuffer b;
  b.Alloc(kMedia102x102);
  b.border = 1;          // 1 x 1 shrinks to nothing: the shrink is skipped
  b.resolutionMode = 2;  // 1 / 2 is 0: the fit is skipped
  b.sharpness = 1000;
  b.icm = 1;
  b.iccProfilePath = kSwapped;
  Page page(1, 1);
  page.Fill(255, 0, 0);
  Result r = Process(b, page);
  ASSERT_NE(r.record, nullptr);
  ExpectWellFormed(*r.record, 1, 1);
  EXPECT_EQ(Byte(*r.record, 0, 0, 1), 255);
  // Media without a print area gives no shrink factor: the size stays.
  b.Alloc(DeviceMediaBufferInfo{});
  b.resolutionMode = 0;
  Page wider(20, 10);
  wider.Randomize(2);
  Result unshrunk = Process(b, wider);
  ASSERT_NE(unshrunk.record, nullptr);
  ExpectWellFormed(*unshrunk.record, 20, 10);
}

TEST(ColorProcessBadInput, RunningOutOfMemoryGivesNullOrAWholePicture)
{
  PhotoImageBuffer b;
  b.Alloc(kMedia102x102);
  b.border = 1;
  b.icm = 1;
  b.iccProfilePath = kSwapped;
  b.sharpness = 300;
  b.paperRotate = 1;
  Page page(40, 50);
  page.Randomize(9);
  int nulls = 0, whole = 0;
  for (long n = 0; n < 40; ++n) {
    SetGlobalAllocFailAfter(n);
    Result r = Process(b, page);
    SetGlobalAllocFailAfter(-1);
    if (r.record == nullptr) {
      ++nulls;
      continue;
    }
    // Only the skipped shrink may change the size.
    const bool shrunk = r.record->width == 44 && r.record->height == 35;
    EXPECT_TRUE(shrunk || (r.record->width == 50 && r.record->height == 40)) << n;
    ExpectWellFormed(*r.record, r.record->width, r.record->height);
    whole += shrunk;
  }
  EXPECT_GT(nulls, 0);
  EXPECT_GT(whole, 0);
}

}  // namespace
