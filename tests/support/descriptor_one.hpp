// Descriptor 1, where the engines write their report, put elsewhere for the length of a test
// body: a temporary file whose text is read back, or a pipe, a full device or nothing at all.
#pragma once

#include <functional>
#include <string>

namespace dsf::testing {

// Runs body() with descriptor 1 on a duplicate of `fd` (closed when `fd` is -1), then puts the
// old descriptor 1 back.
void with_descriptor_one(int fd, const std::function<void()>& body);

// Runs body() with descriptor 1 sent to a fresh temporary file; gives what was written there.
std::string capture_descriptor_one(const std::function<void()>& body);

}  // namespace dsf::testing
