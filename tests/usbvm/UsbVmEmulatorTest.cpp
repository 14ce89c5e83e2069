// The emulator's gadget transport on the kernel: the program's --gadget and
// its plug and unplug commands, and unplugs while a host program holds the
// printer's interface.
#include <unistd.h>

#include "PhotoPrinterIF.h"
#include "Process.h"
#include "UsbVmFixture.h"

namespace {

TEST_F(UsbVmTest, EmulatorProgramPlugsAndUnplugsGadgets)
{
  const ProcessResult r =
      RunProcess({TQ58_EMULATOR_PATH, "--gadget", "dummy_udc.1", "p9", "--set", "serial=VMCLI1"},
                 "show p9\nunplug p9\nunplug p9\nplug p9 gadget=dummy_udc.1 serial=VMCLI2\nshow p9\nquit\n");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  // Each show comes once the host has configured the gadget: its device is open.
  const std::string shown =
      " status=0 media-size=150 media-class=1 media-initial=50 media-remain=50 "
      "total-count=0 prints=0 connections=1\nok\n";
  EXPECT_EQ(r.out, "ready\nprinter=p9 serial=VMCLI1" + shown +
                       "ok\nerror: no printer p9\nok\nprinter=p9 serial=VMCLI2" + shown + "ok\n");
  EXPECT_TRUE(WaitUntil([] { return GetHostInterface("VMCLI2").empty(); }, 10000));
  EXPECT_NE(access("/sys/kernel/config/usb_gadget/tq58-p9", F_OK), 0);  // the gadget is gone with the program
}

TEST_F(UsbVmTest, UnplugWhileAHostProgramHoldsTheInterface)
{
  for (int i = 0; i < 3; ++i) {
    Plug("p1", "VMHD01");
    HeldPrinter held;
    ASSERT_TRUE(OpenWithLibusb("VMHD01", &held));
    EXPECT_EQ(GetStatus(held.intf.get()), 0);
    ASSERT_TRUE(emulator_->Unplug("p1"));
    EXPECT_EQ(GetStatus(held.intf.get()), kStatusFailed);  // the host finds it gone
    held.Close();
    EXPECT_TRUE(WaitUntil([] { return GetHostInterface("VMHD01").empty(); }, 10000));
  }
  // The kernel is none the worse: the next printer works.
  Plug("p1", "VMHD02");
  HeldPrinter held;
  ASSERT_TRUE(OpenWithLibusb("VMHD02", &held));
  EXPECT_EQ(GetStatus(held.intf.get()), 0);
}

}  // namespace
