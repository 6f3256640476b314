// The soak's own checks: the byte accounting must notice a lost, doubled or invented byte and a
// frame that does not follow from the buffer before it, and the memory check must notice a rise.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/comm_link.h"
#include "fake_serial_service.h"
#include "memory_watch.h"
#include "stream_account.h"

namespace vornel::soak {
namespace {

using Clock = StreamAccount::Clock;
using std::chrono::milliseconds;

// The real receive handler over a serial service in memory, watched as the soak watches the main
// window: after each receive notification.
class WatchedLink {
public:
    explicit WatchedLink(StreamAccount& account) : account_(account) {}

    void arrive(const std::string& chunk, Clock::time_point at) {
        comm_.waiting = chunk;
        link_.onComm();
        account_.observe(lastFrame_, link_.assembler().RxBuffer(), at);
    }
    // Chunks of `size` bytes.
    void arriveInPieces(const std::string& text, std::size_t size, Clock::time_point at) {
        for (std::size_t i = 0; i < text.size(); i += size) {
            arrive(text.substr(i, size), at);
        }
    }
    std::string& lastFrame() { return lastFrame_; }

private:
    StreamAccount& account_;
    testing::FakeSerialService comm_;
    std::string lastFrame_;
    CommLink link_{comm_, lastFrame_, [] {}};
};

const std::string kStream =
    "2,7]\r\n[12.3,45,6]\r\n\x01\x7fjunk[<rec><t>12.4</t><h>45</h><n>7</n></rec>]\r\n"
    "[12.5,46,8]\r\n[1234567890,,,,[12.6,46,9]\r\n";

class SoakAccounting : public ::testing::Test {
protected:
    Clock::time_point t0 = Clock::now();
    StreamAccount account{11520, 64};
    WatchedLink link{account};

