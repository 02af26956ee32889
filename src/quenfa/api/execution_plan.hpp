// Interface modes of the analysis entry and the plan that selects an engine.
#pragma once

#include <cstdint>
#include <string_view>

#include "quenfa/core/result.hpp"

namespace quenfa::api {

enum class InterfaceMode : std::uint8_t { Multilevel = 0, Simple = 1, Kelda = 2, Blitz = 3 };

enum class Method : std::uint8_t { Classic = 0, Decor = 1 };

enum class Device : std::uint8_t { Cpu = 0 };

struct ExecutionPlan {
  Device device = Device::Cpu;
  InterfaceMode mode = InterfaceMode::Kelda;
};

// ASCII-lower-cases `text`, then maps the mode names to their codes.
Result<InterfaceMode> parse_interface_mode(std::string_view text);

// ASCII-lower-cases `text`, then accepts "classic" or "decor".
Result<Method> parse_method(std::string_view text);

// The plan always runs on the CPU; a fixed permutation count is refused in
// mode "blitz".
Result<ExecutionPlan> resolve_execution_plan(InterfaceMode mode, bool nperm_given);

}  // namespace quenfa::api
