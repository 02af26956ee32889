#include "quenfa/decor/file_digest.hpp"

#include <fcntl.h>

#include <vector>

#include "quenfa/core/internal_fault.hpp"
#include "quenfa/core/unique_fd.hpp"

namespace quenfa::decor {

Sha256::Sha256() : ctx_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
  QUENFA_ENSURE(ctx_ && EVP_DigestInit_ex(ctx_.get(), EVP_sha256(), nullptr) == 1,
                "SHA-256 digest setup");
}

void Sha256::update(std::string_view bytes) {
  QUENFA_ENSURE(EVP_DigestUpdate(ctx_.get(), bytes.data(), bytes.size()) == 1,
                "SHA-256 digest update");
}

std::string Sha256::hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  QUENFA_ENSURE(EVP_DigestFinal_ex(ctx_.get(), digest, &length) == 1 && length == 32,
                "SHA-256 digest final");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

Result<std::string> file_sha256(const std::string& path) {
  const UniqueFd fd(
      path.find('\0') != std::string::npos ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Error{"Failed to open '" + path + "'"};
  Sha256 digest;
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    const ssize_t got = ::read(fd.get(), chunk.data(), chunk.size());
    if (got < 0) return Error{"Failed to read '" + path + "'"};
    if (got == 0) break;
    digest.update({chunk.data(), static_cast<std::size_t>(got)});
  }
  return digest.hex();
}

std::string text_sha256(std::string_view bytes) {
  Sha256 digest;
  digest.update(bytes);
  return digest.hex();
}

}  // namespace quenfa::decor
