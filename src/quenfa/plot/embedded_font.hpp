// Inter Variable 4.001, compiled into the library from
// assets/fonts/InterVariable.ttf by the build (embed_bytes.cmake).
#pragma once

#include <span>

namespace quenfa::plot {

std::span<const unsigned char> embedded_font_bytes();

}  // namespace quenfa::plot
