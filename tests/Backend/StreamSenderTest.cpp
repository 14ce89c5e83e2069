// The stream to the printer: every byte in order, time-outs ridden out, and
// after an unplug the clock packet and the print under way sent again whole,
// finished prints never again.
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "BackendTestUtil.h"
#include "StreamSender.h"

namespace {

// A printer's bulk OUT pipe that takes bytes until it is "unplugged" at
// failAt bytes, and may take only part of a write before a time-out.
class FakePipe final : public UsbInterface {
public:
  explicit FakePipe(std::string* received, size_t failAt = SIZE_MAX, int timeoutEvery = 0)
      : received_(received), failAt_(failAt), timeoutEvery_(timeoutEvery)
  {}
  ~FakePipe() override
  {
    if (releasedAt != nullptr) releasedAt->push_back(received_->size());
  }
  UsbStatus BulkWrite(const unsigned char* data, int size, unsigned, int* transferred) override
  {
    *transferred = 0;
    if (stalledWrites > 0) {
      --stalledWrites;
      return kUsbTimeout;  // a printer that takes nothing (busy, or waiting for media)
    }
    if (received_->size() >= failAt_) return kUsbNoDevice;
    int n = size;
    const bool timeOut = timeoutEvery_ > 0 && ++calls_ % timeoutEvery_ == 0;
    if (timeOut) n = size / 2;
    n = static_cast<int>(std::min<size_t>(n, failAt_ - received_->size()));
    received_->append(reinterpret_cast<const char*>(data), static_cast<size_t>(n));
    *transferred = n;
    if (n < size) return timeOut ? kUsbTimeout : kUsbNoDevice;
    return kUsbOk;
  }
  UsbStatus BulkRead(unsigned char*, int, unsigned, int*) override { return kUsbTimeout; }
  UsbStatus ControlIn(uint8_t, uint8_t, uint16_t, uint16_t, unsigned char*, uint16_t, unsigned, int*) override
  {
    return kUsbRefused;
  }
  UsbStatus GetConfigurationValue(int* v) override { return *v = 1, kUsbOk; }
  UsbStatus GetInterfaceNumber(int* v) override { return *v = 0, kUsbOk; }

