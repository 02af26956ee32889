// SHA-256 of bytes fed in pieces, and of a file's bytes streamed in 64 KiB
// chunks, or of a text.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <openssl/evp.h>

#include "quenfa/core/result.hpp"

namespace quenfa::decor {

class Sha256 {
 public:
  Sha256();
  void update(std::string_view bytes);
  // 64 lowercase hex digits of everything fed so far; ends the digest.
  std::string hex();

 private:
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx_;
};

// 64 lowercase hex digits; fails with "Failed to open '{path}'" or
// "Failed to read '{path}'".
Result<std::string> file_sha256(const std::string& path);

// 64 lowercase hex digits of the SHA-256 of `bytes`.
std::string text_sha256(std::string_view bytes);

}  // namespace quenfa::decor
