#pragma once

#include <string>

#include "sim/seeded_random.h"

namespace vornel::sim {

enum class RecordFormat { Csv, Xml, Mixed };

// Makes the records a measuring device sends, each ending in CR LF, with values that drift from
// one record to the next:
//   Csv  [12.3,45,6]
//   Xml  [<rec><t>12.3</t><h>45</h><n>6</n></rec>]
//   Mixed  the two by turns, Csv first.
class RecordMaker {
public:
    RecordMaker(RecordFormat format, SeededRandom& random) : format_(format), random_(random) {}

    std::string next();

private:
    void drift();

    RecordFormat format_;
    SeededRandom& random_;
    int tenths_ = 123;  // the first value, in tenths: 12.3
    int second_ = 45;
    int count_ = 0;
};

}  // namespace vornel::sim