    std::string failures() const {
        std::string all;
        for (const std::string& f : account.failures()) {
            all += f + "\n";
        }
        return all;
    }
};

TEST_F(SoakAccounting, AStreamReadWholeInAnyPiecesIsAccountedFor) {
    for (const std::size_t piece : {1U, 3U, 7U, 64U}) {
        StreamAccount fresh{11520, 64};
        WatchedLink watched{fresh};
        fresh.sessionStarted(t0);
        fresh.sent(kStream);
        watched.arriveInPieces(kStream, piece, t0);
        fresh.deviceGone(t0);
        EXPECT_TRUE(fresh.ok()) << "pieces of " << piece;
        EXPECT_EQ(fresh.bytesRead(), kStream.size());
        EXPECT_EQ(fresh.bytesLostAtDrops(), 0U);
        EXPECT_GE(fresh.frames(), 2U);
    }
}

TEST_F(SoakAccounting, BytesSentAfterTheyWereReadAreMatchedToo) {
    account.sessionStarted(t0);
    link.arriveInPieces(kStream, 5, t0);
    account.sent(kStream.substr(0, 10));
    account.sent(kStream.substr(10));
    account.deviceGone(t0);
    EXPECT_TRUE(account.ok()) << failures();
    EXPECT_EQ(account.bytesSent(), kStream.size());
}

TEST_F(SoakAccounting, ALostByteIsNoticed) {
    account.sessionStarted(t0);
    account.sent(kStream);
    std::string lost = kStream;
    lost.erase(40, 1);
    link.arriveInPieces(lost, 4, t0);
    account.deviceGone(t0);
    EXPECT_FALSE(account.ok());
}

TEST_F(SoakAccounting, ADoubledByteIsNoticed) {
    account.sessionStarted(t0);
    account.sent(kStream);
    std::string doubled = kStream;
    doubled.insert(25, 1, doubled[25]);
    link.arriveInPieces(doubled, 4, t0);
    account.deviceGone(t0);
    EXPECT_FALSE(account.ok());
}

TEST_F(SoakAccounting, BytesReadThatWereNeverSentAreNoticed) {
    account.sessionStarted(t0);
    account.sent("[1,2,3]\r\n");
    link.arrive("[1,2,3]\r\n[4", t0);
    account.deviceGone(t0);
    EXPECT_FALSE(account.ok());
}

TEST_F(SoakAccounting, AFrameThatDropsTheBufferBeforeItIsNoticed) {
    account.sessionStarted(t0);
    account.sent("[1]\r\n[2,3");
    link.arrive("[1]\r\n", t0);
    link.arrive("[2,3", t0);
    // A receive path that threw its buffer away would hand out a frame without it.
    link.lastFrame() = "[4]\r\n";
    account.observe(link.lastFrame(), "[", t0);
    EXPECT_FALSE(account.ok());
}

TEST_F(SoakAccounting, ABufferNotResetToAnOpeningBracketIsNoticed) {
    account.sessionStarted(t0);
    account.sent("[1]\r\n");
    account.observe("[1]\r\n", "", t0);
    EXPECT_FALSE(account.ok());
}

TEST_F(SoakAccounting, APartialRecordAtADropIsTheFrontOfTheNextFrame) {
    account.sessionStarted(t0);
    account.sent("[1]\r\n[2.");
    link.arrive("[1]\r\n", t0);
    link.arrive("[2.", t0);
    account.deviceGone(t0);
    account.sessionStarted(t0);
    account.sent("5]\r\n");
    link.arrive("5]\r\n", t0);
    account.deviceGone(t0);
    EXPECT_TRUE(account.ok()) << failures();
    EXPECT_EQ(link.lastFrame(), "[[2.5]\r\n");
    EXPECT_EQ(account.framesCarriedAcrossADrop(), 1);
    EXPECT_EQ(account.sessions(), 2);
}

TEST_F(SoakAccounting, TheEndOfWhatADeviceSentMayBeLostAtItsDrop) {
    account.sessionStarted(t0);
    account.sent("[1]\r\n[2]\r\n");
    link.arrive("[1]\r\n", t0);
    account.deviceGone(t0 + milliseconds(10));  // 115 bytes of line time, and 64 of slack
    account.sessionStarted(t0 + milliseconds(20));
    account.sent("[3]\r\n");
    link.arrive("[3]\r\n", t0 + milliseconds(20));
    account.deviceGone(t0 + milliseconds(20));
    EXPECT_TRUE(account.ok()) << failures();
    EXPECT_EQ(account.bytesLostAtDrops(), 5U);
    EXPECT_EQ(account.largestLossAtADrop(), 5U);
}

TEST_F(SoakAccounting, MoreLostAtADropThanTheLineCarriedSinceTheLastReadIsNoticed) {
    account.sessionStarted(t0);
    const std::string unread(500, '7');
    account.sent("[1]\r\n[" + unread);
    link.arrive("[1]\r\n[", t0);
    account.deviceGone(t0 + milliseconds(1));  // 11 bytes of line time, and 64 of slack
    EXPECT_FALSE(account.ok());
}

TEST_F(SoakAccounting, ReadingLaterThanSentInTheSameSessionIsNoLoss) {
    account.sessionStarted(t0);
    account.sent("[1]\r\n");
    account.sent("[2]\r\n");
    link.arrive("[1]\r\n[", t0);
    link.arrive("2]\r\n", t0);
    account.deviceGone(t0);
    EXPECT_TRUE(account.ok()) << failures();
    EXPECT_EQ(account.bytesLostAtDrops(), 0U);
    EXPECT_EQ(account.frames(), 2U);
}

std::vector<MemorySample> samples(const std::vector<std::uint64_t>& heap) {
    std::vector<MemorySample> out;
    for (std::size_t i = 0; i < heap.size(); ++i) {
        out.push_back({static_cast<double>(i), 0, heap[i]});
    }
    return out;
}

TEST(SoakMemory, GrowthCountsFromWhereStartUpEnded) {
    const Growth growth =
        growthAfter(samples({10, 50, 90, 95, 92, 97, 93}), 3, &MemorySample::heap);
    EXPECT_EQ(growth.settled, 90U);
    EXPECT_EQ(growth.highest, 97U);
    EXPECT_EQ(growth.last, 93U);
    EXPECT_EQ(growth.rise(), 7U);
}

TEST(SoakMemory, ASteadyClimbShowsAsRise) {
    std::vector<std::uint64_t> climbing;
    for (std::uint64_t i = 0; i < 40; ++i) {
        climbing.push_back(1000 + 10 * i);
    }
    EXPECT_EQ(growthAfter(samples(climbing), 10, &MemorySample::heap).rise(), 300U);
}

TEST(SoakMemory, FallingAfterStartUpIsNoRise) {
    EXPECT_EQ(growthAfter(samples({10, 100, 80, 70}), 2, &MemorySample::heap).rise(), 0U);
}

TEST(SoakMemory, TheSampleSeesThisProcess) {
    const MemorySample before = sampleMemory(0);
    std::vector<char> block(8 << 20, 1);
    const MemorySample during = sampleMemory(1);
    EXPECT_GE(during.heap, before.heap + block.size());
    if (residentSetIsMeaningful()) {
        EXPECT_GE(during.resident, before.resident + block.size() / 2);
    }
    EXPECT_EQ(block[block.size() - 1], 1);
}

}  // namespace
}  // namespace vornel::soak
