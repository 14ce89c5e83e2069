// A temporary emulated USB bus with the emulator's printer "p1" attached and
// its printer interface opened, for tests of the exchange and the queries.
// Transfer time-outs on this bus are cut to kShortTimeoutMs, so a reply that
// never comes costs a fraction of a second.
#ifndef TQ58_TEST_EMULATEDBUSFIXTURE_H
#define TQ58_TEST_EMULATEDBUSFIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "EmulatedBus.h"
#include "UsbEmulated.h"
#include "UsbTransport.h"
#include "UsbIdsTQ58.h"

class EmulatedBusTest : public ::testing::Test {
protected:
  static constexpr unsigned kShortTimeoutMs = 300;

  void SetUp() override
  {
    ASSERT_TRUE(emulator_->Plug("p1", EmulatedPrinterState()));
    EmulatedBusOptions options;
    options.maxTimeoutMs = kShortTimeoutMs;
    usb_ = TQ58_OpenEmulatedBus(bus_, options);
    intf_ = OpenPrinter("p1");
    ASSERT_NE(intf_, nullptr);
  }

  void TearDown() override
  {
    intf_.reset();
    emulator_.Stop();
  }

  // The printer interface of the emulated printer name, or null.
  std::unique_ptr<UsbInterface> OpenPrinter(const std::string& name)
  {
    std::vector<UsbDeviceRef> devices;
    usb_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
    for (const UsbDeviceRef& d : devices) {
      if (d.id.rfind(name + "#", 0) != 0) continue;
      std::unique_ptr<UsbDevice> device;
      std::unique_ptr<UsbInterface> intf;
      if (usb_->OpenDevice(d, &device) == kUsbOk && device->OpenInterface(0, &intf) == kUsbOk) return intf;
    }
    return nullptr;
  }

  // Replaces one reply's data of p1.
  void SetReply(const std::string& key, const std::string& data)
  {
    ASSERT_TRUE(emulator_->Update("p1", [&](EmulatedPrinterState& s) { s.replyOverride[key] = data; }));
  }

  void InjectFault(EmulatorFault kind, const std::string& query = "", unsigned delayMs = 0, const std::string& raw = "")
  {
    EmulatorFaultSpec f;
    f.kind = kind;
    f.query = query;
    f.delayMs = delayMs;
    f.raw = raw;
    ASSERT_TRUE(emulator_->InjectFault("p1", f));
  }

  EmulatedBus emulator_;
  const std::string bus_ = emulator_.GetFolder();
  std::unique_ptr<UsbBus> usb_;
  std::unique_ptr<UsbInterface> intf_;
};

// Forwards to a real interface and records every bulk transfer's size and time-out.
class RecordingInterface final : public UsbInterface {
public:
  struct Transfer {
    bool write;
    int size;
    unsigned timeoutMs;
  };
  explicit RecordingInterface(UsbInterface* real) : real_(real) {}
  UsbStatus BulkWrite(const unsigned char* data, int size, unsigned timeoutMs, int* transferred) override
  {
    transfers.push_back({true, size, timeoutMs});
    return real_->BulkWrite(data, size, timeoutMs, transferred);
  }
  UsbStatus BulkRead(unsigned char* data, int size, unsigned timeoutMs, int* transferred) override
  {
    transfers.push_back({false, size, timeoutMs});
    return real_->BulkRead(data, size, timeoutMs, transferred);
  }
  UsbStatus ControlIn(uint8_t t, uint8_t r, uint16_t v, uint16_t i, unsigned char* d, uint16_t l, unsigned ms,
                      int* n) override
  {
    return real_->ControlIn(t, r, v, i, d, l, ms, n);
  }
  UsbStatus GetConfigurationValue(int* value) override { return real_->GetConfigurationValue(value); }
  UsbStatus GetInterfaceNumber(int* value) override { return real_->GetInterfaceNumber(value); }

  std::vector<Transfer> transfers;

private:
  UsbInterface* real_;
};

#endif
