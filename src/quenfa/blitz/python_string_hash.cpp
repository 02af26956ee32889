#include "quenfa/blitz/python_string_hash.hpp"

#include <bit>

namespace quenfa::blitz {

namespace {

struct SipState {
  // "somepseudorandomlygeneratedbytes" xor the zero key.
  std::uint64_t v0 = 0x736f6d6570736575ULL;
  std::uint64_t v1 = 0x646f72616e646f6dULL;
  std::uint64_t v2 = 0x6c7967656e657261ULL;
  std::uint64_t v3 = 0x7465646279746573ULL;

  void round() {
    v0 += v1;
    v2 += v3;
    v1 = std::rotl(v1, 13) ^ v0;
    v3 = std::rotl(v3, 16) ^ v2;
    v0 = std::rotl(v0, 32);
    v2 += v1;
    v0 += v3;
    v1 = std::rotl(v1, 17) ^ v2;
    v3 = std::rotl(v3, 21) ^ v0;
    v2 = std::rotl(v2, 32);
  }

  void compress(std::uint64_t m) {
    v3 ^= m;
    round();
    v0 ^= m;
  }
};

// Little-endian load of up to eight bytes.
std::uint64_t load_le(std::string_view bytes) {
  std::uint64_t m = 0;
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    m |= std::uint64_t{static_cast<unsigned char>(bytes[k])} << (8 * k);
  }
  return m;
}

}  // namespace

std::uint64_t siphash13_zero_key(std::string_view bytes) {
  SipState s;
  const std::size_t full = bytes.size() - bytes.size() % 8;
  for (std::size_t k = 0; k < full; k += 8) s.compress(load_le(bytes.substr(k, 8)));
  // The last block carries the length modulo 256 in its top byte.
  s.compress((std::uint64_t{bytes.size() & 0xff} << 56) | load_le(bytes.substr(full)));
  s.v2 ^= 0xff;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

std::uint64_t python_string_hash(std::string_view utf8) {
  const std::uint64_t h = siphash13_zero_key(utf8);
  return h == ~std::uint64_t{0} ? ~std::uint64_t{1} : h;
}

}  // namespace quenfa::blitz
