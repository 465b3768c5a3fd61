// The operating system's random source: the only source of randomness for keys.
#pragma once

#include <cstddef>
#include <span>

#include "common/error.hpp"

namespace dsf {

// Fills `bytes` whole. Uses the getrandom system call; where the kernel lacks it or a sandbox
// forbids it, reads "/dev/urandom" instead, opened once (after "/dev/random" has become
// readable, so the pool is initialised) and kept open for the life of the process. Any failure
// of the source ends the process with "Error: {}" on standard error: a key must never be made
// from anything but good random bytes, and there is no sensible way to go on without them. The
// one failure it returns is a wait that the call's interrupt check stopped.
[[nodiscard]] Status fill_os_random(std::span<std::byte> bytes);

}  // namespace dsf
