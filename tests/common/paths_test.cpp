#include "common/paths.hpp"

#include <gtest/gtest.h>

namespace dsf {
namespace {

using Kind = PathComponent::Kind;

std::vector<std::pair<Kind, std::string>> components_of(std::string_view path) {
  std::vector<std::pair<Kind, std::string>> out;
  for (const auto& c : path_components(path)) out.emplace_back(c.kind, std::string(c.text));
  return out;
}

TEST(PathComponents, FollowTheCuttingRules) {
  using C = std::vector<std::pair<Kind, std::string>>;
  EXPECT_EQ(components_of(""), C{});
  EXPECT_EQ(components_of("a/"), (C{{Kind::Name, "a"}}));
  EXPECT_EQ(components_of("a//."), (C{{Kind::Name, "a"}}));
  EXPECT_EQ(components_of("a//"), (C{{Kind::Name, "a"}}));
  EXPECT_EQ(components_of("a/."), (C{{Kind::Name, "a"}}));
  EXPECT_EQ(components_of("."), (C{{Kind::CurrentFolder, "."}}));
  EXPECT_EQ(components_of(".//./a"), (C{{Kind::CurrentFolder, "."}, {Kind::Name, "a"}}));
  EXPECT_EQ(components_of("/.."), (C{{Kind::Root, "/"}, {Kind::ParentFolder, ".."}}));
  EXPECT_EQ(components_of("./a"), (C{{Kind::CurrentFolder, "."}, {Kind::Name, "a"}}));
  EXPECT_EQ(components_of("a/./b/../"), (C{{Kind::Name, "a"}, {Kind::Name, "b"}, {Kind::ParentFolder, ".."}}));
  EXPECT_EQ(components_of("//x"), (C{{Kind::Root, "/"}, {Kind::Name, "x"}}));
  EXPECT_EQ(components_of(".hidden"), (C{{Kind::Name, ".hidden"}}));
}

TEST(PathParent, MatchesTheTable) {
  struct Case { std::string_view path; std::optional<std::string_view> parent; };
  for (auto [path, parent] : {Case{"a/b/c", "a/b"}, Case{"a/b/", "a"}, Case{"a/./b", "a"}, Case{"./a", "."},
                              Case{"a/..", "a"}, Case{"/a", "/"}, Case{"a", ""}, Case{".", ""}, Case{"..", ""},
                              Case{"", std::nullopt}, Case{"/", std::nullopt}, Case{"a/b/../x.py.js", "a/b/.."},
                              Case{"/srv/app/x.py.js", "/srv/app"}, Case{"//a//b//", "//a"}}) {
    EXPECT_EQ(path_parent(path), parent) << path;
  }
}

TEST(PathExtension, IsTakenFromANameOnly) {
  struct Case { std::string_view path; std::optional<std::string_view> extension; };
  for (auto [path, extension] : {Case{"a/b.py", "py"}, Case{"x.py.JS", "JS"}, Case{"x.", ""}, Case{".py", std::nullopt},
                                 Case{"Makefile", std::nullopt}, Case{"a.b/c", std::nullopt}, Case{"a.js/", "js"},
                                 Case{"a.js/.", "js"}, Case{"..", std::nullopt}, Case{"/", std::nullopt},
                                 Case{"", std::nullopt}, Case{"...", ""}}) {
    EXPECT_EQ(path_extension(path), extension) << path;
  }
}

TEST(JoinPath, ReplacesWithAbsoluteNamesAndAddsOneSeparator) {
  EXPECT_EQ(join_path("keys", "private.pem"), "keys/private.pem");
  EXPECT_EQ(join_path("keys/", "private.pem"), "keys/private.pem");
  EXPECT_EQ(join_path("", "private.pem"), "private.pem");
  EXPECT_EQ(join_path("keys", "/etc/x"), "/etc/x");
  EXPECT_EQ(join_path("/", "a"), "/a");
}

}  // namespace
}  // namespace dsf
