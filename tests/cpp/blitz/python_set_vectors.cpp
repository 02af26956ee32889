#include "blitz/python_set_vectors.hpp"

#include <gtest/gtest.h>

#include "support/command_output.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace quenfa::blitz::testing {

namespace {

const std::string kScriptDir = std::string(QUENFA_TEST_DATA_DIR) + "/blitz";

std::vector<std::string> split_words(const std::string& text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = std::min(text.find(' ', at), text.size());
    words.push_back(text.substr(at, space - at));
    at = space + 1;
  }
  return words;
}

std::vector<VectorLine> parse(std::istream& in) {
  std::vector<VectorLine> lines;
  std::string text;
  while (std::getline(in, text)) {
    if (text.empty()) continue;
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t bar; (bar = text.find(" | ", at)) != std::string::npos; at = bar + 3) {
      parts.push_back(text.substr(at, bar - at));
    }
    parts.push_back(text.substr(at));
    VectorLine line{split_words(parts[0]), {}};
    for (std::size_t k = 1; k < parts.size(); ++k) line.fields.push_back(split_words(parts[k]));
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace

std::string VectorLine::label() const {
  std::string out;
  for (const std::string& word : head) out += (out.empty() ? "" : " ") + word;
  return out;
}

std::vector<std::string> decode_keys(const std::vector<std::string>& words) {
  std::vector<std::string> keys;
  for (const std::string& word : words) keys.push_back(word == "~" ? std::string() : word);
  return keys;
}

std::vector<std::size_t> to_indices(const std::vector<std::string>& words) {
  std::vector<std::size_t> out;
  for (const std::string& word : words) out.push_back(std::stoull(word));
  return out;
}

std::vector<VectorLine> read_committed_vectors() {
  const std::string path = kScriptDir + "/python_sets.txt";
  std::ifstream in(path);
  EXPECT_TRUE(in) << "missing " << path;
  return parse(in);
}

std::optional<std::vector<VectorLine>> run_live_vectors(const std::string& what, std::string& why) {
  if (std::system("command -v python3 > /dev/null 2>&1") != 0) {
    why = "python3 not found: the live comparison with CPython's sets needs it";
    return std::nullopt;
  }
  const std::string command =
      "PYTHONHASHSEED=0 python3 '" + kScriptDir + "/python_sets.py' live " + what;
  const auto text = ::quenfa::test_support::command_output(command);
  EXPECT_TRUE(text) << command;
  std::istringstream in(text.value_or(""));
  return parse(in);
}

}  // namespace quenfa::blitz::testing
