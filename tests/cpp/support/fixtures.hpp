// Fixtures shared by the C++ tests: small ranked lists, scratch directories
// and whole-file helpers.
#pragma once

#include <stdlib.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "quenfa/core/ranked_list.hpp"

namespace quenfa::test_support {

// Ten genes g0..g9 with `scores` (equal scores keep g0..g9 order).
inline RankedList ten_genes(std::vector<double> scores = std::vector<double>(10, 1.0)) {
  std::vector<std::string> genes;
  for (int i = 0; i < 10; ++i) genes.push_back("g" + std::to_string(i));
  return RankedList::create(genes, scores);
}

// Ten scores descending by 1 from `top`: g0 ranks first.
inline std::vector<double> descending_scores(double top) {
  std::vector<double> scores;
  for (int i = 0; i < 10; ++i) scores.push_back(top - i);
  return scores;
}

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quenfa_decor_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// `text` as one gzip member.
inline void write_gzip(const std::string& path, const std::string& text) {
  gzFile f = gzopen(path.c_str(), "wb");
  gzwrite(f, text.data(), static_cast<unsigned>(text.size()));
  gzclose(f);
}

}  // namespace quenfa::test_support
