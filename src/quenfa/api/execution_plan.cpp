#include "quenfa/api/execution_plan.hpp"

#include "quenfa/core/text.hpp"

namespace quenfa::api {

Result<InterfaceMode> parse_interface_mode(std::string_view text) {
  const std::string lowered = ascii_lower(text);
  if (lowered == "multilevel") return InterfaceMode::Multilevel;
  if (lowered == "simple") return InterfaceMode::Simple;
  if (lowered == "kelda") return InterfaceMode::Kelda;
  if (lowered == "blitz") return InterfaceMode::Blitz;
  return Error{"Invalid mode '" + lowered +
               "'. Expected one of: kelda, multilevel, simple, blitz."};
}

Result<Method> parse_method(std::string_view text) {
  const std::string lowered = ascii_lower(text);
  if (lowered == "classic") return Method::Classic;
  if (lowered == "decor") return Method::Decor;
  return Error{"Invalid method '" + lowered + "'. Expected one of: classic, decor."};
}

Result<ExecutionPlan> resolve_execution_plan(InterfaceMode mode, bool nperm_given) {
  if (mode == InterfaceMode::Blitz && nperm_given) {
    return Error{"nperm is not supported with mode='blitz'."};
  }
  return ExecutionPlan{Device::Cpu, mode};
}

}  // namespace quenfa::api
