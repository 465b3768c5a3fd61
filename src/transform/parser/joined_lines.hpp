// The text a rewriting builds: its lines joined with one LF between neighbours, none after the
// last.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace dsf {

// Most lines of a source are copied as they are. Copied lines that follow each other in the
// source with a bare LF between them (as the lines of one LineCursor do, unless a CR stood
// before the LF) are still one piece of the source, and go in with one append.
class JoinedLines {
 public:
  explicit JoinedLines(std::size_t expected_size) { text_.reserve(expected_size); }

  // `line` is a view into the source text, and comes after every line copied before it.
  void copy(std::string_view line) {
    if (copying_ && line.data() == run_.data() + run_.size() + 1) {
      run_ = std::string_view(run_.data(), run_.size() + 1 + line.size());
      return;
    }
    start_line();
    run_ = line;
    copying_ = true;
  }

  // Starts a line of its own and gives the text to write it into.
  std::string& add() {
    start_line();
    return text_;
  }

  std::string take() && {
    flush_run();
    return std::move(text_);
  }

 private:
  void start_line() {
    flush_run();
    if (lines_++ > 0) text_ += '\n';
  }
  void flush_run() {
    text_ += run_;
    run_ = {};
    copying_ = false;
  }

  std::string text_;
  std::string_view run_;  // copied lines not yet in text_
  bool copying_ = false;  // run_ holds a line, be it empty
  std::size_t lines_ = 0;
};

}  // namespace dsf
