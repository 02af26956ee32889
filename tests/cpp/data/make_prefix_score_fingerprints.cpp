// Writes the bit fingerprints of the prefix scores and chunk counters, one
// "name hash" line each: build/<dir>/tests/cpp/quenfa_make_prefix_score_fingerprints
// > tests/cpp/data/prefix_score_fingerprints.txt
#include <cinttypes>
#include <cstdio>

#include "classic/prefix_score_fingerprints.hpp"

int main() {
  for (const auto& f : quenfa::classic::testing::prefix_score_fingerprints()) {
    std::printf("%s %016" PRIx64 "\n", f.name.c_str(), f.hash);
  }
  return 0;
}
