// Whole jobs through real CUPS programs: a JPEG turned into raster by
// cupsfilter (CUPS's own imagetoraster) and printed by our filter, and jobs
// submitted to a private cupsd whose queues use our PPD and filter. The
// scheduler serves the PPD from a model folder of its own, as an installed
// system does: lpinfo -m lists it, lpadmin -m makes queues with it, IPP
// clients see its sizes by their standard names and print dialogs its German texts.
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "CupsdFixture.h"
#include "InstallLayout.h"
#include "PacketDecoder.h"
#include "PrintImage.h"
#include "Process.h"
#include "TempRoot.h"
#include "PatchMean.h"

namespace {

const std::string kPpd = std::string(TQ58_SOURCE_DIR) + "/packaging/ppd/TQ-58.ppd";

std::string ReadAll(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The sample chart as a JPEG made by cjpeg.
std::string MakeJpeg(const TempRoot& root)
{
  const std::string ppm = root.Path() + "/sample.ppm", jpg = root.Path() + "/sample.jpg";
  EXPECT_EQ(RunProcess({TQ58_MAKE_SAMPLE_PATH, ppm, "1266", "1836"}).exitCode, 0);
  const ProcessResult jpeg = RunProcess({"cjpeg", "-quality", "95", "-outfile", jpg, ppm});
  EXPECT_EQ(jpeg.exitCode, 0) << jpeg.err;
  return jpg;
}

struct Print {
  std::vector<std::string> sequence;
  std::string multiCut;  // payload of IMAGE MULTICUT: the media's multi-cut code
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  // Mean of channel c over a 40 x 40 window centred at (x, y) of the picture.
  double Mean(int x, int y, int c) const { return GetPatchMean(rgb, width, x, y, c); }
};

Print Decode(const std::string& stream)
{
  Print print;
  std::vector<DecodedPacket> packets;
  std::string error;
  EXPECT_TRUE(TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), &packets, &error))
      << error;
  PlaneImage planes[3];
  int found = 0;
  for (const DecodedPacket& p : packets) {
    print.sequence.push_back(p.command + " " + p.subcommand);
    if (p.command == "IMAGE" && p.subcommand == "MULTICUT") print.multiCut.assign(p.payload.begin(), p.payload.end());
    if (p.command == "IMAGE" && p.subcommand.find("PLANE") != std::string::npos && found < 3) {
      EXPECT_TRUE(TQ58_ReadPlane(p, &planes[found++], &error)) << error;
    }
  }
  if (found == 3 && TQ58_ComposePrint(planes[0], planes[1], planes[2], &print.rgb)) {
    print.width = planes[0].width;
    print.height = planes[0].height;
  }
  return print;
}

const std::vector<std::string> kOnePrint = {"CNTRL SET_SYS_TIME", "CNTRL CUTTER", "CNTRL OVERCOAT", "CNTRL BUFFCNTRL",
                                            "CNTRL PRINTSPEED",   "CNTRL DECURL", "IMAGE MULTICUT", "IMAGE YPLANE",
                                            "IMAGE MPLANE",       "IMAGE CPLANE", "CNTRL START"};

// The chart's patches, as placed on the 1408-dot head (71 white columns each side).
void ExpectLooksLikeTheChart(const Print& print)
{
  ASSERT_EQ(print.width, 1408);
  ASSERT_EQ(print.height, 1836);
  struct Patch {
    int x, y;
    double r, g, b;
  };
  const Patch patches[] = {{71 + 105, 765, 255, 0, 0},    {71 + 316, 765, 0, 255, 0}, {71 + 527, 765, 0, 0, 255},
                           {71 + 1160, 765, 255, 255, 0}, {71 + 316, 1071, 0, 0, 0},  {71 + 527, 1071, 255, 224, 196},
                           {71 + 1160, 1071, 141, 85, 54}};
  for (const Patch& p : patches) {
    EXPECT_NEAR(print.Mean(p.x, p.y, 0), p.r, 20) << p.x << "," << p.y;
    EXPECT_NEAR(print.Mean(p.x, p.y, 1), p.g, 20) << p.x << "," << p.y;
    EXPECT_NEAR(print.Mean(p.x, p.y, 2), p.b, 20) << p.x << "," << p.y;
  }
  EXPECT_EQ(print.Mean(30, 900, 0), 255);  // outside the picture the sheet stays white
  // The chart's first and last rows (cyan, light blue) reach the ends of the
  // print area: no white band lies where the media's edges are.
  EXPECT_LT(print.Mean(71 + 633, 20, 0), 200);
  EXPECT_LT(print.Mean(71 + 633, 1815, 0), 200);
}

