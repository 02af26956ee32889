// QUENFA_HP_TRY(target, expr): evaluates `expr`, a Result; on error returns
// that error from the enclosing function (whose result type is built from an
// Error), otherwise moves the value into `target`.
#pragma once

#include <utility>

#include "quenfa/core/result.hpp"

#define QUENFA_HP_TRY(target, expr)                          \
  do {                                                       \
    auto quenfa_hp_try_result_ = (expr);                     \
    if (!quenfa_hp_try_result_) {                            \
      return ::quenfa::Error{quenfa_hp_try_result_.error()}; \
    }                                                        \
    (target) = std::move(quenfa_hp_try_result_).value();     \
  } while (0)
