// Writes the bit fingerprints of the prefix scores and chunk counters, one
// "name hash" line each: build/<dir>/tests/cpp/quenfa_make_sprintel_fingerprints
// > tests/cpp/data/sprintel_fingerprints.txt
#include <cinttypes>
#include <cstdio>

#include "../sprintel_fingerprints.hpp"

int main() {
  for (const auto& f : quenfa::testing::sprintel_fingerprints()) {
    std::printf("%s %016" PRIx64 "\n", f.name.c_str(), f.hash);
  }
  return 0;
}
