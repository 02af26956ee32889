#include "quenfa/core/score_type.hpp"

#include "quenfa/core/text.hpp"

namespace quenfa {

Result<ScoreType> parse_score_type(std::string_view text) {
  const std::string lowered = ascii_lower(text);
  if (lowered == "std") return ScoreType::Std;
  if (lowered == "pos") return ScoreType::Pos;
  if (lowered == "neg") return ScoreType::Neg;
  return Error{"Invalid scoreType '" + lowered + "'. Expected one of: std, pos, neg."};
}

}  // namespace quenfa
