#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace vornel::bench {

// Whole records as the device sends them, "[12.3,45,6]\r\n" with varying numbers, until there
// are at least `minBytes`. The same seed gives the same text, so two runs see the same stream;
// the text ends on a record boundary, so it can be sent over and over.
inline std::string makeRecords(std::size_t minBytes, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> reading(0, 9999);
    std::uniform_int_distribution<int> count(0, 999);
    std::uniform_int_distribution<int> digit(0, 9);
    std::string text;
    text.reserve(minBytes + 32);
    while (text.size() < minBytes) {
        const int value = reading(random);
        text += '[';
        text += std::to_string(value / 10);
        text += '.';
        text += std::to_string(value % 10);
        text += ',';
        text += std::to_string(count(random));
        text += ',';
        text += std::to_string(digit(random));
        text += "]\r\n";
    }
    return text;
}

}  // namespace vornel::bench
