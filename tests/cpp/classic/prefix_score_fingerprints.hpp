// Bit fingerprints of the prefix scores and chunk counters on a fixed table of
// inputs. The recorded values (data/prefix_score_fingerprints.txt, written by
// data/make_prefix_score_fingerprints.cpp) pin every output bit, so a faster
// bookkeeping of the running sums can be checked against the one it replaces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quenfa::classic::testing {

struct Fingerprint {
  std::string name;
  std::uint64_t hash;  // FNV-1a over the outputs' bit patterns
};

std::vector<Fingerprint> prefix_score_fingerprints();

}  // namespace quenfa::classic::testing
