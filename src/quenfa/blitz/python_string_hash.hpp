// The string hash of the Python-order sets: CPython's SipHash-1-3 with the
// zero key it uses under PYTHONHASHSEED=0.
#pragma once

#include <cstdint>
#include <string_view>

namespace quenfa::blitz {

// SipHash-1-3 (one compression round per 8-byte block, three finalisation
// rounds) of the bytes, keyed with sixteen zero bytes.
std::uint64_t siphash13_zero_key(std::string_view bytes);

// SipHash-1-3 of the key's UTF-8 bytes; a hash that reads as -1 when signed
// becomes -2, as CPython reserves -1. The empty string is hashed like any other
// (CPython would give it 0), and non-ASCII text is hashed over its UTF-8 bytes
// (CPython would hash its internal representation).
std::uint64_t python_string_hash(std::string_view utf8);

}  // namespace quenfa::blitz
