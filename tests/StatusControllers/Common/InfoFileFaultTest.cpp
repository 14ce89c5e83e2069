// The information file on a failing file system: the cache folder on a small
// tmpfs of its own that is filled up, made read-only or removed between
// writes. A write that cannot finish leaves the old file whole.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "PrinterInfoFile.h"
#include "TempRoot.h"

namespace {

constexpr const char* kSerial = "AB12";
const std::string kOldText = "MODEL=TQ-58\nPRINTER_STATUS=1000\n";

std::string Read(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class InfoFileFaultTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    folder_ = root_.CacheFolder();
    if (mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=64k,mode=0777") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs on the cache folder (" << std::strerror(errno) << "); needs root";
    }
    mounted_ = true;
    ASSERT_EQ(WriteInfoFile(kSerial, kOldText.c_str()), 0);
    char path[512];
    ASSERT_EQ(GetInfoFilePath(kSerial, path, sizeof path), 0);
    file_ = path;
  }
  void TearDown() override
  {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  // Fills the tmpfs up to its last byte.
  void FillUp() const
  {
    std::ofstream filler(folder_ + "/filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) filler.flush();
  }
  long Entries() const { return std::distance(std::filesystem::directory_iterator(folder_), {}); }

  TempRoot root_;
  std::string folder_, file_;
  bool mounted_ = false;
};

TEST_F(InfoFileFaultTest, FullDiskKeepsTheOldFileAndLeavesNoTemporary)
{
  FillUp();
  const std::string newText = kOldText + "MEDIA_REMAIN=" + std::string(8000, '7') + "\n";
  EXPECT_EQ(WriteInfoFile(kSerial, newText.c_str()), -1);
  EXPECT_EQ(Read(file_), kOldText);
  EXPECT_EQ(Entries(), 2);  // the file and the filler
  // Room again: the next write goes through.
  std::filesystem::remove(folder_ + "/filler");
  EXPECT_EQ(WriteInfoFile(kSerial, newText.c_str()), 0);
  EXPECT_EQ(Read(file_), newText);
}

TEST_F(InfoFileFaultTest, ReadOnlyFolderKeepsTheOldFileUntilWritableAgain)
{
  ASSERT_EQ(mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  EXPECT_EQ(WriteInfoFile(kSerial, "PRINTER_STATUS=1100\n"), -1);
  EXPECT_EQ(Read(file_), kOldText);
  ASSERT_EQ(mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT, "size=64k,mode=0777"), 0);
  EXPECT_EQ(WriteInfoFile(kSerial, "PRINTER_STATUS=1100\n"), 0);
  EXPECT_EQ(Read(file_), "PRINTER_STATUS=1100\n");
}

TEST_F(InfoFileFaultTest, RemovedFolderIsMadeAgainOnTheNextWrite)
{
  ASSERT_EQ(umount2(folder_.c_str(), MNT_DETACH), 0);
  mounted_ = false;
  std::filesystem::remove_all(folder_);
  EXPECT_EQ(WriteInfoFile(kSerial, "PRINTER_STATUS=1000\n"), 0);
  EXPECT_EQ(Read(file_), "PRINTER_STATUS=1000\n");
}

}  // namespace
