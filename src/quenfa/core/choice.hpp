// Parsing the name of a choice (a mode, a score type, a decor option) into
// its enumeration value.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "quenfa/core/result.hpp"
#include "quenfa/core/text.hpp"

namespace quenfa {

template <class Enum, std::size_t N>
using ChoiceTable = std::array<std::pair<std::string_view, Enum>, N>;

// The value whose name equals `text` ASCII-lower-cased; otherwise the error
// "Invalid {what} '{lowered text}'. Expected one of: {names in table order}."
template <class Enum, std::size_t N>
Result<Enum> parse_choice(std::string_view text, std::string_view what,
                          const ChoiceTable<Enum, N>& choices) {
  const std::string lowered = ascii_lower(text);
  std::string names;
  for (const auto& [name, value] : choices) {
    if (lowered == name) return value;
    if (!names.empty()) names += ", ";
    names += name;
  }
  return Error{
      ErrorKind::InvalidArgument,
      "Invalid " + std::string(what) + " '" + lowered + "'. Expected one of: " + names + ".",
      ErrorOrigin::Input};
}

}  // namespace quenfa
