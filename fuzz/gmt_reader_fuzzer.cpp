// GMT reader: the streaming read of a file must agree with parsing the same
// bytes split into lines in one piece, and a successful read yields clean
// fields.
#include <algorithm>

#include "fuzz_support.hpp"
#include "quenfa/core/gmt_reader.hpp"
#include "quenfa/core/text.hpp"

namespace {

using quenfa::Error;
using quenfa::PathwayDb;
using quenfa::Result;

// The same line rules applied to the whole text at once: no buffer seams.
Result<PathwayDb> parse_whole(std::string_view text) {
  PathwayDb db;
  for (std::size_t n = 1; !text.empty(); ++n) {
    const std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (!quenfa::is_valid_utf8(line)) return Error{"stream did not contain valid UTF-8"};
    if (nl != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    if (auto st = quenfa::parse_gmt_line(line, n, db); !st) return Error{st.error()};
  }
  return db;
}

bool same(const PathwayDb& a, const PathwayDb& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.name == y.name && x.genes == y.genes && x.description == y.description;
  });
}

bool has_line_break_or_tab(std::string_view s) {
  return s.find_first_of("\t\n") != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const quenfa::fuzz::ScratchFiles files;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto read = quenfa::read_gmt(files.write("input.gmt", text));
  const auto whole = parse_whole(text);
  FUZZ_CHECK(read.ok() == whole.ok());
  if (!read) {
    FUZZ_CHECK(read.error() == whole.error());
    return 0;
  }
  FUZZ_CHECK(same(read.value(), whole.value()));
  FUZZ_CHECK(read.value().size() <=
             static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  for (const quenfa::Pathway& p : read.value()) {
    FUZZ_CHECK(!has_line_break_or_tab(p.name));
    FUZZ_CHECK(!p.description ||
               (!p.description->empty() && !has_line_break_or_tab(*p.description)));
    for (const std::string& gene : p.genes) {
      FUZZ_CHECK(!gene.empty() && quenfa::trim_unicode_whitespace(gene) == gene);
      FUZZ_CHECK(!has_line_break_or_tab(gene));
    }
  }
  return 0;
}