  int stalledWrites = 0;                      // the first writes time out with nothing taken
  std::vector<size_t>* releasedAt = nullptr;  // gets the bytes received when the claim ends

private:
  std::string* received_;
  size_t failAt_;
  int timeoutEvery_;
  int calls_ = 0;
};

StreamSender::Result SendInPieces(StreamSender* sender, const std::string& stream, size_t piece)
{
  for (size_t at = 0; at < stream.size(); at += piece) {
    const size_t n = std::min(piece, stream.size() - at);
    const StreamSender::Result r = sender->Send(reinterpret_cast<const unsigned char*>(stream.data() + at), n);
    if (r != StreamSender::Result::kOk) return r;
  }
  return StreamSender::Result::kOk;
}

TEST(StreamSender, SendsEveryByteInOrderAndCountsPrints)
{
  std::string received;
  PrinterHandle printer;
  printer.intf = std::make_unique<FakePipe>(&received, SIZE_MAX, 3);  // every third write times out halfway
  StreamSender sender(&printer, nullptr, BackendConfig(), nullptr);
  const std::string stream = JobStream(3, 70000);
  EXPECT_EQ(SendInPieces(&sender, stream, 65536), StreamSender::Result::kOk);
  EXPECT_EQ(received, WithQueries(stream));
  EXPECT_EQ(sender.GetPrintsSent(), 3);
}

TEST(StreamSender, AfterAReconnectTheClockAndThePrintUnderWayGoOutAgainWhole)
{
  const std::string clock = Packet("CNTRL", "SET_SYS_TIME", "20240101120000");
  const std::string print1 = PrintPackets(1, 5000), print2 = PrintPackets(2, 5000), print3 = PrintPackets(3, 5000);
  const std::string stream = clock + print1 + print2 + print3;
  std::string first, second;
  PrinterHandle printer;
  // Unplugged in the middle of print 2's planes.
  printer.intf = std::make_unique<FakePipe>(&first, clock.size() + print1.size() + 7000);
  int reconnects = 0;
  StreamSender sender(
      &printer,
      [&](PrinterHandle* p) {
        ++reconnects;
        p->intf = std::make_unique<FakePipe>(&second);
        return true;
      },
      BackendConfig(), nullptr);
  EXPECT_EQ(SendInPieces(&sender, stream, 1000), StreamSender::Result::kOk);
  EXPECT_EQ(reconnects, 1);
  EXPECT_EQ(first, WithQueries(stream).substr(0, first.size()));
  EXPECT_EQ(second, WithQueries(clock + print2 + print3));  // print 1 is not repeated
  EXPECT_EQ(sender.GetPrintsSent(), 3);
}

TEST(StreamSender, APrintIsSentAgainUnlessThePrinterTookItsLastByte)
{
  const std::string clock = Packet("CNTRL", "SET_SYS_TIME", "20240101120000");
  const std::string print1 = PrintPackets(1, 100), print2 = PrintPackets(2, 100);
  const size_t end1 = clock.size() + print1.size();  // print 1's CNTRL START taken whole
  // Unplugged in the clock packet, within CNTRL START, right after it (before
  // the STATUS query), and after the query (before its answer).
  for (size_t failAt : {size_t{10}, end1 - 5, end1, end1 + 32}) {
    std::string first, second;
    PrinterHandle printer;
    printer.intf = std::make_unique<FakePipe>(&first, failAt);
    std::vector<int> taken;
    StreamSender sender(
        &printer,
        [&](PrinterHandle* p) {
          p->intf = std::make_unique<FakePipe>(&second);
          return true;
        },
        BackendConfig(), nullptr, nullptr, [&](int prints, int) { taken.push_back(prints); });
    EXPECT_EQ(SendInPieces(&sender, clock + print1 + print2, 64), StreamSender::Result::kOk);
    const bool tookPrint1 = failAt >= end1;
    EXPECT_EQ(second, WithQueries(tookPrint1 ? clock + print2 : clock + print1 + print2)) << failAt;
    EXPECT_EQ(taken, (std::vector<int>{1, 2})) << failAt;
  }
}

TEST(StreamSender, APrinterThatDoesNotComeBackOrAPrintTooLargeToKeepIsLost)
{
  const std::string stream = JobStream(1, 5000);
  std::string received, again;
  PrinterHandle printer;
  printer.intf = std::make_unique<FakePipe>(&received, 2000);
  StreamSender gone(
      &printer, [](PrinterHandle*) { return false; }, BackendConfig(), nullptr);
  EXPECT_EQ(SendInPieces(&gone, stream, 4096), StreamSender::Result::kLost);

  BackendConfig small;
  small.maxResendBytes = 1000;
  received.clear();
  printer.intf = std::make_unique<FakePipe>(&received, 4000);
  int reconnects = 0;
  StreamSender tooLarge(
      &printer,
      [&](PrinterHandle* p) {
        ++reconnects;
        p->intf = std::make_unique<FakePipe>(&again);
        return true;
      },
      small, nullptr);
  EXPECT_EQ(SendInPieces(&tooLarge, stream, 4096), StreamSender::Result::kLost);
  EXPECT_EQ(reconnects, 0);  // half a print must not go out as if whole
}

TEST(StreamSender, CancelStopsBeforeTheNextWrite)
{
  std::string received;
  PrinterHandle printer;
  printer.intf = std::make_unique<FakePipe>(&received);
  volatile sig_atomic_t cancel = 0;
  StreamSender sender(&printer, nullptr, BackendConfig(), &cancel);
  const std::string stream = JobStream(2, 1000);
  ASSERT_EQ(SendInPieces(&sender, stream.substr(0, 500), 500), StreamSender::Result::kOk);
  cancel = 1;
  EXPECT_EQ(SendInPieces(&sender, stream.substr(500), 500), StreamSender::Result::kCanceled);
  EXPECT_EQ(received, stream.substr(0, 500));
}

TEST(StreamSender, EachCopyOfAJobFileStartsANewStream)
{
  std::string first, second;
  PrinterHandle printer;
  const std::string copy = JobStream(1, 300);
  // Unplugged during the second copy's clock packet.
  printer.intf = std::make_unique<FakePipe>(&first, WithQueries(copy).size() + 20);
  StreamSender sender(
      &printer,
      [&](PrinterHandle* p) {
        p->intf = std::make_unique<FakePipe>(&second);
        return true;
      },
      BackendConfig(), nullptr);
  ASSERT_EQ(SendInPieces(&sender, copy, 100), StreamSender::Result::kOk);
  sender.StartStream();
  ASSERT_EQ(SendInPieces(&sender, copy, 100), StreamSender::Result::kOk);
  EXPECT_EQ(second, WithQueries(copy));
  EXPECT_EQ(sender.GetPrintsSent(), 2);
}

}  // namespace

