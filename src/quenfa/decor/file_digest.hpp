// SHA-256 of a file's bytes, streamed in 64 KiB chunks, or of a text.
#pragma once

#include <string>
#include <string_view>

#include "quenfa/core/result.hpp"

namespace quenfa::decor {

// 64 lowercase hex digits; fails with "Failed to open '{path}'" or
// "Failed to read '{path}'".
Result<std::string> file_sha256(const std::string& path);

// 64 lowercase hex digits of the SHA-256 of `bytes`.
std::string text_sha256(std::string_view bytes);

}  // namespace quenfa::decor
