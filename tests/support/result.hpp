// Reads engine results in tests: the value, or a test failure that shows the error's text.
#pragma once

#include <gtest/gtest.h>

#include "common/error.hpp"

namespace dsf::testing {

template <class T>
T value_of(Result<T> result) {
  if (!result) {
    ADD_FAILURE() << "unexpected failure: " << result.error().display();
    return T{};
  }
  return std::move(*result);
}

// The display text of a failure, or a test failure when the call succeeded.
template <class T>
std::string failure_of(const Result<T>& result) {
  if (result) {
    ADD_FAILURE() << "unexpected success";
    return {};
  }
  return result.error().display();
}

}  // namespace dsf::testing
