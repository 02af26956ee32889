// Which side of the running sum a pathway is scored on.
#pragma once

#include <cstdint>
#include <string_view>

#include "quenfa/core/result.hpp"

namespace quenfa {

enum class ScoreType : std::uint8_t { Std = 0, Pos = 1, Neg = 2 };

// ASCII-lower-cases `text`, then maps "std", "pos", "neg" to their codes.
Result<ScoreType> parse_score_type(std::string_view text);

}  // namespace quenfa
