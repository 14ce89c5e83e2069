// Our real daemon and backend on the kernel's own USB stack, inside the
// virtual machine that tests/usbvm/run-vm.sh boots: emulated TQ-58 printers
// are USB gadgets (configfs, the printer function) on dummy_hcd's two
// controllers, so the host side is a real USB printer with usblp bound to it,
// and the programs find and use it through libusb. A private cupsd takes the
// daemon's queues.
//
// Anywhere else every case skips: making USB gadgets is for that guest only.
// TQ58_USBVM_INFOTQ58 and TQ58_USBVM_BACKEND may name other builds of the
// daemon and the backend than this build's.
#ifndef TQ58_TEST_USBVMFIXTURE_H
#define TQ58_TEST_USBVMFIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "CupsdFixture.h"
#include "DaemonTestUtil.h"
#include "Emulator.h"
#include "GuestProcess.h"
#include "TempRoot.h"
#include "UsbTransport.h"

// True inside the test VM: TQ58_USBVM_GUEST is set and dummy_hcd's controllers exist.
bool IsUsbVmGuest();

// The private cupsd shared by every case of the program, started at the first
// call with the model's PPD (ppdFile, copied) in its model folder.
PrivateCupsd* GetVmCupsd(const std::string& ppdFile = std::string());

// The filter's packets for one 4x6 print of a test picture, made once by the
// real filter from a raster (blocks the first time); empty (after a test
// failure) when it cannot be made.
const std::string& GetFilterStream();

// The packets of a stream as "COMMAND SUBCOMMAND" (or "COMMAND"), and its
// print payloads by packet name ("IMAGE YPLANE" ...).
std::vector<std::string> GetPacketNames(const std::string& stream);
std::string GetPayload(const std::string& stream, const std::string& name);

// A printer opened and claimed through our libusb adapter, as the programs do it.
struct HeldPrinter {
  std::unique_ptr<UsbBus> bus;
  std::unique_ptr<UsbDevice> device;
  std::unique_ptr<UsbInterface> intf;

  // Releases the claim, then the device, then the bus.
  void Close()
  {
    intf.reset();
    device.reset();
    bus.reset();
  }
};

// Opens the attached TQ-58 whose serial number query answers serial. Blocks.
bool OpenWithLibusb(const std::string& serial, HeldPrinter* held);

class UsbVmTest : public ::testing::Test {
protected:
  // Device controllers: the printer "p1" goes on the first, "p2" on the second.
  static constexpr const char* kUdc[2] = {"dummy_udc.0", "dummy_udc.1"};

  void SetUp() override;
  void TearDown() override;

  // Plugs in printer p1 or p2 with serial (and the rest of state as given).
  // Blocks until the host has configured it.
  void Plug(const std::string& name, const std::string& serial, EmulatedPrinterState state = EmulatedPrinterState());

  // The host side of the printer with serial: its interface's name in sysfs
  // ("1-1:1.0"), empty while it is not enumerated. Reads sysfs.
  static std::string GetHostInterface(const std::string& serial);
  // Whether usblp holds that interface. Reads sysfs.
  static bool IsUsblpBound(const std::string& serial);

  // Starts infotq58 (this build's, or TQ58_USBVM_INFOTQ58). Does not block.
  void StartDaemon();
  std::string GetDaemonOutput() const;
  // Starts the backend for a job of jobFile to the printer with serial. Does not block.
  void StartBackend(GuestProcess* backend, int jobId, const std::string& serial, const std::string& jobFile);
  std::string GetBackendOutput(int jobId) const;
  // Writes a file below the test's root; returns its full path.
  std::string WriteFile(const std::string& relativePath, const std::string& text) const;

  std::string GetInfoFile(const std::string& serial) const;
  std::string GetInfo(const std::string& serial, const std::string& key) const;
  // Waits up to ms for the information file's key to hold value. Blocks.
  bool WaitForInfo(const std::string& serial, const std::string& key, const std::string& value, int ms) const;
  bool IsOffline(const std::string& serial) const;
  std::string GetMarker(const std::string& serial, const std::string& suffix) const;
  void Touch(const std::string& serial, const std::string& suffix) const;
  // Waits up to ms until the printer's command log holds entry at or after position from. Blocks.
  bool WaitForCommand(const std::string& name, const std::string& entry, int ms, size_t from = 0) const;

  std::unique_ptr<TempRoot> root_;
  std::string home_;
  std::unique_ptr<Emulator> emulator_;
  GuestProcess daemon_;
};

#endif
