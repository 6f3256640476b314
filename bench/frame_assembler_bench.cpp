// The frame assembler against the frame rule done literally, on the same input in one run:
//  (a) records in random chunks of 1 to 64 bytes, as a serial port delivers them;
//  (b) 1 MiB without a "]" in chunks of 8 bytes, where a whole-buffer search gets slower with
//      every chunk;
//  (c) 1 MiB already held, then reads of 12 bytes without a "]": at the buffer's bound, where
//      each read must cost what it adds, not what the buffer holds. Ours reads 1 MiB more (so
//      that its buffer is trimmed along the way), the literal 48 KiB, and they are compared per
//      read.
// Prints bytes/s for each, then the ratio of the literal's time to ours for (a), (b) and (c).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/records.h"
#include "capture/frame_assembler.h"
#include "tests/kit/literal_assembler.h"

namespace vornel::bench {
namespace {

using testing::LiteralAssembler;

// Received text, the sizes of the chunks it arrives in, and what feeding it must end with.
struct Feed {
    std::string text;
    std::vector<std::size_t> chunkSizes;
    std::size_t frames = 0;
    std::string bufferAfter;
};

// Feeds every chunk and takes a frame after each, as the receive handler does. Returns the
// number of frames completed.
template <typename Assembler>
std::size_t feedAll(Assembler& assembler, const Feed& feed,
                    const std::function<void(std::string&&)>& onFrame = {}) {
    std::string_view rest = feed.text;
    std::size_t frames = 0;
    for (const std::size_t size : feed.chunkSizes) {
        assembler.Append(rest.substr(0, size));
        rest.remove_prefix(size);
        TakenFrame frame = assembler.TakeFrame();
        benchmark::DoNotOptimize(frame);
        if (frame.completed) {
            ++frames;
            if (onFrame) {
                onFrame(std::move(frame.text));
            }
        }
    }
    return frames;
}

// (a) Records in random chunks of 1 to 64 bytes. The expected outcome is the literal's; main()
// checks that ours hands out the very same frames.
Feed recordsInRandomChunks() {
    Feed feed{makeRecords(256 * 1024, 7), {}, 0, {}};
    std::mt19937 random(11);
    std::uniform_int_distribution<std::size_t> size(1, 64);
    for (std::size_t left = feed.text.size(); left > 0;) {
        const std::size_t n = std::min(size(random), left);
        feed.chunkSizes.push_back(n);
        left -= n;
    }
    LiteralAssembler reference;
    feed.frames = feedAll(reference, feed);
    feed.bufferAfter = reference.RxBuffer();
    return feed;
}

// (b) Exactly 1 MiB of records with every "]" taken out, in chunks of 8 bytes. No frame ever
// completes and, the buffer limit not being exceeded, the buffer ends as the whole text.
Feed unclosedInSmallChunks() {
    std::string text = makeRecords(2 * FrameAssembler::kRxBufferLimit, 13);
    std::erase(text, ']');
    text.resize(FrameAssembler::kRxBufferLimit);
    Feed feed{text, std::vector<std::size_t>(text.size() / 8, 8), 0, text};
    if (text.size() % 8 != 0) {
        feed.chunkSizes.push_back(text.size() % 8);
    }
    return feed;
}

// (c) What is held before the timed reads, and the reads: `bytes` of text without a "]".
struct HeldFeed {
    std::string held;
    Feed reads;
};

HeldFeed heldThenSmallReads(std::size_t bytes) {
    std::string text = makeRecords(2 * (FrameAssembler::kRxBufferLimit + bytes), 17);
    std::erase(text, ']');
    HeldFeed feed{text.substr(0, FrameAssembler::kRxBufferLimit), {}};
    feed.reads.text = text.substr(FrameAssembler::kRxBufferLimit, bytes);
    feed.reads.chunkSizes.assign(bytes / 12, 12);
    return feed;
}

template <typename Assembler>
void heldBench(benchmark::State& state, const HeldFeed& feed) {
    for (auto _ : state) {
        state.PauseTiming();
        Assembler assembler;
        assembler.Append(feed.held);
        benchmark::DoNotOptimize(assembler.TakeFrame());
        state.ResumeTiming();
        const std::size_t frames = feedAll(assembler, feed.reads);
        if (frames != 0) {
            state.SkipWithError("a frame completed without a \"]\"");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(feed.reads.text.size()));
}

bool sameFrames(const Feed& feed) {
    std::vector<std::string> ours;
    std::vector<std::string> literal;
    FrameAssembler assembler;
    LiteralAssembler reference;
    feedAll(assembler, feed, [&](std::string&& frame) { ours.push_back(std::move(frame)); });
    feedAll(reference, feed, [&](std::string&& frame) { literal.push_back(std::move(frame)); });
    return !ours.empty() && ours == literal && assembler.RxBuffer() == reference.RxBuffer();
}

template <typename Assembler>
void feedBench(benchmark::State& state, const Feed& feed) {
    bool asExpected = true;
    for (auto _ : state) {
        Assembler assembler;
        const std::size_t frames = feedAll(assembler, feed);
        state.PauseTiming();
        asExpected =
            asExpected && frames == feed.frames && assembler.RxBuffer() == feed.bufferAfter;
        state.ResumeTiming();
    }
    if (!asExpected) {
        state.SkipWithError("the frames or the buffer left differ from the expected ones");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(feed.text.size()));
}

// Shows the runs as usual and keeps the CPU time per iteration of each benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Coloured only on a terminal, so that logs stay plain text.
    RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Iteration) {
                times_[name].push_back(run.GetAdjustedCPUTime());
            } else if (run.aggregate_name == "median") {
                medians_[name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // literal/ours, each the median over its repetitions; nothing when either did not run.
    std::optional<double> ratio(const std::string& ours, const std::string& literal) const {
        const std::optional<double> a = median(ours);
        const std::optional<double> b = median(literal);
        if (!a || !b || *a <= 0) {
            return std::nullopt;
        }
        return *b / *a;
    }

private:
    std::optional<double> median(const std::string& name) const {
        if (const auto aggregate = medians_.find(name); aggregate != medians_.end()) {
            return aggregate->second;
        }
        const auto found = times_.find(name);
        if (found == times_.end() || found->second.empty()) {
            return std::nullopt;
        }
        std::vector<double> times = found->second;
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

    std::map<std::string, std::vector<double>> times_;
    std::map<std::string, double> medians_;
};

void printRatio(const char* label, std::optional<double> ratio) {
    if (ratio) {
        std::printf("ratio %s literal/ours: %.*fx\n", label, *ratio < 10 ? 2 : 0, *ratio);
    } else {
        std::printf("ratio %s literal/ours: not measured\n", label);
    }
}

}  // namespace
}  // namespace vornel::bench

int main(int argc, char** argv) {
    using namespace vornel::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const Feed records = recordsInRandomChunks();
    const Feed unclosed = unclosedInSmallChunks();
    if (!sameFrames(records)) {
        std::fprintf(stderr, "the assembler and the literal rule hand out different frames\n");
        return 1;
    }

    using vornel::FrameAssembler;
    // (a) is close either way, so it gets several short repetitions and their median.
    for (auto* bench :
         {benchmark::RegisterBenchmark("a_records/ours", feedBench<FrameAssembler>, records),
          benchmark::RegisterBenchmark("a_records/literal", feedBench<LiteralAssembler>,
                                       records)}) {
        bench->MinTime(0.1)->Repetitions(9)->DisplayAggregatesOnly(true);
    }
    benchmark::RegisterBenchmark("b_unclosed/ours", feedBench<FrameAssembler>, unclosed);
    benchmark::RegisterBenchmark("b_unclosed/literal", feedBench<LiteralAssembler>, unclosed);
    const HeldFeed heldOurs = heldThenSmallReads(FrameAssembler::kRxBufferLimit + 12 * 1024);
    const HeldFeed heldLiteral = heldThenSmallReads(48 * 1024);
    benchmark::RegisterBenchmark("c_held/ours", heldBench<FrameAssembler>, heldOurs);
    benchmark::RegisterBenchmark("c_held/literal", heldBench<LiteralAssembler>, heldLiteral);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const std::optional<double> a = reporter.ratio("a_records/ours", "a_records/literal");
    const std::optional<double> b = reporter.ratio("b_unclosed/ours", "b_unclosed/literal");
    // Per read: the two read different amounts.
    std::optional<double> c = reporter.ratio("c_held/ours", "c_held/literal");
    if (c) {
        *c *= static_cast<double>(heldOurs.reads.chunkSizes.size()) /
              static_cast<double>(heldLiteral.reads.chunkSizes.size());
    }
    printRatio("(a)", a);
    printRatio("(b)", b);
    printRatio("(c) per read", c);
    // The literal search is quadratic on (b); remembering the brackets makes it linear. Well
    // under 30x means the assembler has gone back to searching the whole buffer.
    if (b && *b < 30) {
        std::fprintf(stderr, "(b) is under 30x: the assembler no longer scales with the chunk\n");
        return 1;
    }
    // At the bound each literal read searches a megabyte; ours must not move one per read.
    if (c && *c < 30) {
        std::fprintf(stderr, "(c) is under 30x: a read at the bound costs the whole buffer\n");
        return 1;
    }
    return 0;
}
