#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "sim/line_pacer.h"
#include "sim/options.h"
#include "sim/outlet.h"
#include "sim/stop_signal.h"
#include "sim/stream_plan.h"

namespace vornel::sim {

struct SendTotals {
    std::uint64_t records = 0;  // whole records written
    std::uint64_t bytes = 0;    // every byte written, noise included
    double seconds = 0;         // from the start until sending ended
};

// The simulator's main loop: takes the stream slot by slot from the plan, writes it to the
// outlet at the pacer's times, keeps the copy for --record and replaces the pseudo-terminal
// when --drop-every says so.
class Sender {
public:
    // `copy` (may be null) receives every byte written; `announce` the path of each new
    // pseudo-terminal.
    Sender(const Options& options, std::uint64_t seed, Outlet& outlet, const StopSignal& stop,
           std::ostream* copy, std::function<void(const std::string&)> announce);

    // Sends until --count records have gone and the reader has taken them, or a stop request.
    void run();

    const SendTotals& totals() const { return totals_; }

private:
    bool sendSlot(const std::vector<std::string>& pieces);
    bool sendSlice(std::string_view slice);
    Clock::time_point place(std::size_t size);
    bool dropIfDue();
    LinePacer::Nanos sinceStart() const;

    const Options& options_;
    Outlet& outlet_;
    const StopSignal& stop_;
    std::ostream* copy_;
    std::function<void(const std::string&)> announce_;
    StreamPlan plan_;
    LinePacer pacer_;
    Clock::time_point start_;
    Clock::time_point nextDrop_ = Clock::time_point::max();
    SendTotals totals_;
};

}  // namespace vornel::sim
