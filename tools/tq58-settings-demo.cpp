// Runs the filter's settings front for one job and writes its packets to
// standard output: the clock packet, then one batch of the five settings
// packets. Usage: tq58-settings-demo [job-id] "options"   (PPD from $PPD).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "PhotoPrinterDeviceTQ58.h"
#include "StandardOptions.h"

namespace {

const char* const kHelp =
    "Usage: tq58-settings-demo [[JOB-ID] OPTIONS]\n"
    "\n"
    "Runs the TQ-58 filter's settings for one job (JOB-ID, 1 when not given)\n"
    "with the CUPS job options OPTIONS (\"name=value ...\", none when not given)\n"
    "and the PPD named by the environment variable PPD, and writes the packets\n"
    "to standard output: the clock packet, then one batch of settings packets.\n"
    "The settings chosen are described on standard error.\n";

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"tq58-settings-demo", kHelp, {}, 0, 2};
  ProgramArguments command;
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, &command);
  if (handled != kTQ58RunProgram) return handled;
  const std::vector<std::string>& operands = command.operands;
  const char* jobId = operands.size() == 2 ? operands[0].c_str() : "1";
  const char* optionText = operands.empty() ? "" : operands.back().c_str();
  cups_option_t* options = nullptr;
  const int n = cupsParseOptions(optionText, 0, &options);
  ppdfile_s* ppd = wrappedPpdOpenFile(std::getenv("PPD"));

  DeviceEntry_TQ58 entry;
  entry.SendSysTime();
  entry.SetResolution(n, options, ppd);
  entry.SetMediaSize(n, options, ppd);
  entry.SetBorder(n, options, ppd);
  entry.SetICM(n, options, ppd);
  entry.SetSharpness(n, options, ppd);
  entry.SetGamma(n, options, ppd);
  entry.SetIntensity(n, options, ppd);
  entry.SetContrast(n, options, ppd);
  entry.SetSaturation(n, options, ppd);
  entry.SetColorAdjustment(n, options, ppd);
  entry.SendCutterMode(n, options, ppd);
  entry.SendOvercoatFinish(n, options, ppd);
  entry.SendPrintRetry(n, options, ppd);
  entry.SendPrintSpeed(n, options, ppd);
  entry.SendDecurl(n, options, ppd);

  const DeviceMediaBufferInfo& m = entry.mediaInfo;
  std::fprintf(stderr,
               "media %d (multicut %d) %dx%d dots at %ldx%ld dpi, head %d, border %d, icm %d, sharpness %d,\n"
               "gamma %d/%d/%d, brightness %d/%d/%d, contrast %d/%d/%d, saturation %d, colour adjustment %d,\n"
               "profile %s\n",
               m.mediaCode, m.multiCutCode, m.printWidthDots, m.printHeightDots, static_cast<long>(m.xDpi),
               static_cast<long>(m.yDpi), m.headWidth, entry.border, entry.icm, entry.sharpness, entry.gamma[0],
               entry.gamma[1], entry.gamma[2], entry.intensity[0], entry.intensity[1], entry.intensity[2],
               entry.contrast[0], entry.contrast[1], entry.contrast[2], entry.saturation, entry.colorAdjustment,
               entry.GetICCProfile(n, options, ppd, jobId).c_str());
  wrappedPpdClose(ppd);
  cupsFreeOptions(n, options);
  return 0;
}
