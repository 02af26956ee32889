// The options record of the gamma-approximation engine.
#pragma once

#include <cstdint>

namespace quenfa::blitz {

struct BlitzOptions {
  std::uint64_t permutations = 1000;  // random sets per anchor size
  std::uint64_t anchors = 40;         // anchor grid size
  std::uint64_t min_size = 5;         // smallest kept pathway size
  std::uint64_t max_size = 4000;      // largest kept pathway size
  std::uint64_t processes = 4;        // calibration streams and scoring threads
  std::uint64_t seed = 0;
  std::uint64_t accuracy = 40;       // carried, not read by the engine
  std::uint64_t deep_accuracy = 50;  // decimal digits of the high-precision fallback
  bool symmetric = false;            // one gamma fit for both sides
  bool center = true;                // subtract the mean score first
  bool signature_cache = true;       // use the process-wide model cache
};

}  // namespace quenfa::blitz
