// Line-by-line reading of a text file that may be gzip-compressed: the
// extension of the path decides, as for every decor file.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "quenfa/core/result.hpp"

namespace quenfa {

// True when the last path component has the extension "gz": the part after
// its last dot, that dot not being the component's first character;
// compared case-sensitively.
bool has_gz_extension(std::string_view path);

class ByteSource;

class LineReader {
 public:
  // Fails with "Failed to open '{path}'".
  static Result<LineReader> open(const std::string& path);

  LineReader(LineReader&&) noexcept;
  LineReader& operator=(LineReader&&) noexcept;
  ~LineReader();

  // The next line without its LF or CR LF; false at end of input. A read or
  // decompression failure, or a line that is not UTF-8, is an error.
  Result<bool> next(std::string& line);

 private:
  explicit LineReader(std::unique_ptr<ByteSource> source);

  std::unique_ptr<ByteSource> source_;
  std::string buffer_;
  std::size_t start_ = 0;
  bool end_of_input_ = false;
};

}  // namespace quenfa
