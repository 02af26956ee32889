// Shared pieces of the reader fuzzers: invariant checks that abort (so
// libFuzzer records the input), and per-process scratch files through which
// an input reaches a reader that takes a path, plain or gzip-compressed.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#define FUZZ_CHECK(cond)                                                                \
  do {                                                                                  \
    if (!(cond)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

namespace quenfa::fuzz {

// How the first input byte hands the rest to a reader that decides by the
// file name whether to decompress.
enum class Form {
  Plain,           // a plain file
  Gzip,            // one gzip member under a .gz name
  GzipTwoMembers,  // two members, split in the middle, under a .gz name
  RawGz,           // the bytes as they are under a .gz name: an arbitrary stream
};

struct FormedInput {
  Form form = Form::Plain;
  std::string_view text;
};

inline FormedInput take_form(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  return {static_cast<Form>(data[0] % 4),
          std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)};
}

// `text` as gzip members, one per piece: [0, split) and [split, size) when
// `split` lies inside, else one member.
inline std::string gzip(std::string_view text, std::size_t split) {
  std::string out;
  const auto member = [&out](std::string_view piece) {
    z_stream z{};
    FUZZ_CHECK(deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK);
    const std::size_t old = out.size();
    out.resize(old + deflateBound(&z, static_cast<uLong>(piece.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
    z.avail_in = static_cast<uInt>(piece.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data() + old);
    z.avail_out = static_cast<uInt>(out.size() - old);
    FUZZ_CHECK(deflate(&z, Z_FINISH) == Z_STREAM_END);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
  };
  if (split > 0 && split < text.size()) {
    member(text.substr(0, split));
    member(text.substr(split));
  } else {
    member(text);
  }
  return out;
}

// A scratch directory for the life of the process, in memory where the
// machine has /dev/shm (a disk file system may flush a rewritten file on
// every close); every execution rewrites the files it uses.
class ScratchFiles {
 public:
  ScratchFiles() {
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "quenfa_fuzz_XXXXXX").string();
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    dir_ = pattern;
  }
  ~ScratchFiles() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  ScratchFiles(const ScratchFiles&) = delete;
  ScratchFiles& operator=(const ScratchFiles&) = delete;

  // Writes `bytes` to the file `name` of the directory and returns its path.
  std::string write(const std::string& name, std::string_view bytes) const {
    const std::string path = (dir_ / name).string();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    return path;
  }

  // The compressed file of a gzip form ("input.gz").
  std::string write_gz(const FormedInput& in) const {
    switch (in.form) {
      case Form::Gzip:
        return write("input.gz", gzip(in.text, 0));
      case Form::GzipTwoMembers:
        return write("input.gz", gzip(in.text, in.text.size() / 2));
      default:
        return write("input.gz", in.text);
    }
  }

 private:
  std::filesystem::path dir_;
};

// Drives a reader taking a path: always on the plain file, and for the gzip
// forms also on the .gz file. `check` runs on every result; for compressed
// forms of the text `same` must hold between the plain and gzip results.
template <class Read, class Check, class Same>
void read_each_form(const std::uint8_t* data, std::size_t size, Read read, Check check, Same same) {
  static const ScratchFiles files;
  const FormedInput in = take_form(data, size);
  const auto plain = read(files.write("input.txt", in.text));
  check(plain);
  if (in.form == Form::Plain) return;
  const auto gz = read(files.write_gz(in));
  check(gz);
  if (in.form == Form::RawGz) return;
  FUZZ_CHECK(plain.ok() == gz.ok());
  if (plain.ok()) {
    FUZZ_CHECK(same(plain.value(), gz.value()));
  } else {
    FUZZ_CHECK(plain.error() == gz.error());
  }
}

}  // namespace quenfa::fuzz
