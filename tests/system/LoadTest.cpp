// Many jobs through the real scheduler to two printers at once: every job
// ends completed, every print arrives once, on the printer of its queue, and
// carries exactly the planes our filter makes from that job's raster.
#include <cups/ipp.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include "SystemFixture.h"

namespace {

// What the filter sends for one print and the emulator keeps.
struct Planes {
  std::string multiCut;
  std::vector<std::string> planes;  // Y, M, C
};

// One kind of job: its picture and the options it is printed with.
struct JobKind {
  std::string photo;
  std::vector<std::string> options;
};

// One printer with its queue and the kind of each job sent to it, in order.
struct LoadPrinter {
  std::string name, serial, queue;
  int mediaClass = 1;
  std::vector<int> kinds;
  std::vector<int> jobIds;
};

// The scheduler's account of one job.
struct JobRecord {
  std::string queue, reasons;
  int state = 0;
};

// A w x h picture of its own for seed, as a JPEG: two gradients and a
// checkerboard whose cell size follows seed, so that a shifted, mirrored or
// swapped print cannot pass for another.
std::string PatternPhoto(const std::string& folder, int seed, int w, int h)
{
  const std::string stem = folder + "/pattern" + std::to_string(seed);
  std::string pixels(static_cast<size_t>(w) * h * 3, '\0');
  const int cell = 7 + 5 * seed;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      char* p = &pixels[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<char>(x * 255 / w);
      p[1] = static_cast<char>(y * 255 / h);
      p[2] = static_cast<char>(((x / cell + y / cell) % 2) != 0 ? 220 - 40 * seed : 20 + 30 * seed);
    }
  }
  std::ofstream(stem + ".ppm", std::ios::binary) << "P6\n" << w << " " << h << "\n255\n" << pixels;
  const ProcessResult jpeg = RunProcess({"cjpeg", "-quality", "92", "-outfile", stem + ".jpg", stem + ".ppm"});
  EXPECT_EQ(jpeg.exitCode, 0) << jpeg.err;
  return stem + ".jpg";
}

Planes PlanesOfStream(const std::string& stream)
{
  Planes result;
  result.planes.assign(3, std::string());
  std::vector<DecodedPacket> packets;
  std::string error;
  EXPECT_TRUE(TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), &packets, &error))
      << error;
  const char* names[3] = {"YPLANE", "MPLANE", "CPLANE"};
  for (const DecodedPacket& p : packets) {
    const std::string payload(p.payload.begin(), p.payload.end());
    if (p.command != "IMAGE") continue;
    if (p.subcommand == "MULTICUT") result.multiCut = payload;
    for (int i = 0; i < 3; ++i)
      if (p.subcommand == names[i]) result.planes[i] = payload;
  }
  return result;
}

// Where a print first differs from what was expected, for the failure message.
std::string Difference(const EmulatedPrint& got, const Planes& want)
{
  if (got.multiCut != want.multiCut) return "the MULTICUT payload";
  std::ostringstream text;
  for (size_t i = 0; i < want.planes.size(); ++i) {
    const std::string& g = i < got.planes.size() ? got.planes[i] : std::string();
    const std::string& w = want.planes[i];
    if (g == w) continue;
    const auto at = std::mismatch(g.begin(), g.end(), w.begin(), w.end());
    text << "plane "
         << "YMC"[i] << ": " << g.size() << " bytes for " << w.size() << ", first difference at byte "
         << (at.first - g.begin()) << "; ";
  }
  return text.str();
}

