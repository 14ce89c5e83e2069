#include "PrintJob.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "ColorTransform.h"
#include "NvoImgLib.h"
#include "PhotoPrinterDeviceTQ58.h"

namespace {

// Copies of one page are sent even when a cancel arrives meanwhile, so a page
// may not ask for an endless run of them: the scheduler's own default limit.
constexpr unsigned kMaxCopies = 9999;

// Calls each option-reading operation of the entry with the job's options, in order.
template <typename... Operations>
void ApplyOptions(DeviceEntry& entry, const PrintJobSetup& setup, Operations... operations)
{
  (static_cast<void>((entry.*operations)(setup.numOptions, setup.options, setup.ppd)), ...);
}

// The job's device entry from the model's factory (PrintJobSetup::profile).
// A factory that makes none fails as an allocation does.
std::unique_ptr<DeviceEntry> NewDeviceEntry(const ModelProfile* profile)
{
  if (profile == nullptr) profile = GetModelProfile();
  if (profile == nullptr || profile->createDeviceEntry == nullptr) profile = &GetFilterProfileTQ58();
  std::unique_ptr<DeviceEntry> entry(profile->createDeviceEntry());
  if (entry == nullptr) throw std::bad_alloc();
  return entry;
}

}  // namespace

PrintJob::PrintJob(const PrintJobSetup& setup) : setup_(setup), entry_(NewDeviceEntry(setup.profile))
{
  if (setup.clock) entry_->SetClock(setup.clock);
  if (setup.mediaClass != nullptr) entry_->mediaClass = setup.mediaClass;
  entry_->SetSink(setup.sink, setup.sinkContext);
}

PrintJob::~PrintJob()
{
  std::free(page_);
}

// Job options into the entry's settings, in the order the geometry needs them.
// Colour matching is off when the application matched colours itself;
// otherwise the profile is kept only when it is a regular file that can be read.
void PrintJob::ReadSettings()
{
  ApplyOptions(*entry_, setup_, &DeviceEntry::SetResolution, &DeviceEntry::SetMediaSize, &DeviceEntry::SetBorder,
               &DeviceEntry::SetICM, &DeviceEntry::SetSharpness, &DeviceEntry::SetGamma, &DeviceEntry::SetIntensity,
               &DeviceEntry::SetContrast, &DeviceEntry::SetSaturation, &DeviceEntry::SetColorAdjustment);
  const char* mode = cupsGetOption("AP_ColorMatchingMode", setup_.numOptions, setup_.options);
  if (mode != nullptr && std::strcmp(mode, "AP_ApplicationColorMatching") == 0) entry_->icm = 0;
  if (entry_->icm == 0) return;
  const std::string path = entry_->GetICCProfile(setup_.numOptions, setup_.options, setup_.ppd, setup_.jobId);
  std::string bytes;
  if (!path.empty() && GetProfileBytes(path.c_str(), &bytes)) entry_->SetICCProfile(path.c_str());
}

void PrintJob::Start()
{
  entry_->SendSysTime();
  ReadSettings();
  if (setup_.settings != nullptr) entry_->SetImageSettings(*setup_.settings);
  entry_->SetPaperRotate(setup_.numOptions, setup_.options, setup_.ppd);
  layoutCount_ = entry_->GetMultiLayoutNum(setup_.jobId);
  remainHalf_ = entry_->GetRemainHalf(setup_.jobId);
}

void PrintJob::SendBatchSettings()
{
  ApplyOptions(*entry_, setup_, &DeviceEntry::SendCutterMode, &DeviceEntry::SendOvercoatFinish,
               &DeviceEntry::SendPrintRetry, &DeviceEntry::SendPrintSpeed, &DeviceEntry::SendDecurl);
}

// Sends the copies of one processed page; a print goes out once the slots
// hold a full layout (the first copy alone when an odd half sheet remains).
void PrintJob::SendCopies(_tagBITMAPHANDLE* bitmap)
{
  for (unsigned c = 0; c < copies_; ++c) {
    const bool oddHalf = c == 0 && pageIndex_ == 0 && remainHalf_ > 0 && remainHalf_ % 2 == 1;
    const int target = oddHalf ? 1 : layoutCount_;
    entry_->SetImageData(pending_, bitmap);
    ++pending_;
    if (pending_ >= target) {
      SendBatchSettings();
      entry_->SendImageData(target);
      pending_ = 0;
    }
  }
}

PageStart PrintJob::BeginPage(unsigned width, unsigned height, unsigned copies, const double* pagePoints)
{
  std::free(page_);
  page_ = nullptr;
  ++pageIndex_;
  rowBytes_ = PageRowBytes(width);
  if (width == 0 || height == 0 || rowBytes_ == 0 || height > kMaxPageBytes / rowBytes_) return PageStart::kRefused;
  page_ = static_cast<unsigned char*>(std::calloc(height, rowBytes_));
  if (page_ == nullptr) return PageStart::kFailed;
  width_ = width;
  height_ = height;
  copies_ = std::min(copies, kMaxCopies);
  nextRow_ = 0;
  for (int i = 0; i < 2; ++i) entry_->imageBuffer.pageSizePoints[i] = pagePoints != nullptr ? pagePoints[i] : 0;
  return PageStart::kReady;
}

bool PrintJob::AddRow(const unsigned char* row, size_t length)
{
  if (page_ != nullptr && row != nullptr)
    StoreRasterLine(page_, rowBytes_, row, length, width_, height_, nextRow_++, setup_.orientation);
  return !IsCanceled();
}

void PrintJob::EndPage()
{
  unsigned char* page = page_;
  page_ = nullptr;
  if (page == nullptr || IsCanceled()) {
    std::free(page);
    return;
  }
  // The image stage takes the page over, whatever it returns.
  _tagBITMAPHANDLE* bitmap = entry_->MakeImageData(reinterpret_cast<char*>(page), width_, height_, pending_);
  if (bitmap == nullptr) return;
  SendCopies(bitmap);
  IL_FreeBitmap(bitmap);
  std::free(bitmap);
}

void PrintJob::PrintPage(unsigned char* page, unsigned width, unsigned height, unsigned copies,
                         const double* pagePoints)
{
  if (BeginPage(width, height, copies, pagePoints) != PageStart::kReady) {
    std::free(page);
    return;
  }
  std::free(page_);
  page_ = page;
  EndPage();
}

void PrintJob::Finish()
{
  if (pending_ == 0 || IsCanceled()) return;
  SendBatchSettings();
  entry_->SendImageData(pending_);
  pending_ = 0;
}

size_t PageRowBytes(unsigned width)
{
  const uint64_t bytes = (uint64_t{width} * 24 + 31) / 32 * 4;
  return bytes > kMaxPageBytes ? 0 : static_cast<size_t>(bytes);
}

void StoreRasterLine(unsigned char* page, size_t rowBytes, const unsigned char* line, size_t lineBytes, unsigned width,
                     unsigned height, unsigned i, int orientation)
{
  if (i >= height) return;
  const size_t pixelBytes = size_t{width} * 3;
  const size_t held = lineBytes < pixelBytes ? lineBytes / 3 : width;  // whole pixels the line holds
  if (orientation == 2 || orientation == 4) {
    unsigned char* row = page + rowBytes * i;
    for (size_t k = 0; k < held; ++k) std::memcpy(row + 3 * (width - 1 - k), line + 3 * k, 3);
  } else {
    std::memcpy(page + rowBytes * (height - 1 - i), line, held * 3);
  }
}
