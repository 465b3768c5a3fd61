// Runs a fuzz target's checks once over every file of the folders and files named on the
// command line, without libFuzzer: a fuzz target's corpus doubles as a regression test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void run_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
  // A copy of exactly the input's size, so that a read past its end is caught by ASan.
  std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.data(), input.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path root(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(root)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.push_back(root);
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      run_file(file);
      ++runs;
    }
  }
  if (runs == 0) {
    std::fprintf(stderr, "no inputs\n");
    return 2;
  }
  std::printf("%zu inputs passed\n", runs);
  return 0;
}
