#include "quenfa/core/gmt_reader.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "quenfa/core/os_error.hpp"
#include "quenfa/core/text.hpp"

namespace quenfa {

Status parse_gmt_line(std::string_view line, std::size_t line_number, PathwayDb& out) {
  if (trim_unicode_whitespace(line).empty()) return ok_status();

  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  if (fields.size() < 3) {
    return Error{"Malformed GMT line " + std::to_string(line_number) +
                 ": expected at least 3 tab-separated columns."};
  }
  Pathway pathway;
  pathway.name = std::string(fields[0]);
  if (!fields[1].empty()) pathway.description = std::string(fields[1]);
  pathway.genes.reserve(fields.size() - 2);
  for (std::size_t i = 2; i < fields.size(); ++i) {
    const std::string_view gene = trim_unicode_whitespace(fields[i]);
    if (!gene.empty()) pathway.genes.emplace_back(gene);
  }
  out.push_back(std::move(pathway));
  return ok_status();
}

namespace {

// Validates and parses one raw line; `ended_with_newline` says whether the
// line was terminated by "\n" (the last line of a file may not be).
Status take_line(std::string_view raw, bool ended_with_newline, std::size_t line_number,
                 PathwayDb& out) {
  if (!is_valid_utf8(raw)) return Error{"stream did not contain valid UTF-8"};
  if (ended_with_newline && !raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  return parse_gmt_line(raw, line_number, out);
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

Result<PathwayDb> read_gmt(const std::string& path,
                           const std::function<void(std::string_view)>& on_bytes) {
  // A path with a NUL byte would silently name a different file.
  if (path.find('\0') != std::string::npos)
    return Error{"file name contained an unexpected NUL byte"};
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Error{os_error_text(errno)};

  PathwayDb db;
  std::string line;
  std::size_t line_number = 0;
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Error{os_error_text(errno)};
    }
    if (got == 0) break;
    std::string_view chunk(buffer, static_cast<std::size_t>(got));
    if (on_bytes) on_bytes(chunk);
    for (;;) {
      const std::size_t nl = chunk.find('\n');
      if (nl == std::string_view::npos) {
        line.append(chunk);
        break;
      }
      ++line_number;
      std::string_view raw = chunk.substr(0, nl);
      if (!line.empty()) {
        line.append(raw);
        raw = line;
      }
      if (Status st = take_line(raw, true, line_number, db); !st) return Error{st.error()};
      line.clear();
      chunk.remove_prefix(nl + 1);
    }
  }
  if (!line.empty()) {
    if (Status st = take_line(line, false, ++line_number, db); !st) return Error{st.error()};
  }
  return db;
}

}  // namespace quenfa
