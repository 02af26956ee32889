// Gene sets as read from a GMT file.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quenfa {

struct Pathway {
  std::string name;
  std::vector<std::string> genes;  // file order, duplicates kept
  std::optional<std::string> description;
};

// Pathways in file order; names need not be unique.
using PathwayDb = std::vector<Pathway>;

}  // namespace quenfa
