#include "capture/frame_assembler.h"

#include <gtest/gtest.h>

#include "tests/kit/literal_assembler.h"

#include <random>
#include <string>
#include <vector>

namespace vornel {
namespace {

using namespace std::string_literals;

using testing::LiteralAssembler;

// Feeds chunks through an assembler as the receive handler does and lists the frames.
template <typename Assembler>
std::vector<std::string> framesOf(Assembler& assembler, const std::vector<std::string>& chunks) {
    std::vector<std::string> frames;
    for (const std::string& chunk : chunks) {
        assembler.Append(chunk);
        TakenFrame frame = assembler.TakeFrame();
        if (frame.completed) {
            frames.push_back(frame.text);
        } else {
            EXPECT_TRUE(frame.text.empty());
        }
    }
    return frames;
}

TEST(FrameAssembler, FollowsTheWorkedSequence) {
    FrameAssembler assembler;
    std::string lastFrame;
    struct Step {
        std::string chunk, bufferAfter, lastFrameAfter;
    };
    const std::vector<Step> steps = {
        {"xx[12.3,", "xx[12.3,", ""},
        {"45]\r\n[7.", "[", "xx[12.3,45]\r\n[7."},
        {"8,9", "[8,9", "xx[12.3,45]\r\n[7."},
        {"]\r\n", "[", "[8,9]\r\n"},
        {"", "[", "[8,9]\r\n"},
    };
    for (const Step& step : steps) {
        assembler.Append(step.chunk);
        TakenFrame frame = assembler.TakeFrame();
        if (frame.completed) {
            lastFrame = frame.text;
        }
        EXPECT_EQ(assembler.RxBuffer(), step.bufferAfter) << "after chunk " << step.chunk;
        EXPECT_EQ(lastFrame, step.lastFrameAfter) << "after chunk " << step.chunk;
    }
}

TEST(FrameAssembler, RoadOfOneRecordKeepsTheDoubledOpeningBracket) {
    FrameAssembler assembler;
    EXPECT_EQ(framesOf(assembler, {"[12.3,4", "5,6]\r\n", "[7,8]\r\n"}),
              (std::vector<std::string>{"[12.3,45,6]\r\n", "[[7,8]\r\n"}));
}

TEST(FrameAssembler, BracketsInSeparateChunksOrInReverseOrder) {
    {
        FrameAssembler assembler;
        EXPECT_EQ(framesOf(assembler, {"[", "]"}), std::vector<std::string>{"[]"});
        EXPECT_EQ(assembler.RxBuffer(), "[");
    }
    {
        FrameAssembler assembler;  // "]" before "[" in one chunk completes at once
        EXPECT_EQ(framesOf(assembler, {"5]x[6"}), std::vector<std::string>{"5]x[6"});
    }
    {
        FrameAssembler assembler;  // capture starting inside a record: kept until a "[" comes
        EXPECT_TRUE(framesOf(assembler, {"3,4]", "\r\n", "junk"}).empty());
        EXPECT_EQ(assembler.RxBuffer(), "3,4]\r\njunk");
        EXPECT_EQ(framesOf(assembler, {"[1"}), std::vector<std::string>{"3,4]\r\njunk[1"});
    }
    {
        FrameAssembler assembler;  // only "[" grows the buffer, text before it is kept
        EXPECT_TRUE(framesOf(assembler, {"noise [1,", "2,[3"}).empty());
        EXPECT_EQ(assembler.RxBuffer(), "noise [1,2,[3");
    }
}

TEST(FrameAssembler, AfterAFrameALoneClosingBracketCompletesTheNext) {
    FrameAssembler assembler;
    framesOf(assembler, {"[a]"});
    EXPECT_EQ(framesOf(assembler, {"]"}), std::vector<std::string>{"[]"});
    EXPECT_EQ(framesOf(assembler, {"x]y"}), std::vector<std::string>{"[x]y"});
}

TEST(FrameAssembler, ChunksAreNeverSplit) {
    FrameAssembler assembler;
    EXPECT_EQ(framesOf(assembler, {"[1]\r\n[2]\r\n[3"}),
              std::vector<std::string>{"[1]\r\n[2]\r\n[3"});
    EXPECT_EQ(assembler.RxBuffer(), "[");
    EXPECT_EQ(framesOf(assembler, {"4]"}), std::vector<std::string>{"[4]"});
}

TEST(FrameAssembler, EmptyChunksChangeNothing) {
    FrameAssembler assembler;
    EXPECT_TRUE(framesOf(assembler, {"", "", "[ab", ""}).empty());
    EXPECT_EQ(assembler.RxBuffer(), "[ab");
    EXPECT_FALSE(assembler.TakeFrame().completed);
}

TEST(FrameAssembler, MatchesBracketBytesExactlyAndKeepsNul) {
    FrameAssembler assembler;
    // Full-width brackets (UTF-8), braces and parentheses are no brackets.
    EXPECT_TRUE(framesOf(assembler, {"\xEF\xBC\xBB"
                                     "a"
                                     "\xEF\xBC\xBD",
                                     "{b}(c)<d>"})
                    .empty());
    const std::string withNul = "\0[x\0]\0"s;
    EXPECT_EQ(framesOf(assembler, {withNul}), std::vector<std::string>{"\xEF\xBC\xBB"
                                                                       "a"
                                                                       "\xEF\xBC\xBD{b}(c)<d>"s +
                                                                       withNul});
    EXPECT_EQ(framesOf(assembler, {"\0\0]"s}), std::vector<std::string>{"[\0\0]"s});
}

// Random streams of records, noise and line ends, cut into random chunks: the assembler must
// publish exactly the frames of the literal rule.
TEST(FrameAssembler, AgreesWithTheLiteralRuleOnRandomStreams) {
    std::mt19937 rng(20261207);
    const std::string alphabet = "[]0123456789.,\r\n\0xyz"s;
    for (int round = 0; round < 300; ++round) {
        std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
        std::uniform_int_distribution<int> bracketBias(0, 9);
        const int streamLength = std::uniform_int_distribution<int>(0, 3000)(rng);
        const bool sparse = round % 3 == 0;  // streams where brackets are rare
        std::string stream;
        for (int i = 0; i < streamLength; ++i) {
            char c = alphabet[pick(rng)];
            if (sparse && (c == '[' || c == ']') && bracketBias(rng) != 0) {
                c = 'q';
            }
            stream += c;
        }
        std::vector<std::string> chunks;
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 40)(rng);
            chunks.push_back(stream.substr(at, size));
            at += size;
        }
        FrameAssembler assembler;
        LiteralAssembler literal;
        ASSERT_EQ(framesOf(assembler, chunks), framesOf(literal, chunks)) << "round " << round;
        ASSERT_EQ(assembler.RxBuffer(), literal.RxBuffer()) << "round " << round;
    }
}

