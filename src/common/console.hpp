// The console report: whole lines written straight to file descriptor 1.
#pragma once

#include <string_view>

namespace dsf {

// Writes `line` and an LF with one write call, under one lock, so that report lines of calls
// on other threads never interleave within a line. A closed standard output, or a pipe whose
// reader has gone, drops the line silently; any other failure ends the process.
void report_line(std::string_view line);

}  // namespace dsf