TEST(EndToEnd, JpegThroughCupsfilterAndTheFilter)
{
  TempRoot root;
  root.CacheFolder();
  root.WriteFile("var/cache/pellori/TQ-58/Print_5.log", "MEDIA_CLASS=\"0001\"\n");
  const std::string jpg = MakeJpeg(root);
  const ProcessResult raster =
      RunProcess({"cupsfilter", "-p", kPpd, "-m", "application/vnd.cups-raster", "-o", "PageSize=102x153mm", jpg});
  ASSERT_EQ(raster.exitCode, 0) << raster.err;
  const std::string rasterPath = root.WriteFile("page.ras", raster.out);
  const ProcessResult job = RunProcess(
      {TQ58_FILTER_PATH, "5", "user", "title", "1", "PageSize=102x153mm FyxICM=None", rasterPath}, "", {"PPD=" + kPpd});
  EXPECT_EQ(job.exitCode, 0);
  EXPECT_EQ(job.err, "");  // the filter writes nothing to standard error
  const Print print = Decode(job.out);
  EXPECT_EQ(print.sequence, kOnePrint);
  ExpectLooksLikeTheChart(print);
}

TEST(EndToEnd, PpdPassesCupstestppd)
{
  // The filter is not installed system-wide; every other check must pass.
  const ProcessResult r = RunProcess({"cupstestppd", "-W", "none", kPpd});
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("**FAIL**") != std::string::npos) {
      EXPECT_NE(line.find("Missing cupsFilter"), std::string::npos) << line;
    }
  }
}

// The model name the scheduler serves our PPD under.
const std::string kModel = tq58_layout::kPpdModelName;

