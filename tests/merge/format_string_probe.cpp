// Reads file paths, one a line, from standard input and prints for each a line "1" when the
// Python text of the file has an f- or t-string over several lines, "0" otherwise, and "-" when
// the file cannot be read. The module tests hold its answers against Python's own tokenizer.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "merge/format_strings.hpp"

int main() {
  for (std::string path; std::getline(std::cin, path);) {
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file && !file.eof()) {
      std::cout << "-\n";
      continue;
    }
    std::cout << (dsf::format_string_spans_lines(text) ? "1\n" : "0\n");
  }
  return std::cout.flush() ? 0 : 1;
}
