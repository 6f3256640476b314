#include "sim/stream_plan.h"

#include "sim/noise.h"

namespace vornel::sim {

StreamPlan::StreamPlan(RecordFormat format, const StreamNoise& noise, std::uint64_t seed)
    : random_(seed), records_(format, random_), noise_(noise) {}

std::vector<std::string> StreamPlan::nextSlot() {
    std::string bytes;
    if (slots_ == 0 && noise_.startMid) {
        bytes += tailOfRecord(records_.next(), random_);
    }
    if (slots_ == 1 && noise_.unclosedBytes > 0) {
        bytes += unclosedStretch(noise_.unclosedBytes, random_);
    }
    if (noise_.garbage && random_.oneIn(3)) {
        bytes += lineGarbage(random_, noise_.garbageBrackets);
    }
    bytes += records_.next();
    ++slots_;

    if (noise_.split) {
        return splitIntoPieces(bytes, random_);
    }
    return {bytes};
}

}  // namespace vornel::sim
