// Ending the process over what no caller can handle: a broken invariant, a failed random
// source.
#pragma once

#include <string_view>

namespace dsf {

// Writes `message` and an LF to standard error, then aborts.
[[noreturn]] void end_process(std::string_view message);

}  // namespace dsf
