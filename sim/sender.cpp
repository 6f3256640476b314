#include "sim/sender.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace vornel::sim {

namespace {

using namespace std::chrono_literals;

// How late a write may be before the pace starts afresh.
constexpr auto kFallenBehind = 100ms;

}  // namespace

Sender::Sender(const Options& options, std::uint64_t seed, Outlet& outlet, const StopSignal& stop,
               std::ostream* copy, std::function<void(const std::string&)> announce)
    : options_(options),
      outlet_(outlet),
      stop_(stop),
      copy_(copy),
      announce_(std::move(announce)),
      plan_(options.format, options.noise, seed),
      pacer_(options.bytesPerSecond(), options.recordsPerSecond) {}

void Sender::run() {
    start_ = Clock::now();
    if (options_.dropEvery.count() > 0) {
        nextDrop_ = start_ + options_.dropEvery;
    }
    while (!stop_.requested() && (options_.count == 0 || totals_.records < options_.count)) {
        const std::vector<std::string> pieces = plan_.nextSlot();
        pacer_.beginSlot();
        if (!sendSlot(pieces)) {
            break;  // stopped part-way through the record
        }
        ++totals_.records;
    }
    totals_.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    if (!stop_.requested()) {
        outlet_.drain(stop_);
    }
}

// Writes a slot's pieces, in slices the line carries in a short while. False if stopped first.
bool Sender::sendSlot(const std::vector<std::string>& pieces) {
    const std::size_t slice = pacer_.sliceBytes();
    for (const std::string& piece : pieces) {
        for (std::size_t at = 0; at < piece.size(); at += slice) {
            if (!sendSlice(std::string_view(piece).substr(at, slice))) {
                return false;
            }
        }
    }
    return true;
}

// Writes one slice when the pacer says it has arrived. False if stopped first.
bool Sender::sendSlice(std::string_view slice) {
    Clock::time_point due = place(slice.size());
    while (!slice.empty()) {
        if (dropIfDue()) {
            due = place(slice.size());
        }
        stop_.sleepUntil(std::min(due, nextDrop_));
        if (stop_.requested()) {
            return false;
        }
        if (Clock::now() < due) {
            continue;  // woken for a drop
        }
        const Outlet::Progress progress = outlet_.write(slice, nextDrop_, stop_);
        if (copy_ && progress.written > 0) {
            // Flushed at once, so that the file shows what has gone at any moment.
            copy_->write(slice.data(), static_cast<std::streamsize>(progress.written)).flush();
            if (!*copy_) {
                throw std::runtime_error("cannot write to " + options_.recordPath);
            }
        }
        totals_.bytes += progress.written;
        slice.remove_prefix(progress.written);
        if (progress.paused) {
            // Back from a pause: the pace starts again now, with what is left of the slice.
            pacer_.restart(sinceStart());
            due = place(slice.size());
        }
    }
    return true;
}

// Puts `size` bytes on the pacer's line and returns when they are due. A writer held up past
// that (a full buffer, a reader that does not read) starts the pace afresh rather than catching
// up in a burst.
Clock::time_point Sender::place(std::size_t size) {
    LinePacer::Nanos due = pacer_.send(size);
    const LinePacer::Nanos now = sinceStart();
    if (now - due > kFallenBehind) {
        pacer_.restart(now);
        due = pacer_.send(size);
    }
    return start_ + due;
}

bool Sender::dropIfDue() {
    const Clock::time_point now = Clock::now();
    if (now < nextDrop_) {
        return false;
    }
    outlet_.replace();
    announce_(outlet_.path());
    while (nextDrop_ <= now) {
        nextDrop_ += options_.dropEvery;  // counted from the start, so drops do not drift
    }
    pacer_.restart(sinceStart());
    return true;
}

LinePacer::Nanos Sender::sinceStart() const {
    return std::chrono::duration_cast<LinePacer::Nanos>(Clock::now() - start_);
}

}  // namespace vornel::sim
