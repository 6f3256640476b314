#include "sim/noise.h"

#include <algorithm>

namespace vornel::sim {

std::vector<std::string> splitIntoPieces(std::string_view bytes, SeededRandom& random) {
    const std::size_t longest = std::max<std::size_t>(8, bytes.size() / 4);
    std::vector<std::string> pieces;
    while (!bytes.empty()) {
        const std::size_t size = 1 + random.below(std::min(bytes.size(), longest));
        pieces.emplace_back(bytes.substr(0, size));
        bytes.remove_prefix(size);
    }
    return pieces;
}

std::string lineGarbage(SeededRandom& random, bool withBrackets) {
    std::string junk(1 + random.below(24), '\0');
    for (char& c : junk) {
        do {
            c = static_cast<char>(random.below(256));
        } while (!withBrackets && (c == '[' || c == ']'));
    }
    return junk;
}

std::string tailOfRecord(std::string_view record, SeededRandom& random) {
    const std::size_t open = record.find('[');
    const std::size_t close = record.find(']', open);
    // Start anywhere from just after "[" to the "]" itself.
    const std::size_t start = open + 1 + random.below(close - open);
    return std::string(record.substr(start));
}

std::string unclosedStretch(std::size_t size, SeededRandom& random) {
    static constexpr std::string_view kFiller = "0123456789.,;-";
    std::string stretch(size, '[');
    for (std::size_t i = 1; i < size; ++i) {
        stretch[i] = kFiller[random.below(kFiller.size())];
    }
    return stretch;
}

}  // namespace vornel::sim
