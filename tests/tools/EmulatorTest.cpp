#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "EmulatedBusFixture.h"
#include "EmulatorCommands.h"
#include "PhotoPrinterIF.h"
#include "TextUtil.h"
#include "UsbExchange.h"
#include "UsbIdsTQ58.h"

namespace {

// An 8-bit BMP plane of width x 2 rows: the bottom row holds bottom, the top row top.
std::string MakePlane(int width, unsigned char bottom, unsigned char top)
{
  const int stride = (width * 8 + 31) / 32 * 4;
  const int size = 1078 + stride * 2;
  std::string bmp(static_cast<size_t>(size), '\0');
  auto* p = reinterpret_cast<unsigned char*>(bmp.data());
  p[0] = 'B';
  p[1] = 'M';
  _StoreLE4(p + 2, static_cast<uint32_t>(size));
  _StoreLE4(p + 10, 1078);
  _StoreLE4(p + 14, 40);
  _StoreLE4(p + 18, static_cast<uint32_t>(width));
  _StoreLE4(p + 22, 2);
  _StoreLE2(p + 26, 1);
  _StoreLE2(p + 28, 8);
  for (int i = 0; i < 256; ++i) p[54 + 4 * i] = p[55 + 4 * i] = p[56 + 4 * i] = static_cast<unsigned char>(i);
  std::memset(p + 1078, bottom, static_cast<size_t>(stride));
  std::memset(p + 1078 + stride, top, static_cast<size_t>(stride));
  return bmp;
}

class EmulatorTest : public EmulatedBusTest {
protected:
  void Send(const char* name, const char* sub, const std::string& payload = std::string())
  {
    DeviceCmd packet;
    ASSERT_EQ(packet.MakeCmd(name, sub, static_cast<int>(payload.size()), payload.data()), 0);
    ASSERT_EQ(deviceWrite(intf_.get(), packet), 0);
    packet.Free();
  }
  void SendPrint()
  {
    Send("CNTRL", "OVERCOAT", "00000000");
    Send("IMAGE", "MULTICUT", "00000048");
    Send("IMAGE", "YPLANE", MakePlane(4, 10, 11));
    Send("IMAGE", "MPLANE", MakePlane(4, 20, 21));
    Send("IMAGE", "CPLANE", MakePlane(4, 30, 31));
    Send("CNTRL", "START");
  }
  std::string Query(long (*query)(UsbInterface*, char*, size_t))
  {
    char text[64];
    return query(intf_.get(), text, sizeof text) < 0 ? "(failed)" : text;
  }
};

TEST_F(EmulatorTest, AttachedPrinterIsAFolderWithDeviceFileAndSocket)
{
  std::ifstream in(bus_ + "/p1/device");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "idVendor=" + std::to_string(kTQ58UsbVendorId) +
                            "\nidProduct=12\nconfiguration=1\ninterface=0\n"
                            "device_id=MFG:Pellori;CMD:TQ58;MDL:TQ-58;CLS:PRINTER;\n");
  struct stat st;
  ASSERT_EQ(lstat((bus_ + "/p1/bulk").c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  std::string error;
  EXPECT_FALSE(emulator_->Plug("p1", EmulatedPrinterState(), &error));
  EXPECT_FALSE(emulator_->Plug("../x", EmulatedPrinterState(), &error));
  ASSERT_TRUE(emulator_->Unplug("p1"));
  EXPECT_FALSE(std::filesystem::exists(bus_ + "/p1"));
  EXPECT_FALSE(emulator_->Unplug("p1"));
}

TEST_F(EmulatorTest, PrintsLowerMediaAndRaiseTheCounter)
{
  SendPrint();
  SendPrint();
  // The answer comes after the printer took the packets sent before the query.
  EXPECT_EQ(Query(GetMediaRemain), "000000048");
  EXPECT_EQ(Query(GetTotalCount), "0000000002");
  EXPECT_EQ(Query(GetMediaInitial), "000000050");
  ASSERT_EQ(emulator_->GetPrintCount("p1"), 2);
  const auto prints = emulator_->GetPrints("p1");
  EXPECT_EQ(prints[1].number, 2);
  EXPECT_EQ(prints[1].multiCut, "00000048");
  EXPECT_EQ(prints[1].planes[2], MakePlane(4, 30, 31));
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.mediaRemain = 0; }));
  SendPrint();
  EXPECT_EQ(Query(GetMediaRemain), "000000000");
}

TEST_F(EmulatorTest, SavedPrintHasItsPlanesAndAPicture)
{
  const std::string folder = bus_ + "/prints";
  ASSERT_TRUE(emulator_->Update("p1", [&](EmulatedPrinterState& s) {
    s.saveFolder = folder;
    s.savePng = true;
  }));
  SendPrint();
  EXPECT_EQ(GetStatus(intf_.get()), 0);
  const auto prints = emulator_->GetPrints("p1");
  ASSERT_EQ(prints.size(), 1u);
  EXPECT_EQ(prints[0].files.size(), 4u);
  EXPECT_TRUE(std::filesystem::exists(folder + "/p1-print-0001-Y.bmp"));
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_file(&image, (folder + "/p1-print-0001.png").c_str()), 0);
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_NE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr), 0);
  EXPECT_EQ(image.width, 4u);
  EXPECT_EQ(image.height, 2u);
  // Top row first: the planes' second stored rows; red from cyan, blue from yellow.
  EXPECT_EQ(std::vector<unsigned char>(rgb.begin(), rgb.begin() + 3), (std::vector<unsigned char>{31, 21, 11}));
  EXPECT_EQ(std::vector<unsigned char>(rgb.end() - 3, rgb.end()), (std::vector<unsigned char>{30, 20, 10}));
}