TEST(FrameAssembler, BoundKeepsTheNewestTextWithoutChangingWhenFramesComplete) {
    const std::size_t limit = FrameAssembler::kRxBufferLimit;
    const std::size_t capacity = FrameAssembler::kRxBufferCapacity;
    FrameAssembler assembler;
    framesOf(assembler, {"[first]"});
    // Half a megabyte more than the capacity, with no "]", in reads of several sizes: the
    // buffer keeps only the newest bytes, at least `limit` of them and never over `capacity`.
    std::string flood(capacity + limit / 2, 'a');
    for (std::size_t i = 0; i < flood.size(); i += 1000) {
        flood[i] = static_cast<char>('0' + (i / 1000) % 10);
    }
    const std::size_t sizes[] = {4096, 12, 1, 70001};
    std::size_t reads = 0;
    for (std::size_t at = 0; at < flood.size(); at += sizes[reads++ % 4]) {
        framesOf(assembler, {flood.substr(at, sizes[reads % 4])});
        const std::size_t held = assembler.RxBuffer().size();
        ASSERT_LE(held, capacity);
        ASSERT_GE(held, std::min(limit, at + 1));
    }
    const std::string kept = assembler.RxBuffer();
    EXPECT_EQ(kept, flood.substr(flood.size() - kept.size()));
    // The "[" from the reset was trimmed away but has been seen: a "]" still completes the frame,
    // at the same chunk as the unbounded rule.
    const std::vector<std::string> frames = framesOf(assembler, {"]end"});
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0], kept + "]end");
    EXPECT_EQ(assembler.RxBuffer(), "[");
    // One read larger than the bound keeps its own newest `limit` bytes.
    framesOf(assembler, {std::string(limit, 'x') + flood});
    EXPECT_EQ(assembler.RxBuffer(), flood.substr(flood.size() - limit));
}

TEST(FrameAssembler, ChunkThatCompletesAFrameIsNeverTrimmed) {
    const std::string big = "[" + std::string(FrameAssembler::kRxBufferLimit * 2, 'b') + "]";
    FrameAssembler assembler;
    EXPECT_EQ(framesOf(assembler, {big}), std::vector<std::string>{big});
}

}  // namespace
}  // namespace vornel
