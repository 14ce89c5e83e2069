// Makes the two printer colour profiles of the TQ-58 with Little CMS: RGB
// output profiles (class 'prtr', PCS Lab, lookup tables A2B0/B2A0 and a gamut
// tag) built from a model of each media: its white point, primaries and tone
// curve. The two media models differ, so that a print shows which profile the
// filter chose. The header date is fixed, so a build gives the same bytes.
// Usage: tq58-make-profiles PD.icc SD.icc
#include <lcms2.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "StandardOptions.h"

namespace {

constexpr int kGridPoints = 33;

struct MediaModel {
  const char* description;
  cmsCIExyY white;
  cmsCIExyYTRIPLE primaries;
  double gamma;
};

// PD media: sRGB primaries, D65 white, gamma 2.2 (close to the sRGB input).
const MediaModel kPd = {"TQ-58 PD media (generated)",
                        {0.3127, 0.3290, 1.0},
                        {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}},
                        2.2};
// SD media: wider green, D50 white, gamma 1.8: mid tones and greens print differently.
const MediaModel kSd = {"TQ-58 SD media (generated)",
                        {0.3457, 0.3585, 1.0},
                        {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}},
                        1.8};

int SampleTransform(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo)
{
  cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), in, out, 1);
  return TRUE;
}

int SampleInGamut(const cmsUInt16Number[], cmsUInt16Number out[], void*)
{
  out[0] = 0;  // every colour counts as printable
  return TRUE;
}

// Appends stage to pipeline, or frees it; false when it is missing or not appended.
bool Append(cmsPipeline* pipeline, cmsStage* stage)
{
  if (stage != nullptr && cmsPipelineInsertStage(pipeline, cmsAT_END, stage)) return true;
  if (stage != nullptr) cmsStageFree(stage);
  return false;
}

// Identity curves, a CLUT filled by sampler, identity curves: the form both
// lutAtoBType and lutBtoAType can hold. Null on failure.
cmsPipeline* MakeClutPipeline(int inputs, int outputs, int points, cmsSAMPLER16 sampler, void* cargo)
{
  cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, inputs, outputs);
  if (pipeline == nullptr) return nullptr;
  cmsStage* clut = cmsStageAllocCLut16bit(nullptr, points, inputs, outputs, nullptr);
  if (clut != nullptr && !cmsStageSampleCLut16bit(clut, sampler, cargo, 0)) {
    cmsStageFree(clut);
    clut = nullptr;
  }
  if (!Append(pipeline, cmsStageAllocToneCurves(nullptr, inputs, nullptr)) || !Append(pipeline, clut) ||
      !Append(pipeline, cmsStageAllocToneCurves(nullptr, outputs, nullptr))) {
    cmsPipelineFree(pipeline);
    return nullptr;
  }
  return pipeline;
}

bool WriteText(cmsHPROFILE profile, cmsTagSignature tag, const char* text)
{
  cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
  const bool ok = mlu != nullptr && cmsMLUsetASCII(mlu, "en", "US", text) && cmsWriteTag(profile, tag, mlu);
  if (mlu != nullptr) cmsMLUfree(mlu);
  return ok;
}

// Writes a tag holding a CLUT pipeline of the transform's sampled values.
bool WriteClut(cmsHPROFILE profile, cmsTagSignature tag, int inputs, int outputs, cmsSAMPLER16 sampler, void* cargo)
{
  cmsPipeline* pipeline = MakeClutPipeline(inputs, outputs, kGridPoints, sampler, cargo);
  const bool ok = pipeline != nullptr && cmsWriteTag(profile, tag, pipeline);
  if (pipeline != nullptr) cmsPipelineFree(pipeline);
  return ok;
}

bool FillTags(cmsHPROFILE profile, const MediaModel& media, cmsHTRANSFORM toLab, cmsHTRANSFORM toRgb)
{
  return WriteText(profile, cmsSigProfileDescriptionTag, media.description) &&
         WriteText(profile, cmsSigCopyrightTag, "No copyright, use freely") &&
         cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ()) &&
         WriteClut(profile, cmsSigAToB0Tag, 3, 3, SampleTransform, toLab) &&
         WriteClut(profile, cmsSigBToA0Tag, 3, 3, SampleTransform, toRgb) &&
         WriteClut(profile, cmsSigGamutTag, 3, 1, SampleInGamut, nullptr);
}

