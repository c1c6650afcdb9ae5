// The message a library call fails with, for tests that check the exact text.
#pragma once

#include <functional>
#include <string>

#include "pgraphic/messages.h"

namespace korvane_test {

// The message of the EPixelGraphic that `action` raises; `none` when it raises nothing.
inline std::string MessageOf(const std::function<void()>& action, const std::string& none = "") {
  try {
    action();
  } catch (const pgraphic::EPixelGraphic& e) {
    return e.what();
  }
  return none;
}

}  // namespace korvane_test
