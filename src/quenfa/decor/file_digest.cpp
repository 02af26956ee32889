#include "quenfa/decor/file_digest.hpp"

#include <fcntl.h>
#include <openssl/evp.h>

#include <memory>
#include <vector>

#include "quenfa/core/internal_fault.hpp"
#include "quenfa/core/unique_fd.hpp"

namespace quenfa::decor {

namespace {

using DigestContext = std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)>;

DigestContext new_digest() {
  DigestContext ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  QUENFA_ENSURE(ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1,
                "SHA-256 digest setup");
  return ctx;
}

void update_digest(EVP_MD_CTX* ctx, const void* data, std::size_t size) {
  QUENFA_ENSURE(EVP_DigestUpdate(ctx, data, size) == 1, "SHA-256 digest update");
}

std::string hex_digest(EVP_MD_CTX* ctx) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  QUENFA_ENSURE(EVP_DigestFinal_ex(ctx, digest, &length) == 1 && length == 32,
                "SHA-256 digest final");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

}  // namespace

Result<std::string> file_sha256(const std::string& path) {
  const UniqueFd fd(
      path.find('\0') != std::string::npos ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Error{"Failed to open '" + path + "'"};
  const DigestContext ctx = new_digest();
  std::vector<unsigned char> chunk(64 * 1024);
  for (;;) {
    const ssize_t got = ::read(fd.get(), chunk.data(), chunk.size());
    if (got < 0) return Error{"Failed to read '" + path + "'"};
    if (got == 0) break;
    update_digest(ctx.get(), chunk.data(), static_cast<std::size_t>(got));
  }
  return hex_digest(ctx.get());
}

std::string text_sha256(std::string_view bytes) {
  const DigestContext ctx = new_digest();
  update_digest(ctx.get(), bytes.data(), bytes.size());
  return hex_digest(ctx.get());
}

}  // namespace quenfa::decor
