// Option lookup, the plain-text PPD reader and the job information file.
#include <gtest/gtest.h>

#include <string>

#include "Common.h"
#include "TempRoot.h"

namespace {

class Options {
public:
  explicit Options(const char* text) { n = cupsParseOptions(text, 0, &opts); }
  ~Options() { cupsFreeOptions(n, opts); }
  int n = 0;
  cups_option_t* opts = nullptr;
};

class PpdFile {
public:
  PpdFile(const TempRoot& root, const std::string& text) : path(root.WriteFile("test.ppd", text))
  {
    ppd = wrappedPpdOpenFile(path.c_str());
  }
  ~PpdFile() { wrappedPpdClose(ppd); }
  std::string path;
  ppdfile_s* ppd = nullptr;
};

TEST(CupsValue, JobOptionThenMediaForPageSizeOnlyThenPpd)
{
  TempRoot root;
  PpdFile file(root, "*DefaultPageSize: 102x204mm\n*DefaultFyxDecurl: Enable\n");
  Options media("media=102x102mm");
  EXPECT_STREQ(_GetCupsValue("PageSize", media.n, media.opts, file.ppd), "102x102mm");
  EXPECT_STREQ(_GetCupsValue("FyxDecurl", media.n, media.opts, file.ppd), "Enable");
  Options both("media=102x102mm PageSize=115x115mm");
  EXPECT_STREQ(_GetCupsValue("PageSize", both.n, both.opts, file.ppd), "115x115mm");
  Options none("");
  EXPECT_STREQ(_GetCupsValue("PageSize", none.n, none.opts, file.ppd), "102x204mm");
  // "media" is consulted for PageSize alone.
  Options mediaOnly("media=Enable");
  EXPECT_STREQ(_GetCupsValue("FyxDecurl", mediaOnly.n, mediaOnly.opts, nullptr), nullptr);
  EXPECT_EQ(_GetCupsValue(nullptr, none.n, none.opts, file.ppd), nullptr);
}

TEST(PpdReader, DefaultChoiceRules)
{
  TempRoot root;
  PpdFile file(root,
               "*PPD-Adobe: \"4.3\"\n"
               "*DefaultFyxGammaR: 30\n"
               "*DefaultFyxGamma: 50\n"
               "*DefaultFyxDecurl:  Enable\n"
               "*DefaultFyxBorder:Enable\n"
               "*defaultFyxICM: None\n"
               "*DefaultPageSize: 102x153mm trailing words\n"
               "*DefaultPageSize: 115x115mm\n"
               "*DefaultFyx%s%n: x\n");
  EXPECT_STREQ(wrappedPpdFindDefChoice(file.ppd, "FyxGamma"), "50");  // not the FyxGammaR line
  EXPECT_STREQ(wrappedPpdFindDefChoice(file.ppd, "FyxGammaR"), "30");
  EXPECT_STREQ(wrappedPpdFindDefChoice(file.ppd, "FyxDecurl"), "Enable");    // extra blank skipped
  EXPECT_EQ(wrappedPpdFindDefChoice(file.ppd, "FyxBorder"), nullptr);        // no space after the colon
  EXPECT_EQ(wrappedPpdFindDefChoice(file.ppd, "FyxICM"), nullptr);           // case-sensitive
  EXPECT_STREQ(wrappedPpdFindDefChoice(file.ppd, "PageSize"), "102x153mm");  // first line wins
  // A key with conversion characters is matched as text, never used as a format.
  EXPECT_STREQ(wrappedPpdFindDefChoice(file.ppd, "Fyx%s%n"), "x");
  EXPECT_EQ(wrappedPpdFindDefChoice(file.ppd, nullptr), nullptr);
  EXPECT_EQ(wrappedPpdFindDefChoice(nullptr, "PageSize"), nullptr);
}

TEST(PpdReader, LongLinesBinaryAndMissingFiles)
{
  TempRoot root;
  // A 300-character line whose tail looks like a default line must not count.
  const std::string longLine = std::string(300 - 27, 'x') + "*DefaultPageSize: 102x102mm\n";
  const std::string exact = "*DefaultFyxBorder: " + std::string(255 - 19, 'E') + "\n";
  PpdFile file(root, longLine + exact + std::string("\0\x01\xff binary\n", 11) + "*DefaultFyxICM: None\n");
  EXPECT_EQ(wrappedPpdFindDefChoice(file.ppd, "PageSize"), nullptr);
  const char* border = wrappedPpdFindDefChoice(file.ppd, "FyxBorder");
  ASSERT_NE(border, nullptr);
  EXPECT_EQ(std::string(border), std::string(236, 'E'));  // a line of exactly 255 characters is read
  EXPECT_STREQ(wrappedPpdFindDefChoice(file.ppd, "FyxICM"), "None");

  ppdfile_s* missing = wrappedPpdOpenFile((root.Path() + "/absent.ppd").c_str());
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->file, nullptr);
  EXPECT_EQ(wrappedPpdFindDefChoice(missing, "PageSize"), nullptr);
  wrappedPpdClose(missing);
  EXPECT_EQ(wrappedPpdOpenFile(nullptr), nullptr);
  wrappedPpdClose(nullptr);
}

