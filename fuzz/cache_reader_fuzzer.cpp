// Decor cache reader: plain and gzip-compressed files read alike, and a
// successful read holds clamped scores and as many rows as it declares.
#include <cmath>

#include "fuzz_support.hpp"
#include "quenfa/decor/cache_file.hpp"

namespace {

using quenfa::decor::DecorCache;

void check(const quenfa::Result<DecorCache>& read) {
  if (!read) return;
  std::uint64_t rows = 0;
  for (const auto& [name, scores] : read.value().pathways) {
    FUZZ_CHECK(name.find_first_of("\t\n") == std::string::npos);
    FUZZ_CHECK(scores.genes.size() == scores.redundancy.size());
    for (float r : scores.redundancy) FUZZ_CHECK(r >= 0.0f && r <= 1.0f);
    rows += scores.genes.size();
  }
  FUZZ_CHECK(rows == read.value().metadata.n_rows);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quenfa::fuzz::read_each_form(
      data, size, [](const std::string& path) { return quenfa::decor::read_decor_cache(path); },
      check, [](const DecorCache& a, const DecorCache& b) { return a == b; });
  return 0;
}
