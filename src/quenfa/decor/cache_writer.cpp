#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <filesystem>

#include "quenfa/core/internal_fault.hpp"
#include "quenfa/core/line_reader.hpp"
#include "quenfa/core/os_error.hpp"
#include "quenfa/core/text.hpp"
#include "quenfa/core/unique_fd.hpp"
#include "quenfa/decor/cache_file.hpp"
#include "quenfa/decor/number_text.hpp"

namespace quenfa::decor {

namespace {

// Text written through an 8 KiB buffer to a file descriptor, either as is or
// as one gzip member (level 6, no file name, modification time 0, extra
// flags 0, operating system 255) so that equal text gives equal bytes.
class CacheSink {
 public:
  CacheSink(int fd, bool gzip) : fd_(fd), gzip_(gzip) {
    buffer_.reserve(kBufferSize);
    if (!gzip_) return;
    if (deflateInit2(&stream_, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw std::bad_alloc();
    }
    header_.os = 255;
    QUENFA_ENSURE(deflateSetHeader(&stream_, &header_) == Z_OK, "gzip header setup");
  }
  ~CacheSink() {
    if (gzip_) deflateEnd(&stream_);
  }
  CacheSink(const CacheSink&) = delete;
  CacheSink& operator=(const CacheSink&) = delete;

  Status append(std::string_view text) {
    if (buffer_.size() + text.size() > kBufferSize) {
      if (Status st = drain(Z_NO_FLUSH); !st) return st;
    }
    buffer_.append(text);
    return ok_status();
  }

  // Writes what is buffered; for gzip also ends the member.
  Status finish() { return drain(Z_FINISH); }

 private:
  static constexpr std::size_t kBufferSize = 8192;

  Status write_all(const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t put = ::write(fd_, data, size);
      if (put < 0) return Error{os_error_text(errno)};
      data += put;
      size -= static_cast<std::size_t>(put);
    }
    return ok_status();
  }

  Status drain(int flush) {
    if (!gzip_) {
      Status st = write_all(buffer_.data(), buffer_.size());
      buffer_.clear();
      return st;
    }
    stream_.next_in = reinterpret_cast<Bytef*>(buffer_.data());
    stream_.avail_in = static_cast<uInt>(buffer_.size());
    char out[32768];
    int rc;
    do {  // until the input is consumed (and, when finishing, the member ended)
      stream_.next_out = reinterpret_cast<Bytef*>(out);
      stream_.avail_out = sizeof out;
      rc = deflate(&stream_, flush);
      QUENFA_ENSURE(rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR, "deflate failed");
      if (Status st = write_all(out, sizeof out - stream_.avail_out); !st) return st;
    } while (flush == Z_FINISH ? rc != Z_STREAM_END : stream_.avail_out == 0);
    buffer_.clear();
    return ok_status();
  }

  int fd_;
  bool gzip_;
  std::string buffer_;
  z_stream stream_{};
  gz_header header_{};
};

Status write_layout(CacheSink& sink, const DecorCache& cache) {
  const DecorCacheMetadata& m = cache.metadata;
  std::uint64_t rows = 0;
  for (const auto& [name, scores] : cache.pathways) {
    QUENFA_ENSURE(scores.genes.size() == scores.redundancy.size(),
                  "one redundancy score per cached gene");
    rows += scores.genes.size();
  }
  // n_rows states the rows below, so that the file always reads back.
  const std::string values[] = {m.format,
                                m.version,
                                m.created_by,
                                m.gmt_sha256,
                                m.expression_sha256,
                                std::string(to_text(m.correlation)),
                                std::string(to_text(m.redundancy)),
                                m.expression_gene_axis,
                                m.expression_has_header ? "true" : "false",
                                m.gene_id_mode,
                                std::to_string(m.n_pathways),
                                std::to_string(rows)};
  for (std::size_t i = 0; i < kCacheMetadataKeys.size(); ++i) {
    const std::string line = "# " + std::string(kCacheMetadataKeys[i]) + "=" + values[i] + "\n";
    if (Status st = sink.append(line); !st) return st;
  }
  if (Status st = sink.append(std::string(kCacheHeader) + "\n"); !st) return st;
  std::string row;
  for (const auto& [name, scores] : cache.pathways) {
    for (std::size_t i = 0; i < scores.genes.size(); ++i) {
      row.assign(name).append("\t").append(scores.genes[i]).append("\t");
      row.append(format_redundancy(scores.redundancy[i])).append("\n");
      if (Status st = sink.append(row); !st) return st;
    }
  }
  return sink.finish();
}

// Writes the layout to the freshly created file, syncs and closes it.
Status write_and_sync(UniqueFd fd, bool gzip, const DecorCache& cache) {
  {
    CacheSink sink(fd.get(), gzip);
    if (Status st = write_layout(sink, cache); !st) return st;
  }
  if (::fsync(fd.get()) != 0) return Error{os_error_text(errno)};
  if (fd.close() != 0) return Error{os_error_text(errno)};
  return ok_status();
}

}  // namespace

Status check_storable_pathway_name(std::string_view name) {
  if (!name.empty() && name[0] == '#') {
    return Error{"decor cache cannot store pathway '" + std::string(name) +
                 "': a name beginning with # would read back as a metadata line"};
  }
  return ok_status();
}

Status check_replaceable_by_cache(const std::string& path) {
  struct stat status;
  if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &status) != 0) {
    return ok_status();  // nothing there to lose
  }
  const auto refuse = [&] {
    return Error{"Refusing to replace '" + path +
                 "': it is not a decor cache (its first line is not the cache's format line)"};
  };
  if (S_ISDIR(status.st_mode)) return ok_status();  // the rename reports it
  if (!S_ISREG(status.st_mode)) return refuse();    // a FIFO or device is never opened here
  if (status.st_size == 0) return ok_status();
  auto reader = LineReader::open(path);
  if (!reader) return refuse();
  std::string first;
  auto got = reader.value().next(first);
  const std::string format_line = "# " + std::string(kCacheMetadataKeys[0]) + "=";
  if (!got || !got.value() || !first.starts_with(format_line)) return refuse();
  return ok_status();
}

Status write_decor_cache_atomic(const std::string& path, const DecorCache& cache) {
  for (const auto& entry : cache.pathways) {
    if (Status st = check_storable_pathway_name(entry.first); !st) return st;
  }
  QUENFA_ENSURE(path.find('\0') == std::string::npos, "cache path without NUL bytes");
  if (Status st = check_replaceable_by_cache(path); !st) return st;
  const std::filesystem::path target(path);
  const std::filesystem::path parent = target.parent_path();
  if (!parent.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) return Error{"Failed to create cache directory '" + parent.string() + "'"};
  }
  std::string name = target.filename().string();
  if (name.empty() || name == "." || name == ".." || !is_valid_utf8(name)) name = "decor-cache";
  const std::string temporary = (parent / (name + ".tmp." + std::to_string(::getpid()))).string();

  UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) return Error{"Failed to create '" + temporary + "'"};
  Status written = write_and_sync(std::move(fd), has_gz_extension(path), cache);
  if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
    written = Error{"Failed to rename temporary cache '" + temporary + "' to '" + path + "'"};
  }
  if (!written) std::remove(temporary.c_str());
  return written;
}

}  // namespace quenfa::decor