TEST(FirmwareVersion, FixedValue)
{
  double v = 0;
  EXPECT_EQ(_GetFirmwVersion(7, &v), 0);
  EXPECT_DOUBLE_EQ(v, 1.53);
  EXPECT_EQ(_GetFirmwVersion(0, nullptr), 3);
}

TEST(JobInfoFile, ValueRules)
{
  TempRoot root;
  root.CacheFolder();
  root.WriteFile("var/cache/pellori/TQ-58/Print_7.log", "JOB=\"7\"\nMEDIA_CLASS=\"0001\"\nMEDIA_CLASS=\"0002\"\n");
  root.WriteFile("var/cache/pellori/TQ-58/Print_8.log", "MEDIA_CLASS=0001\n");
  root.WriteFile("var/cache/pellori/TQ-58/Print_9.log", "MEDIA_CLASS=\"0001\"\r\n");
  char out[128] = {0};
  _GetValuePrInfoFile("MEDIA_CLASS=", "7", out, sizeof out);
  EXPECT_STREQ(out, "0001");  // quotes removed, first line wins
  char bare[128] = {0};
  _GetValuePrInfoFile("MEDIA_CLASS=", "8", bare, sizeof bare);
  EXPECT_STREQ(bare, "0001");
  char crlf[128] = {0};
  _GetValuePrInfoFile("MEDIA_CLASS=", "9", crlf, sizeof crlf);
  EXPECT_STREQ(crlf, "0001\r");  // a carriage return stays
}

TEST(JobInfoFile, NothingFoundOrTooLongLeavesOutput)
{
  TempRoot root;
  root.CacheFolder();
  root.WriteFile("var/cache/pellori/TQ-58/Print_5.log", "MEDIA_CLASS=\"0123456789\"\n");
  char small[10] = "keep";
  EXPECT_EQ(_GetValuePrInfoFile("MEDIA_CLASS=", "5", small, sizeof small), 0);
  EXPECT_STREQ(small, "keep");  // ten characters do not fit ten bytes
  char fits[11] = "";
  _GetValuePrInfoFile("MEDIA_CLASS=", "5", fits, sizeof fits);
  EXPECT_STREQ(fits, "0123456789");
  char out[16] = "keep";
  _GetValuePrInfoFile("MEDIA_CLASS=", "6", out, sizeof out);                 // no file
  _GetValuePrInfoFile("OTHER=", "5", out, sizeof out);                       // no such key
  _GetValuePrInfoFile("MEDIA_CLASS=", "../TQ-58/Print_5", out, sizeof out);  // not a job-id
  EXPECT_STREQ(out, "keep");
  EXPECT_EQ(_GetValuePrInfoFile("MEDIA_CLASS=", "5", nullptr, 0), 0);
}

}  // namespace
