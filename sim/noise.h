#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim/seeded_random.h"

namespace vornel::sim {

// The ways a real line mangles a clean stream of records, each drawn from `random`.

// Cuts `bytes` into pieces of random length that join back to `bytes`. Pieces are 1 to 8 bytes,
// or up to a quarter of the text for long text, so a record always comes in several pieces.
std::vector<std::string> splitIntoPieces(std::string_view bytes, SeededRandom& random);

// 1 to 24 bytes of line noise, any byte value; "[" and "]" only when `withBrackets`.
std::string lineGarbage(SeededRandom& random, bool withBrackets);

// What a reader sees of `record` when it starts listening part-way through it: a tail that begins
// after the record's "[" and still holds its "]". `record` must hold "[" before "]".
std::string tailOfRecord(std::string_view record, SeededRandom& random);

// A record that does not close: `size` bytes, the first "[", the rest digits and separators,
// none of them "]".
std::string unclosedStretch(std::size_t size, SeededRandom& random);

}  // namespace vornel::sim
