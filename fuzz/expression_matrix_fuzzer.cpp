// Expression matrix reader: plain and gzip-compressed files read alike, a
// successful read is a full rectangle of finite values with unique gene
// identifiers, and its standardised profiles have unit length.
#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "fuzz_support.hpp"
#include "quenfa/decor/expression_matrix.hpp"

namespace {

using quenfa::decor::ExpressionMatrix;

void check(const quenfa::Result<ExpressionMatrix>& read) {
  if (!read) return;
  const ExpressionMatrix& m = read.value();
  FUZZ_CHECK(m.samples >= 2 && !m.genes.empty());
  FUZZ_CHECK(m.values.size() == m.genes.size() * m.samples);
  std::unordered_set<std::string> seen;
  for (const std::string& gene : m.genes) {
    FUZZ_CHECK(!gene.empty() && gene.find_first_of("\t\n") == std::string::npos);
    FUZZ_CHECK(seen.insert(gene).second);
  }
  for (double v : m.values) FUZZ_CHECK(std::isfinite(v));
  for (const auto kind :
       {quenfa::decor::DecorCorrelation::Pearson, quenfa::decor::DecorCorrelation::Spearman}) {
    const quenfa::decor::StandardisedProfiles profiles(m, kind);
    FUZZ_CHECK(profiles.rows.size() == m.genes.size());
    for (std::size_t i = 0; i < m.genes.size(); ++i) {
      // Unit length, or all zeros for a constant profile only.
      double ss = 0;
      for (double z : profiles.matrix.row(i)) ss += z * z;
      const auto raw = m.row(i);
      FUZZ_CHECK(
          std::abs(ss - 1) < 1e-9 ||
          (ss == 0 && std::all_of(raw.begin(), raw.end(), [&](double v) { return v == raw[0]; })));
    }
  }
}

bool same(const ExpressionMatrix& a, const ExpressionMatrix& b) {
  return a.genes == b.genes && a.samples == b.samples && a.values == b.values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quenfa::fuzz::read_each_form(
      data, size,
      [](const std::string& path) { return quenfa::decor::read_expression_matrix(path); }, check,
      same);
  return 0;
}
