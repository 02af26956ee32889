#include "quenfa/api/execution_plan.hpp"

#include <gtest/gtest.h>

#include "quenfa/core/score_type.hpp"

namespace quenfa::api {
namespace {

TEST(ParseChoices, AcceptAnyCaseAndQuoteTheLoweredTextOnError) {
  EXPECT_EQ(parse_interface_mode("MultiLevel").value(), InterfaceMode::Multilevel);
  EXPECT_EQ(parse_interface_mode("simple").value(), InterfaceMode::Simple);
  EXPECT_EQ(parse_interface_mode("KELDA").value(), InterfaceMode::Kelda);
  EXPECT_EQ(parse_interface_mode("Blitz").value(), InterfaceMode::Blitz);
  EXPECT_EQ(parse_interface_mode("Fast").error(),
            "Invalid mode 'fast'. Expected one of: kelda, multilevel, simple, blitz.");

  EXPECT_EQ(parse_score_type("POS").value(), ScoreType::Pos);
  EXPECT_EQ(parse_score_type("Both").error(),
            "Invalid scoreType 'both'. Expected one of: std, pos, neg.");

  EXPECT_EQ(parse_method("Decor").value(), Method::Decor);
  EXPECT_EQ(parse_method("Other").error(),
            "Invalid method 'other'. Expected one of: classic, decor.");
}

TEST(ResolveExecutionPlan, AlwaysCpuAndRefusesNpermWithBlitz) {
  auto plan = resolve_execution_plan(InterfaceMode::Simple, true);
  ASSERT_TRUE(plan.ok());
  EXPECT_EQ(plan.value().device, Device::Cpu);
  EXPECT_EQ(plan.value().mode, InterfaceMode::Simple);
  EXPECT_TRUE(resolve_execution_plan(InterfaceMode::Blitz, false).ok());
  EXPECT_EQ(resolve_execution_plan(InterfaceMode::Blitz, true).error(),
            "nperm is not supported with mode='blitz'.");
}

}  // namespace
}  // namespace quenfa::api
