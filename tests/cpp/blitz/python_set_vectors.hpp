// Reference vectors of the Python-order sets made by data/blitz/python_sets.py:
// the committed file, or a fresh run of the script under PYTHONHASHSEED=0.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quenfa::blitz::testing {

// One line: "<head words> | <field> | <field> ...", each field a list of words.
// The head is "<kind> [<key kind>] <tag>"; the tag is "cpython" when the value
// is CPython's own, "rule" where our rule differs from CPython.
struct VectorLine {
  std::vector<std::string> head;
  std::vector<std::vector<std::string>> fields;

  const std::string& tag() const { return head.back(); }
  std::string label() const;  // head words joined, for messages and counts
};

// Keys as written by the script ("~" stands for the empty string).
std::vector<std::string> decode_keys(const std::vector<std::string>& words);
std::vector<std::size_t> to_indices(const std::vector<std::string>& words);

std::vector<VectorLine> read_committed_vectors();

// Runs the script in its live mode (other seeds, thousands of cases) for
// `what`: "sets" (hash, set and intersection lines) or "clean". Empty when
// python3 is missing; `why` then says so.
std::optional<std::vector<VectorLine>> run_live_vectors(const std::string& what, std::string& why);

}  // namespace quenfa::blitz::testing