TEST_F(EmulatorTest, FaultsSpoilOnlyTheirQueryAndCount)
{
  EmulatorFaultSpec f;
  f.kind = EmulatorFault::ZeroLength;
  f.query = "FVER";
  f.count = 2;
  ASSERT_TRUE(emulator_->InjectFault("p1", f));
  EXPECT_EQ(GetStatus(intf_.get()), 0);
  EXPECT_EQ(Query(GetFirmVersion), "(failed)");
  EXPECT_EQ(Query(GetFirmVersion), "(failed)");
  EXPECT_EQ(Query(GetFirmVersion), "1.00");
  f.count = -1;
  ASSERT_TRUE(emulator_->InjectFault("p1", f));
  EXPECT_EQ(Query(GetFirmVersion), "(failed)");
  EXPECT_EQ(Query(GetFirmVersion), "(failed)");
  ASSERT_TRUE(emulator_->ClearFaults("p1"));
  EXPECT_EQ(Query(GetFirmVersion), "1.00");
}

TEST_F(EmulatorTest, UnplugFaultOnAPrintPacketFiresOnceThatPacketCame)
{
  EmulatorFaultSpec f;
  f.kind = EmulatorFault::Unplug;
  f.query = "MPLANE";
  ASSERT_TRUE(emulator_->InjectFault("p1", f));
  Send("IMAGE", "MULTICUT", "00000048");
  Send("IMAGE", "YPLANE", MakePlane(4, 10, 11));
  EXPECT_EQ(GetStatus(intf_.get()), 0);  // still there after the packets before it
  Send("IMAGE", "MPLANE", MakePlane(4, 20, 21));
  EXPECT_EQ(GetStatus(intf_.get()), kStatusFailed);
  EXPECT_FALSE(emulator_->IsPlugged("p1"));
  EXPECT_FALSE(std::filesystem::exists(bus_ + "/p1"));
  // Plugged in again, it has the print in progress no more and its fault is used up.
  ASSERT_TRUE(emulator_->Plug("p1", EmulatedPrinterState()));
  intf_ = OpenPrinter("p1");
  ASSERT_NE(intf_, nullptr);
  SendPrint();
  EXPECT_EQ(GetStatus(intf_.get()), 0);
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 1);
}

TEST_F(EmulatorTest, GadgetThatCannotBeMadeIsReportedAndLeavesNothing)
{
  EmulatorGadgetPort port;
  port.udc = "dummy_udc.0";
  port.configfs = bus_ + "/no-configfs";
  std::string error;
  EXPECT_FALSE(emulator_->PlugGadget("g1", EmulatedPrinterState(), port, &error));
  EXPECT_NE(error.find("no-configfs"), std::string::npos) << error;
  EXPECT_FALSE(emulator_->IsPlugged("g1"));
  EXPECT_FALSE(std::filesystem::exists(port.configfs));
  bool quit = false;
  EXPECT_EQ(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "plug g1 gadget=", &quit).rfind("error", 0), 0u);
}

TEST_F(EmulatorTest, PrintersOnOneBusAreIndependent)
{
  EmulatedPrinterState second;
  second.serial = "SECOND";
  second.status = 1000;
  ASSERT_TRUE(emulator_->Plug("p2", second));
  auto other = OpenPrinter("p2");
  ASSERT_NE(other, nullptr);
  char serial[64];
  EXPECT_EQ(GetSerialNo(other.get(), serial, sizeof serial), 6);
  EXPECT_EQ(GetStatus(other.get()), 1000);
  EXPECT_EQ(GetStatus(intf_.get()), 0);
  ASSERT_TRUE(emulator_->Unplug("p2"));
  EXPECT_EQ(GetStatus(other.get()), kStatusFailed);
  EXPECT_EQ(GetStatus(intf_.get()), 0);
}

TEST_F(EmulatorTest, TextCommandsChangeTheState)
{
  bool quit = false;
  EXPECT_EQ(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "set p1 serial=AB 12", &quit), "ok");
  EXPECT_EQ(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "set p1 reply.FVER=2.0\\r", &quit), "ok");
  EXPECT_EQ(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "fault p1 slow query=STATUS delay=10", &quit), "ok");
  EXPECT_EQ(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "set p1 status=abc", &quit).rfind("error", 0), 0u);
  EXPECT_EQ(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "set p1 colour=red", &quit).rfind("error", 0), 0u);
  EXPECT_EQ(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "fault p1 lightning", &quit).rfind("error", 0), 0u);
  EXPECT_EQ(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "unplug p9", &quit).rfind("error", 0), 0u);
  EXPECT_EQ(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "plug p3 status=1000", &quit), "ok");
  EXPECT_FALSE(quit);
  char serial[64];
  EXPECT_EQ(GetSerialNo(intf_.get(), serial, sizeof serial), 7);
  EXPECT_EQ(Query(GetFirmVersion), "2.0");
  EXPECT_EQ(GetStatus(intf_.get()), 0);
  EXPECT_NE(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "show p3", &quit).find("status=1000"), std::string::npos);
  EXPECT_EQ(TQ58_EmulatorRunCommand(emulator_.GetEmulator(), "quit", &quit), "ok");
  EXPECT_TRUE(quit);
}

}  // namespace