class CupsdJob : public ::testing::Test {
protected:
  void SetUp() override
  {
    root.CacheFolder();
    // Gzipped as the package installs it; the scheduler's own model folder holds it.
    const ProcessResult gz = RunProcess({"gzip", "-9", "-n", "-c", kPpd});
    ASSERT_EQ(gz.exitCode, 0);
    cupsd.AddModel(kModel, root.WriteFile("TQ-58.ppd.gz", gz.out));
    for (int id = 1; id <= 5; ++id)
      root.WriteFile("var/cache/pellori/TQ-58/Print_" + std::to_string(id) + ".log", "MEDIA_CLASS=\"0001\"\n");
    out = root.Path() + "/out";
    std::filesystem::create_directories(out);
    chmod(out.c_str(), 0777);  // the backend runs as lp
    cupsd.SetEnv("TQ58_ROOT", root.Path());
    std::string error;
    ASSERT_TRUE(cupsd.Start(&error)) << error;
    ASSERT_TRUE(cupsd.LinkProgram("filter", "rastertotq58", TQ58_FILTER_PATH));
    ASSERT_TRUE(cupsd.AddBackend("tq58save",
                                 "#!/bin/sh\n"
                                 "[ $# -eq 0 ] && { echo 'direct tq58save \"Unknown\" \"stream saver\"'; exit 0; }\n"
                                 "out=\"${DEVICE_URI#tq58save:}\"\n"
                                 "if [ $# -ge 6 ]; then cat \"$6\" > \"$out.part\"; else cat > \"$out.part\"; fi\n"
                                 "mv \"$out.part\" \"$out\"\n"));
  }
  // Makes queue TQ58 with the PPD by its model name, saving each job's stream in out.
  void AddModelQueue()
  {
    const ProcessResult add =
        cupsd.Run({"lpadmin", "-p", "TQ58", "-m", kModel, "-v", "tq58save:" + out + "/job.bin", "-E"});
    ASSERT_EQ(add.exitCode, 0) << add.err;
  }
  // Prints the sample JPEG on TQ58 with the given "-o" options; the printer's stream, decoded.
  Print PrintJpeg(const std::vector<std::string>& options)
  {
    const std::string stream = out + "/job.bin";
    std::vector<std::string> argv = {"lp", "-d", "TQ58"};
    for (const std::string& o : options) argv.insert(argv.end(), {"-o", o});
    argv.push_back(MakeJpeg(root));
    const ProcessResult lp = cupsd.Run(argv);
    EXPECT_EQ(lp.exitCode, 0) << lp.err;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (!std::filesystem::exists(stream) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(std::filesystem::exists(stream)) << cupsd.ErrorLog();
    Print print = Decode(ReadAll(stream));
    std::filesystem::remove(stream);
    return print;
  }
  // What ipptool's get-printer-attributes shows for TQ58: "name (type) = value" lines.
  std::string PrinterAttributes() const
  {
    std::string socket = cupsd.SocketPath(), host;
    for (char c : socket) host += c == '/' ? std::string("%2F") : std::string(1, c);
    const ProcessResult ipp =
        RunProcess({"ipptool", "-tv", "ipp://" + host + "/printers/TQ58", "get-printer-attributes.test"});
    EXPECT_EQ(ipp.exitCode, 0) << ipp.out << ipp.err;
    return ipp.out;
  }

  TempRoot root;
  PrivateCupsd cupsd;
  std::string out;
};

TEST_F(CupsdJob, QueueWithOurPpdPrintsAJpeg)
{
  const std::string stream = out + "/job.bin";
  ProcessResult add = cupsd.Run({"lpadmin", "-p", "TQ58", "-v", "tq58save:" + stream, "-P", kPpd, "-E"});
  ASSERT_EQ(add.exitCode, 0) << add.err;
  const Print print = PrintJpeg({"PageSize=102x153mm", "FyxICM=None"});
  EXPECT_EQ(print.sequence, kOnePrint);
  ExpectLooksLikeTheChart(print);
}

TEST_F(CupsdJob, LpinfoListsTheDriverByItsModelName)
{
  const ProcessResult lpinfo = cupsd.Run({"lpinfo", "-m"});
  ASSERT_EQ(lpinfo.exitCode, 0) << lpinfo.err;
  EXPECT_NE(lpinfo.out.find("\npellori/TQ-58.ppd.gz PELLORI SYSTEMS TQ-58\n"), std::string::npos) << lpinfo.out;
}

TEST_F(CupsdJob, QueueMadeByModelNamePrintsAJpegOnTheStandardSize)
{
  AddModelQueue();
  if (HasFatalFailure()) return;
  cups_dest_t* dests = nullptr;
  const int n = cupsGetDests(&dests);
  const cups_dest_t* dest = cupsGetDest("TQ58", nullptr, n, dests);
  ASSERT_NE(dest, nullptr);
  const char* makeAndModel = cupsGetOption("printer-make-and-model", dest->num_options, dest->options);
  EXPECT_STREQ(makeAndModel, "PELLORI SYSTEMS TQ-58");
  cupsFreeDests(n, dests);
  // What an IPP client sends for 4 x 6 in reaches the filter as the 4 x 6 media.
  const Print print = PrintJpeg({"media=na_index-4x6_4x6in", "FyxICM=None"});
  EXPECT_EQ(print.sequence, kOnePrint);
  EXPECT_EQ(print.multiCut, "00000048");
  ExpectLooksLikeTheChart(print);
}

TEST_F(CupsdJob, IppClientsSeeTheStandardPhotoSizes)
{
  AddModelQueue();
  if (HasFatalFailure()) return;
  const std::string attributes = PrinterAttributes();
  EXPECT_NE(attributes.find("media-supported (1setOf keyword) = custom_4x4in_4x4in,na_index-4x6_4x6in,"
                            "custom_4x8in_4x8in,custom_4.5x4.5in_4.5x4.5in,custom_4.5x6in_4.5x6in,"
                            "custom_4.5x8in_4.5x8in\n"),
            std::string::npos)
      << attributes;
  EXPECT_NE(attributes.find("media-default (keyword) = na_index-4x6_4x6in\n"), std::string::npos);
  // Borderless, at the standard dimensions.
  EXPECT_NE(attributes.find("{media-size={x-dimension=10160 y-dimension=15240} media-bottom-margin=0 "
                            "media-left-margin=0 media-right-margin=0 media-top-margin=0}"),
            std::string::npos);
  // A size chosen by its IPP name selects its media row.
  const Print print = PrintJpeg({"media=custom_4.5x6in_4.5x6in", "FyxICM=None"});
  EXPECT_EQ(print.sequence, kOnePrint);
  EXPECT_EQ(print.multiCut, "00000051");
  EXPECT_EQ(print.width, 1408);
  EXPECT_EQ(print.height, 1836);
}

// The option texts of the queue's PPD as a print dialog shows them (ppdLocalize)
// in language lang: keyword or keyword/choice -> text.
std::map<std::string, std::string> GetOptionTexts(const std::string& ppdFile, const std::string& lang)
{
  std::map<std::string, std::string> texts;
  // The language a thread uses is fixed at its first look-up: a new thread reads LANG anew.
  setenv("LANG", lang.c_str(), 1);
  std::thread([&] {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ppd_file_t* ppd = ppdOpenFile(ppdFile.c_str());
    if (ppd == nullptr) return;
    ppdLocalize(ppd);
    for (int g = 0; g < ppd->num_groups; ++g) {
      const ppd_group_t& group = ppd->groups[g];
      texts[group.name] = group.text;
      for (int o = 0; o < group.num_options; ++o) {
        const ppd_option_t& option = group.options[o];
        texts[option.keyword] = option.text;
        for (int c = 0; c < option.num_choices; ++c)
          texts[std::string(option.keyword) + "/" + option.choices[c].choice] = option.choices[c].text;
      }
    }
    ppdClose(ppd);
#pragma GCC diagnostic pop
  }).join();
  return texts;
}

TEST_F(CupsdJob, QueueOffersEnglishAndGermanOptionTexts)
{
  AddModelQueue();
  if (HasFatalFailure()) return;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const char* fetched = cupsGetPPD2(CUPS_HTTP_DEFAULT, "TQ58");
#pragma GCC diagnostic pop
  ASSERT_NE(fetched, nullptr) << cupsLastErrorString();
  const std::string ppdFile = fetched;
  const char* oldLang = std::getenv("LANG");
  const std::string keptLang = oldLang != nullptr ? oldLang : "";
  const std::map<std::string, std::string> de = GetOptionTexts(ppdFile, "de_DE.UTF-8");
  const std::map<std::string, std::string> en = GetOptionTexts(ppdFile, "en_US.UTF-8");
  if (oldLang != nullptr) setenv("LANG", keptLang.c_str(), 1);
  else unsetenv("LANG");
  unlink(ppdFile.c_str());
  ASSERT_EQ(de.size(), en.size());
  EXPECT_GT(de.size(), 250u);
  const std::pair<const char*, const char*> german[] = {{"PageSize", "Papierformat"},
                                                        {"PageSize/102x153mm", "4 x 6 Zoll (102 x 153 mm)"},
                                                        {"FyxFinish", "Ausführung"},
                                                        {"FyxOvercoatFinish/Glossy", "Glänzend"},
                                                        {"FyxBorder", "Rand"},
                                                        {"FyxBorder/Disable", "Randlos"},
                                                        {"FyxColor", "Farbe"},
                                                        {"FyxGammaG", "Gamma Grün"},
                                                        {"FyxDecurl/Default", "Druckereinstellung"}};
  for (const auto& [key, text] : german) EXPECT_EQ(de.at(key), text) << key;
  EXPECT_EQ(en.at("PageSize"), "Media Size");
  EXPECT_EQ(en.at("FyxBorder/Disable"), "Borderless");
  // Every text that names something has its German version; numbers and resolutions read alike.
  std::vector<std::string> same;
  for (const auto& [key, text] : de) {
    if (text == en.at(key) && text.find_first_not_of("-0123456789") != std::string::npos) same.push_back(key);
  }
  EXPECT_EQ(same,
            (std::vector<std::string>{"Resolution/300x300dpi", "Resolution/300x600dpi", "Resolution/600x600dpi"}));
}

}  // namespace