// Every job the scheduler knows, completed ones included, by job ID. Blocks.
std::map<int, JobRecord> AllJobs()
{
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
  const char* wanted[] = {"job-id", "job-state", "job-state-reasons", "job-printer-uri"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
  ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
  std::map<int, JobRecord> jobs;
  JobRecord job;
  int id = 0;
  for (ipp_attribute_t* a = ippFirstAttribute(response);; a = ippNextAttribute(response)) {
    const std::string name = a != nullptr && ippGetName(a) != nullptr ? ippGetName(a) : "";
    if (name.empty()) {  // a job's group ends
      if (id != 0) jobs[id] = job;
      if (a == nullptr) break;
      job = JobRecord();
      id = 0;
    } else if (name == "job-id") {
      id = ippGetInteger(a, 0);
    } else if (name == "job-state") {
      job.state = ippGetInteger(a, 0);
    } else if (name == "job-printer-uri") {
      const std::string uri = ippGetString(a, 0, nullptr);
      job.queue = uri.substr(uri.rfind('/') + 1);
    } else if (name == "job-state-reasons") {
      for (int i = 0; i < ippGetCount(a); ++i)
        job.reasons += std::string(i > 0 ? "," : "") + ippGetString(a, i, nullptr);
    }
  }
  ippDelete(response);
  return jobs;
}

constexpr int kMedia = 500;  // prints each printer's media allows

class LoadTest : public SystemTest {
protected:
  // Completed jobs stay listed, so that each one's final state can be checked.
  LoadTest() { cupsd_.AddConfigLine("PreserveJobHistory Yes"); }

  // Plugs in a printer that keeps its prints in memory only and waits for its queue.
  void PlugPrinter(LoadPrinter* printer)
  {
    Plug(printer->name, [&](EmulatedPrinterState& s) {
      s.serial = printer->serial;
      s.mediaClass = printer->mediaClass;
      s.mediaInitial = s.mediaRemain = kMedia;
      s.saveFolder.clear();
      s.savePng = false;
    });
    printer->queue = WaitForQueueOf(printer->serial);
    ASSERT_FALSE(printer->queue.empty()) << printer->serial;
    const std::string mediaClass = "000" + std::to_string(printer->mediaClass);
    ASSERT_TRUE(WaitUntil([&] { return Info("MEDIA_CLASS", printer->serial) == mediaClass; }, 5000));
    Touch("_UTIL", printer->serial);  // the status window is open: the daemon polls the printer all along
  }

  // The planes the filter makes for kind on a printer of mediaClass, from the
  // raster cupsfilter makes of the picture, both run outside the scheduler.
  Planes FilterOutside(const JobKind& kind, int mediaClass, const std::string& queue, int jobId)
  {
    const std::string ppd = cupsd_.Root() + "/conf/ppd/" + queue + ".ppd";
    std::vector<std::string> argv = {"cupsfilter", "-p", ppd, "-m", "application/vnd.cups-raster"};
    std::string options;
    for (const std::string& o : kind.options) {
      argv.insert(argv.end(), {"-o", o});
      options += (options.empty() ? "" : " ") + o;
    }
    argv.push_back(kind.photo);
    const ProcessResult raster = RunProcess(argv);
    EXPECT_EQ(raster.exitCode, 0) << raster.err;
    const std::string rasterPath = root_.Path() + "/reference.ras";
    std::ofstream(rasterPath, std::ios::binary) << raster.out;
    const std::string id = std::to_string(jobId);
    std::ofstream(CacheFile("Print_" + id + ".log")) << "MEDIA_CLASS=\"000" << mediaClass << "\"\n";
    const std::string filter = TQ58_FixedPath(tq58_layout::kFilter);
    const ProcessResult job = RunProcess({filter, id, "user", "title", "1", options, rasterPath}, "", {"PPD=" + ppd});
    EXPECT_EQ(job.exitCode, 0) << job.err;
    std::filesystem::remove(CacheFile("Print_" + id + ".log"));
    return PlanesOfStream(job.out);
  }

  // Waits until no job is active. Fails when none has finished for stallMs
  // (a hang) or all have not finished within ms. Polls gently: a long wait
  // must not load the scheduler it waits for.
  bool WaitForAllJobs(int ms, int stallMs)
  {
    const auto start = std::chrono::steady_clock::now();
    auto lastChange = start;
    int last = -1;
    for (;;) {
      const int active = ActiveJobs(nullptr);
      const auto now = std::chrono::steady_clock::now();
      if (active == 0) break;
      if (active != last) last = active, lastChange = now;
      if (now - lastChange > std::chrono::milliseconds(stallMs) || now - start > std::chrono::milliseconds(ms)) {
        ADD_FAILURE() << active << " jobs still active after " << (now - start) / std::chrono::seconds(1) << " s";
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    // A job is completed before the scheduler has finished it off: its
    // reasons say "processing-to-stop-point" until then.
    return WaitUntil(
        [] {
          for (const auto& [id, job] : AllJobs())
            if (job.reasons.find("processing-to-stop-point") != std::string::npos) return false;
          return true;
        },
        10000);
  }

  // The scheduler's error lines ("E [...]"), for a run that should have none.
  std::string ErrorLines() const
  {
    std::istringstream log(cupsd_.ErrorLog());
    std::string line, errors;
    while (std::getline(log, line))
      if (line.rfind("E [", 0) == 0) errors += line + "\n";
    return errors;
  }

  // The daemon's count follows the printer's through the load.
  void ExpectMediaRemain(const LoadPrinter& printer) const
  {
    char remain[16];
    std::snprintf(remain, sizeof remain, "%05d", kMedia - static_cast<int>(printer.kinds.size()));
    EXPECT_TRUE(WaitUntil([&] { return Info("MEDIA_REMAIN", printer.serial) == remain; }, 5000))
        << Info("MEDIA_REMAIN", printer.serial);
  }

  // Each job the test sent to printer's queue ended completed, on that queue.
  static void ExpectJobsCompleted(const std::map<int, JobRecord>& jobs, const LoadPrinter& printer)
  {
    for (const int id : printer.jobIds) {
      const auto it = jobs.find(id);
      ASSERT_NE(it, jobs.end()) << "job " << id << " unknown to the scheduler";
      EXPECT_EQ(it->second.queue, printer.queue) << "job " << id;
      EXPECT_EQ(it->second.state, IPP_JSTATE_COMPLETED) << "job " << id << ": " << it->second.reasons;
      EXPECT_EQ(it->second.reasons, "job-completed-successfully") << "job " << id;
    }
  }

  // The printer got one print per job of its queue, in order, each equal to
  // what the filter makes for that job's kind on this printer's media.
  void ExpectPrints(const LoadPrinter& printer, const std::map<int, Planes>& expected)
  {
    const std::vector<EmulatedPrint> prints = emulator_->GetPrints(printer.name);
    ASSERT_EQ(prints.size(), printer.kinds.size()) << printer.name;
    int bad = 0;
    for (size_t i = 0; i < prints.size() && bad < 5; ++i) {
      const Planes& want = expected.at(printer.kinds[i] * 10 + printer.mediaClass);
      const bool same = prints[i].multiCut == want.multiCut && prints[i].planes == want.planes;
      if (same) continue;
      ++bad;
      ADD_FAILURE() << printer.name << " print " << i + 1 << " (kind " << printer.kinds[i]
                    << ") differs: " << Difference(prints[i], want);
    }
  }
};

// Three kinds, each with its own picture, size and options.
std::vector<JobKind> MakeKinds(const std::string& folder)
{
  return {{PatternPhoto(folder, 0, 300, 300), {"PageSize=102x102mm", "fit-to-page"}},
          {PatternPhoto(folder, 1, 300, 450), {"PageSize=102x153mm", "FyxSharpness=3", "FyxOvercoatFinish=Matte"}},
          {PatternPhoto(folder, 2, 400, 400), {"PageSize=115x115mm", "FyxBorder=Enable", "fit-to-page"}}};
}

TEST_F(LoadTest, TwoHundredJobsOnTwoPrintersEachPrintedOnceAndIntact)
{
  constexpr int kJobs = 200;
  LoadPrinter printers[2] = {{"p1", "TQ58-0001", "", 1, {}, {}}, {"p2", "TQ58-0002", "", 2, {}, {}}};
  for (LoadPrinter& p : printers) ASSERT_NO_FATAL_FAILURE(PlugPrinter(&p));
  ASSERT_NE(printers[0].queue, printers[1].queue);

  // The queues take turns; on each, no two jobs in a row are of one kind, so
  // a lost or repeated print shifts the order and shows.
  const std::vector<JobKind> kinds = MakeKinds(root_.Path());
  for (int n = 0; n < kJobs; ++n) {
    LoadPrinter& p = printers[n % 2];
    const int kind = static_cast<int>((p.kinds.size() + n % 2) % kinds.size());
    const std::string id = PrintTo(p.queue, kinds[kind].photo, kinds[kind].options);
    ASSERT_FALSE(id.empty()) << "job " << n + 1;
    p.kinds.push_back(kind);
    p.jobIds.push_back(std::stoi(id));
  }
  // The expected planes, made while the scheduler works (with job IDs it will
  // not reach). Each kind prints differently on each media, so a swap shows.
  std::map<int, Planes> expected;
  for (size_t k = 0; k < kinds.size(); ++k)
    for (const LoadPrinter& p : printers) {
      const int key = static_cast<int>(k) * 10 + p.mediaClass;
      expected[key] = FilterOutside(kinds[k], p.mediaClass, p.queue, 90000 + key);
    }
  for (auto a = expected.begin(); a != expected.end(); ++a) {
    ASSERT_FALSE(a->second.planes[0].empty()) << a->first;
    for (auto b = std::next(a); b != expected.end(); ++b)
      EXPECT_NE(a->second.planes, b->second.planes) << a->first << " " << b->first;
  }

  ASSERT_TRUE(WaitForAllJobs(kJobs * 3000, 120000));
  EXPECT_EQ(ErrorLines(), "");
  const std::map<int, JobRecord> records = AllJobs();
  for (const LoadPrinter& p : printers) {
    ExpectJobsCompleted(records, p);
    ExpectPrints(p, expected);
    ExpectMediaRemain(p);
  }
}

}  // namespace
