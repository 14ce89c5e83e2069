#include "RasterPrint.h"

#include <csignal>
#include <memory>

#include "DriverData.h"
#include "PhotoPrinterDeviceTQ58.h"
#include "PrintJob.h"
#include "PrinterStatus.h"

namespace {

struct AppJob {
  pappl_job_t* job = nullptr;
  pappl_device_t* device = nullptr;
  int numOptions = 0;
  cups_option_t* options = nullptr;
  volatile sig_atomic_t cancel = 0;
  bool writeFailed = false;
  PrinterState state;  // as read before the job
  std::unique_ptr<PrintJob> print;

  ~AppJob() { cupsFreeOptions(numOptions, options); }
};

// The print path's sink: every packet to the PAPPL device. A failed write
// cancels the rest of the job. Blocks on the device.
size_t WriteToDevice(void* context, const void* data, size_t length)
{
  auto* app = static_cast<AppJob*>(context);
  if (app->writeFailed) return 0;
  if (papplDeviceWrite(app->device, data, length) != static_cast<ssize_t>(length)) {
    app->writeFailed = true;
    app->cancel = 1;
    papplLogJob(app->job, PAPPL_LOGLEVEL_ERROR, "Unable to send the print to the printer.");
    return 0;
  }
  return length;
}

AppJob* GetAppJob(pappl_job_t* job)
{
  return static_cast<AppJob*>(papplJobGetData(job));
}

// The flag the print path looks at, refreshed from the IPP job's state.
void UpdateCancel(AppJob* app)
{
  if (papplJobIsCanceled(app->job)) app->cancel = 1;
}

}  // namespace

bool StartRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device)
{
  auto app = std::make_unique<AppJob>();
  if (!WaitUntilReady(job, device, &app->state)) return false;
  app->job = job;
  app->device = device;
  app->numOptions = GetJobOptions(options, &app->options);
  PrintJobSetup setup;
  setup.numOptions = app->numOptions;
  setup.options = app->options;
  setup.sink = WriteToDevice;
  setup.sinkContext = app.get();
  setup.cancel = &app->cancel;
  setup.profile = &GetFilterProfileTQ58();
  if (!app->state.mediaClass.empty()) setup.mediaClass = app->state.mediaClass.c_str();
  app->print = std::make_unique<PrintJob>(setup);
  app->print->Start();
  const bool ok = !app->writeFailed;
  papplJobSetData(job, app.release());
  return ok;
}

bool StartRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned)
{
  AppJob* app = GetAppJob(job);
  if (app == nullptr) return false;
  UpdateCancel(app);
  if (app->cancel) return false;
  const auto& header = options->header;
  if (header.cupsBitsPerPixel != 24 || header.cupsColorSpace != CUPS_CSPACE_SRGB) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unsupported raster: %u bits per pixel, colour space %d.",
                header.cupsBitsPerPixel, static_cast<int>(header.cupsColorSpace));
    return false;
  }
  const double points[2] = {static_cast<double>(header.PageSize[0]), static_cast<double>(header.PageSize[1])};
  // PAPPL repeats the pages for the copies itself: each page is one print.
  return app->print->BeginPage(header.cupsWidth, header.cupsHeight, 1, points) == PageStart::kReady;
}

bool WriteRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned,
                     const unsigned char* line)
{
  AppJob* app = GetAppJob(job);
  if (app == nullptr) return false;
  UpdateCancel(app);
  return app->print->AddRow(line, options->header.cupsBytesPerLine);
}

bool EndRasterPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned)
{
  AppJob* app = GetAppJob(job);
  if (app == nullptr) return false;
  UpdateCancel(app);
  app->print->EndPage();
  return !app->writeFailed;
}

bool EndRasterJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device)
{
  std::unique_ptr<AppJob> app(GetAppJob(job));
  papplJobSetData(job, nullptr);
  if (app == nullptr) return false;
  UpdateCancel(app.get());
  app->print->Finish();
  papplDeviceFlush(device);
  return !app->writeFailed;
}