// The output profile of one media model; null on failure.
cmsHPROFILE MakeOutputProfile(const MediaModel& media)
{
  cmsToneCurve* curve = cmsBuildGamma(nullptr, media.gamma);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE device = curve != nullptr ? cmsCreateRGBProfile(&media.white, &media.primaries, curves) : nullptr;
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  const cmsUInt32Number flags = cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE;
  cmsHTRANSFORM toLab = nullptr, toRgb = nullptr;
  if (device != nullptr && lab != nullptr) {
    toLab = cmsCreateTransform(device, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_RELATIVE_COLORIMETRIC, flags);
    toRgb = cmsCreateTransform(lab, TYPE_Lab_16, device, TYPE_RGB_16, INTENT_RELATIVE_COLORIMETRIC, flags);
  }
  cmsHPROFILE out = cmsCreateProfilePlaceholder(nullptr);
  if (out != nullptr) {
    cmsSetProfileVersion(out, 4.3);
    cmsSetDeviceClass(out, cmsSigOutputClass);
    cmsSetColorSpace(out, cmsSigRgbData);
    cmsSetPCS(out, cmsSigLabData);
    cmsSetHeaderRenderingIntent(out, INTENT_PERCEPTUAL);
    if (toLab == nullptr || toRgb == nullptr || !FillTags(out, media, toLab, toRgb)) {
      cmsCloseProfile(out);
      out = nullptr;
    }
  }
  if (toLab != nullptr) cmsDeleteTransform(toLab);
  if (toRgb != nullptr) cmsDeleteTransform(toRgb);
  if (lab != nullptr) cmsCloseProfile(lab);
  if (device != nullptr) cmsCloseProfile(device);
  if (curve != nullptr) cmsFreeToneCurve(curve);
  return out;
}

void StoreBE2(unsigned char* p, unsigned value)
{
  p[0] = static_cast<unsigned char>(value >> 8);
  p[1] = static_cast<unsigned char>(value & 0xFF);
}

// Saves profile to path with the creation date 2024-01-01 00:00:00.
bool SaveProfile(cmsHPROFILE profile, const char* path)
{
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(profile, nullptr, &size) || size < 128) return false;
  std::vector<unsigned char> bytes(size);
  if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) return false;
  const unsigned date[6] = {2024, 1, 1, 0, 0, 0};
  for (int i = 0; i < 6; ++i) StoreBE2(&bytes[24 + 2 * i], date[i]);
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

bool MakeProfile(const MediaModel& media, const char* path)
{
  cmsHPROFILE profile = MakeOutputProfile(media);
  const bool ok = profile != nullptr && SaveProfile(profile, path);
  if (profile != nullptr) cmsCloseProfile(profile);
  if (!ok) std::fprintf(stderr, "tq58-make-profiles: cannot make %s\n", path);
  return ok;
}

void LogError(cmsContext, cmsUInt32Number, const char* text)
{
  std::fprintf(stderr, "tq58-make-profiles: %s\n", text);
}

const char* const kHelp =
    "Usage: tq58-make-profiles PD.icc SD.icc\n"
    "\n"
    "Makes the TQ-58's two colour profiles with Little CMS: the one for PD media\n"
    "in PD.icc and the one for SD media in SD.icc (installed as PD_TQ58_0100.icc\n"
    "and SD_TQ58_0100.icc). The same build always writes the same bytes.\n";

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"tq58-make-profiles", kHelp, {}, 2, 2};
  ProgramArguments command;
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, &command);
  if (handled != kTQ58RunProgram) return handled;
  cmsSetLogErrorHandler(LogError);
  return MakeProfile(kPd, command.operands[0].c_str()) && MakeProfile(kSd, command.operands[1].c_str()) ? 0 : 1;
}
