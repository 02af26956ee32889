#include "quenfa/plot/png_writer.hpp"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "quenfa/core/os_error.hpp"

namespace quenfa::plot {

std::uint32_t pixels_per_metre(std::uint32_t dpi) {
  const double ppm = std::round(static_cast<double>(dpi) / 0.0254);
  if (ppm >= 4294967295.0) return UINT32_MAX;
  return ppm < 1.0 ? 1 : static_cast<std::uint32_t>(ppm);
}

namespace {

// The file behind libpng's output callbacks, written through an 8192-byte
// buffer; the first failure is kept (errno, or libpng's own message).
struct PngSink {
  int fd = -1;
  unsigned char buffer[8192];
  std::size_t used = 0;
  int os_error = 0;
  char library_error[256] = {};

  bool flush_buffer() {
    std::size_t done = 0;
    while (done < used) {
      const ssize_t n = ::write(fd, buffer + done, used - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        os_error = errno;
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    used = 0;
    return true;
  }
};

PngSink& sink_of(png_structp png) {
  return *static_cast<PngSink*>(png_get_io_ptr(png));
}

void write_callback(png_structp png, png_bytep data, png_size_t length) {
  PngSink& sink = sink_of(png);
  while (length > 0) {
    if (sink.used == sizeof sink.buffer && !sink.flush_buffer()) png_error(png, "write failed");
    const std::size_t n = std::min(length, sizeof sink.buffer - sink.used);
    std::memcpy(sink.buffer + sink.used, data, n);
    sink.used += n;
    data += n;
    length -= n;
  }
}

void flush_callback(png_structp) {}  // the buffer is flushed once, at the end

void error_callback(png_structp png, png_const_charp message) {
  auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
  if (sink->library_error[0] == '\0') {
    std::strncpy(sink->library_error, message, sizeof sink->library_error - 1);
  }
  png_longjmp(png, 1);
}

void warning_callback(png_structp, png_const_charp) {}

// A name beside `path`, unique within the process and among processes:
// "{path}.{pid}.{n}.tmp".
std::string temporary_png_path(const std::string& path) {
  static std::atomic<std::uint64_t> counter{0};
  return path + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
}

// libpng reports failures by longjmp: this frame holds nothing that needs
// destroying.
bool encode(png_structp png, png_infop info, const Canvas& canvas, std::uint32_t ppm,
            png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_write_fn(png, png_get_error_ptr(png), write_callback, flush_callback);
  png_set_compression_level(png, 6);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  png_set_IHDR(png, info, canvas.width(), canvas.height(), 8, PNG_COLOR_TYPE_RGBA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

}  // namespace

Status save_png_with_dpi(const Canvas& canvas, const std::string& path, std::uint32_t dpi) {
  std::vector<png_bytep> rows(canvas.height());
  for (std::uint32_t y = 0; y < canvas.height(); ++y) {
    rows[y] = const_cast<png_bytep>(canvas.row(y));
  }
  // Written beside the target and renamed onto it once complete, so a
  // failure leaves neither a partial file nor a damaged earlier one.
  const std::string temporary = temporary_png_path(path);
  PngSink sink;
  sink.fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (sink.fd < 0) return Error{os_error_text(errno)};
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, error_callback, warning_callback);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  bool ok = info != nullptr && encode(png, info, canvas, pixels_per_metre(dpi), rows.data());
  png_destroy_write_struct(&png, &info);
  ok = ok && sink.flush_buffer();
  if (ok && ::fsync(sink.fd) != 0) {
    sink.os_error = errno;
    ok = false;
  }
  if (::close(sink.fd) != 0 && ok) {
    sink.os_error = errno;
    ok = false;
  }
  if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
    sink.os_error = errno;
    ok = false;
  }
  if (ok) return ok_status();
  ::unlink(temporary.c_str());
  if (sink.os_error != 0) return Error{os_error_text(sink.os_error)};
  return Error{sink.library_error[0] != '\0' ? sink.library_error : "PNG encoder out of memory"};
}

}  // namespace quenfa::plot
