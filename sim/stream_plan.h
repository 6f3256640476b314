#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/record_maker.h"
#include "sim/seeded_random.h"

namespace vornel::sim {

// What goes wrong on the line besides the records themselves.
struct StreamNoise {
    bool split = false;             // write each slot in random pieces
    bool startMid = false;          // the stream begins inside a record
    bool garbage = false;           // junk between records now and then
    bool garbageBrackets = false;   // ... which may hold "[" and "]"
    std::size_t unclosedBytes = 0;  // one stretch this long without "]" after the first record
};

// Decides, from one seed, every byte the device sends and the pieces it writes them in. The
// stream is a row of slots, one per record: the noise that comes before the record, then the
// record, so the last piece of a slot always completes a record.
class StreamPlan {
public:
    StreamPlan(RecordFormat format, const StreamNoise& noise, std::uint64_t seed);
    StreamPlan(const StreamPlan&) = delete;
    StreamPlan& operator=(const StreamPlan&) = delete;

    std::vector<std::string> nextSlot();

private:
    SeededRandom random_;
    RecordMaker records_;  // draws from random_
    StreamNoise noise_;
    std::uint64_t slots_ = 0;
};

}  // namespace vornel::sim
