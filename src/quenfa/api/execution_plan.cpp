#include "quenfa/api/execution_plan.hpp"

#include "quenfa/core/choice.hpp"

namespace quenfa::api {

Result<InterfaceMode> parse_interface_mode(std::string_view text) {
  static constexpr ChoiceTable<InterfaceMode, 4> kChoices = {
      {{"kelda", InterfaceMode::Kelda},
       {"multilevel", InterfaceMode::Multilevel},
       {"simple", InterfaceMode::Simple},
       {"blitz", InterfaceMode::Blitz}}};
  return parse_choice(text, "mode", kChoices);
}

Result<Method> parse_method(std::string_view text) {
  static constexpr ChoiceTable<Method, 2> kChoices = {
      {{"classic", Method::Classic}, {"decor", Method::Decor}}};
  return parse_choice(text, "method", kChoices);
}

Result<ExecutionPlan> resolve_execution_plan(InterfaceMode mode, bool nperm_given) {
  if (mode == InterfaceMode::Blitz && nperm_given) {
    return Error{"nperm is not supported with mode='blitz'."};
  }
  return ExecutionPlan{Device::Cpu, mode};
}

}  // namespace quenfa::api
