// Line-by-line reading of a text file that may be gzip-compressed: the
// extension of the path decides, as for every decor file.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "quenfa/core/result.hpp"
#include "quenfa/core/text.hpp"

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

// Calls `body(line, n)` for every line of the file at `path` that holds more
// than white space, n counting every line from 1. Stops at the first failure
// to open or read the file, or the first failure `body` returns.
template <class Body>
Status for_each_nonblank_line(const std::string& path, Body&& body) {
  auto reader = LineReader::open(path);
  if (!reader) return Error{reader.error()};
  std::string line;
  for (std::size_t n = 1;; ++n) {
    auto more = reader.value().next(line);
    if (!more) return Error{more.error()};
    if (!more.value()) return ok_status();
    if (trim_unicode_whitespace(line).empty()) continue;
    if (Status st = body(line, n); !st) return st;
  }
}

}  // namespace quenfa
