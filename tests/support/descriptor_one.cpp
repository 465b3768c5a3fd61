#include "support/descriptor_one.hpp"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace dsf::testing {

void with_descriptor_one(int fd, const std::function<void()>& body) {
  std::fflush(stdout);  // what the test program printed before goes where it belongs
  int saved = ::dup(1);
  if (saved < 0) throw std::runtime_error("dup of descriptor 1");
  if ((fd < 0 ? ::close(1) : ::dup2(fd, 1)) < 0) {
    ::close(saved);
    throw std::runtime_error("redirecting descriptor 1");
  }
  struct Back {
    int saved;
    ~Back() {
      ::dup2(saved, 1);
      ::close(saved);
    }
  } back{saved};
  body();
}

std::string capture_descriptor_one(const std::function<void()>& body) {
  std::FILE* caught = std::tmpfile();
  if (caught == nullptr) throw std::runtime_error("tmpfile");
  struct Closed {
    std::FILE* file;
    ~Closed() { std::fclose(file); }
  } closed{caught};
  with_descriptor_one(::fileno(caught), body);
  std::string text;
  std::rewind(caught);
  for (int c; (c = std::fgetc(caught)) != EOF;) text += static_cast<char>(c);
  return text;
}

}  // namespace dsf::testing
