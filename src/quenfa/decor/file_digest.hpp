// SHA-256 of a file's bytes, streamed in 64 KiB chunks.
#pragma once

#include <string>

#include "quenfa/core/result.hpp"

namespace quenfa::decor {

// 64 lowercase hex digits; fails with "Failed to open '{path}'" or
// "Failed to read '{path}'".
Result<std::string> file_sha256(const std::string& path);

}  // namespace quenfa::decor
