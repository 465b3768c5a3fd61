// A fresh folder under the system's temporary folder, removed with everything in it at the end
// of the test.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dsf::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Small file helpers for test set-up, failing the test on error.
void write_test_file(const std::string& path, std::string_view bytes);
std::string read_test_file(const std::string& path);

// The names in `folder`, sorted.
std::vector<std::string> entries_of(const std::string& folder);

// Runs `body` in `folder` as the current folder, then returns to the previous one.
template <class Body>
void in_folder(const std::string& folder, Body body);

}  // namespace dsf::testing

#include <unistd.h>

#include <climits>
#include <stdexcept>

template <class Body>
void dsf::testing::in_folder(const std::string& folder, Body body) {
  char previous[PATH_MAX];
  if (::getcwd(previous, sizeof previous) == nullptr) throw std::runtime_error("getcwd");
  if (::chdir(folder.c_str()) != 0) throw std::runtime_error("chdir");
  struct Back {
    const char* to;
    ~Back() { (void)!::chdir(to); }
  } back{previous};
  body();
}