namespace {

// The printer on a claim of its own per print, as the backend shares it with
// the status daemon: claimed for a print's first bytes, released once the
// print's STATUS answer is in.
class ClaimRecorder {
public:
  explicit ClaimRecorder(std::string* received) : received_(received) {}
  // stalls[i]: writes the printer of claim i takes nothing of.
  StreamSender::Claim Claim(std::vector<int> stalls = {})
  {
    return [this, stalls](PrinterHandle* p) {
      claimedAt.push_back(received_->size());
      auto pipe = std::make_unique<FakePipe>(received_);
      pipe->releasedAt = &releasedAt;
      if (claimedAt.size() <= stalls.size()) pipe->stalledWrites = stalls[claimedAt.size() - 1];
      p->intf = std::move(pipe);
      return kUsbOk;
    };
  }
  std::vector<size_t> claimedAt, releasedAt;

private:
  std::string* received_;
};

TEST(StreamSender, EachPrintGoesOutOnAClaimOfItsOwn)
{
  const std::string clock = Packet("CNTRL", "SET_SYS_TIME", "20240101120000");
  const std::string query = Packet("STATUS", nullptr);
  const size_t p1 = PrintPackets(1, 3000).size(), p2 = PrintPackets(2, 3000).size();
  const size_t end1 = clock.size() + p1 + query.size(), end2 = end1 + p2 + query.size();
  std::string received;
  ClaimRecorder claims(&received);
  PrinterHandle printer;  // left free: the first print claims it
  StreamSender sender(&printer, nullptr, BackendConfig(), nullptr, claims.Claim());
  const std::string stream = JobStream(3, 3000);
  EXPECT_EQ(SendInPieces(&sender, stream, 700), StreamSender::Result::kOk);
  EXPECT_EQ(received, WithQueries(stream));
  // The clock packet goes with the first print; each claim ends with its print's answer.
  EXPECT_EQ(claims.claimedAt, (std::vector<size_t>{0, end1, end2}));
  EXPECT_EQ(claims.releasedAt, (std::vector<size_t>{end1, end2, received.size()}));
  EXPECT_EQ(printer.intf, nullptr);
  EXPECT_EQ(sender.GetPrintsSent(), 3);
}

TEST(StreamSender, APrinterThatTakesNothingOfAPrintIsLeftFreeUntilItDoes)
{
  std::string received;
  ClaimRecorder claims(&received);
  PrinterHandle printer;
  // Busy at the start of print 2 for two claims.
  StreamSender sender(&printer, nullptr, BackendConfig(), nullptr, claims.Claim({0, 1, 1, 0}));
  const std::string stream = JobStream(2, 3000);
  EXPECT_EQ(SendInPieces(&sender, stream, 1000), StreamSender::Result::kOk);
  EXPECT_EQ(received, WithQueries(stream));
  ASSERT_EQ(claims.claimedAt.size(), 4u);
  EXPECT_EQ(claims.claimedAt[1], claims.claimedAt[3]);  // nothing went out on the busy claims
  EXPECT_EQ(claims.releasedAt.size(), 4u);

  // A write that times out halfway within a print keeps the claim.
  std::string partly;
  PrinterHandle held;
  held.intf = std::make_unique<FakePipe>(&partly, SIZE_MAX, 2);
  int claimed = 0;
  StreamSender keeps(&held, nullptr, BackendConfig(), nullptr, [&](PrinterHandle* p) {
    ++claimed;
    p->intf = std::make_unique<FakePipe>(&partly, SIZE_MAX, 2);
    return kUsbOk;
  });
  EXPECT_EQ(SendInPieces(&keeps, JobStream(1, 200000), 65536), StreamSender::Result::kOk);
  EXPECT_EQ(claimed, 0);
  EXPECT_EQ(partly, WithQueries(JobStream(1, 200000)));
}

TEST(StreamSender, AClaimThatCannotBeHadCountsAsAPrinterGone)
{
  std::string received;
  PrinterHandle printer;
  int reconnects = 0, attempts = 0;
  StreamSender sender(
      &printer,
      [&](PrinterHandle* p) {
        ++reconnects;
        p->intf = std::make_unique<FakePipe>(&received);
        return true;
      },
      BackendConfig(), nullptr,
      [&](PrinterHandle* p) {
        if (++attempts == 2) return kUsbRefused;  // print 2's claim, refused past the claim wait
        p->intf = std::make_unique<FakePipe>(&received);
        return kUsbOk;
      });
  EXPECT_EQ(SendInPieces(&sender, JobStream(2, 1000), 500), StreamSender::Result::kOk);
  EXPECT_EQ(reconnects, 1);
  const std::string clock = Packet("CNTRL", "SET_SYS_TIME", "20240101120000");
  EXPECT_EQ(received, WithQueries(clock + PrintPackets(1, 1000) + clock + PrintPackets(2, 1000)));
  EXPECT_EQ(sender.GetPrintsSent(), 2);
}

}  // namespace
