#include "sim/record_maker.h"

#include <algorithm>

namespace vornel::sim {

namespace {

std::string decimal(int tenths) {
    const int magnitude = tenths < 0 ? -tenths : tenths;
    std::string text = tenths < 0 ? "-" : "";
    text += std::to_string(magnitude / 10);
    text += '.';
    text += std::to_string(magnitude % 10);
    return text;
}

}  // namespace

std::string RecordMaker::next() {
    drift();
    const std::string t = decimal(tenths_);
    const std::string h = std::to_string(second_);
    const std::string n = std::to_string(count_ % 10);
    const bool xml = format_ == RecordFormat::Xml || (format_ == RecordFormat::Mixed && count_ % 2);
    ++count_;
    if (xml) {
        return "[<rec><t>" + t + "</t><h>" + h + "</h><n>" + n + "</n></rec>]\r\n";
    }
    return "[" + t + "," + h + "," + n + "]\r\n";
}

// A small random step for each value, kept within what such a device reports.
void RecordMaker::drift() {
    if (count_ == 0) {
        return;  // the first record shows the starting values
    }
    tenths_ = std::clamp(tenths_ + static_cast<int>(random_.below(7)) - 3, -400, 850);
    second_ = std::clamp(second_ + static_cast<int>(random_.below(3)) - 1, 0, 100);
}

}  // namespace vornel::sim
