#include "quenfa/core/line_reader.hpp"

#include <fcntl.h>
#include <zlib.h>

#include <cerrno>

#include "quenfa/core/os_error.hpp"
#include "quenfa/core/text.hpp"
#include "quenfa/core/unique_fd.hpp"

namespace quenfa {

bool has_gz_extension(std::string_view path) {
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  return dot != std::string_view::npos && dot != 0 && name.substr(dot + 1) == "gz";
}

// Bytes of a file, decompressed or not.
class ByteSource {
 public:
  explicit ByteSource(UniqueFd fd) : fd_(std::move(fd)) {}
  virtual ~ByteSource() = default;
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  // Appends up to `capacity` bytes to `out`; 0 at end of input.
  virtual Result<std::size_t> read(char* out, std::size_t capacity) {
    return read_raw(out, capacity);
  }

 protected:
  Result<std::size_t> read_raw(char* out, std::size_t capacity) {
    const ssize_t got = ::read(fd_.get(), out, capacity);
    if (got < 0) return Error{os_error_text(errno)};
    return static_cast<std::size_t>(got);
  }

 private:
  UniqueFd fd_;
};

namespace {

// A gzip file of one or more members, read in 32 KiB blocks. Every member is
// decoded: a file of concatenated members (as block-gzip tools write) is read
// whole rather than cut after the first.
class GzipSource final : public ByteSource {
 public:
  explicit GzipSource(UniqueFd fd) : ByteSource(std::move(fd)) {
    if (inflateInit2(&stream_, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
  }
  ~GzipSource() override { inflateEnd(&stream_); }

  Result<std::size_t> read(char* out, std::size_t capacity) override {
    stream_.next_out = reinterpret_cast<Bytef*>(out);
    stream_.avail_out = static_cast<uInt>(capacity);
    while (stream_.avail_out == capacity) {
      if (stream_.avail_in == 0) {
        auto got = read_raw(input_, sizeof input_);
        if (!got) return Error{got.error()};
        if (got.value() == 0) {
          if (in_member_) return Error{"gzip stream ended before its end"};
          return std::size_t{0};
        }
        stream_.next_in = reinterpret_cast<Bytef*>(input_);
        stream_.avail_in = static_cast<uInt>(got.value());
      }
      if (!in_member_) {
        if (inflateReset(&stream_) != Z_OK) return Error{"corrupt deflate stream"};
        in_member_ = true;
      }
      const int rc = inflate(&stream_, Z_NO_FLUSH);
      if (rc == Z_STREAM_END) {
        in_member_ = false;
      } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
        return Error{stream_.msg != nullptr ? stream_.msg : "corrupt deflate stream"};
      }
    }
    return capacity - stream_.avail_out;
  }

 private:
  z_stream stream_{};
  char input_[32768];
  bool in_member_ = false;
};

}  // namespace

LineReader::LineReader(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}
LineReader::LineReader(LineReader&&) noexcept = default;
LineReader& LineReader::operator=(LineReader&&) noexcept = default;
LineReader::~LineReader() = default;

Result<LineReader> LineReader::open(const std::string& path) {
  UniqueFd fd(path.find('\0') != std::string::npos ? -1
                                                   : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Error{"Failed to open '" + path + "'"};
  if (has_gz_extension(path)) return LineReader(std::make_unique<GzipSource>(std::move(fd)));
  return LineReader(std::make_unique<ByteSource>(std::move(fd)));
}

Result<bool> LineReader::next(std::string& line) {
  for (;;) {
    const std::size_t nl = buffer_.find('\n', start_);
    if (nl != std::string::npos || end_of_input_) {
      if (nl == std::string::npos && start_ == buffer_.size()) return false;
      const std::size_t end = nl == std::string::npos ? buffer_.size() : nl;
      line.assign(buffer_, start_, end - start_);
      start_ = nl == std::string::npos ? buffer_.size() : nl + 1;
      // A CR is part of the line end only before an LF.
      if (nl != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
      if (!is_valid_utf8(line)) return Error{"stream did not contain valid UTF-8"};
      return true;
    }
    buffer_.erase(0, start_);
    start_ = 0;
    const std::size_t old = buffer_.size();
    buffer_.resize(old + 8192);
    auto got = source_->read(buffer_.data() + old, 8192);
    if (!got) return Error{got.error()};
    buffer_.resize(old + got.value());
    end_of_input_ = got.value() == 0;
  }
}

}  // namespace quenfa
