// The console report: whole lines written straight to file descriptor 1.
#pragma once

#include <initializer_list>
#include <string_view>

#include "common/error.hpp"

namespace dsf {

// Writes `line` and an LF under one lock, with one write call where descriptor 1 takes it
// whole, so that report lines of calls on other threads never interleave within a line. A
// closed standard output, or a pipe whose reader has gone, drops the line silently; a full
// non-blocking one is waited on until it has room. Any other failure is a ReportError; a wait
// that the call's interrupt check stops is the "interrupted" failure (EINTR).
Status report_line(std::string_view line);

// Each line written on its own, as report_line; the first failure ends the report.
Status report_lines(std::initializer_list<std::string_view> lines);

}  // namespace dsf
