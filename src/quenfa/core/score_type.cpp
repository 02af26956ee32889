#include "quenfa/core/score_type.hpp"

#include "quenfa/core/choice.hpp"

namespace quenfa {

Result<ScoreType> parse_score_type(std::string_view text) {
  static constexpr ChoiceTable<ScoreType, 3> kChoices = {
      {{"std", ScoreType::Std}, {"pos", ScoreType::Pos}, {"neg", ScoreType::Neg}}};
  return parse_choice(text, "scoreType", kChoices);
}

}  // namespace quenfa
