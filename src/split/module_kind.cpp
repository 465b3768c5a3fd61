#include "split/module_kind.hpp"

#include <nlohmann/json.hpp>

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/files.hpp"
#include "common/paths.hpp"
#include "common/text.hpp"

namespace dsf {
namespace {

constexpr std::array<std::string_view, 9> es_module_values = {
    "es6", "module", "es2015", "es2020", "es2022", "esnext", "node16", "nodenext", "preserve"};

// Arrays and objects nested deeper than this, the top-level value counted, fail the parse.
constexpr std::size_t nesting_budget = 127;

struct ProjectFile {
  std::string_view name;
  std::span<const std::string_view> setting;  // member names from the top-level object down
};

constexpr std::array<std::string_view, 1> package_setting = {"type"};
constexpr std::array<std::string_view, 2> tsconfig_setting = {"compilerOptions", "module"};
constexpr std::array<ProjectFile, 2> project_files = {
    ProjectFile{"package.json", package_setting},
    ProjectFile{"tsconfig.json", tsconfig_setting},
};

using Json = nlohmann::json;

// Follows the parse event by event and keeps only the one setting, so no value tree is built
// and a file nested far beyond the budget is refused at the budget, without going deeper.
class SettingReader final : public nlohmann::json_sax<Json> {
 public:
  explicit SettingReader(std::span<const std::string_view> setting) : setting_(setting) {}

  // The string at the setting's place when the parse succeeded; none when a member on the way
  // is missing or not an object, or the setting is not a string.
  const std::optional<std::string>& value() const { return value_; }

  bool null() override { return scalar(); }
  bool boolean(bool) override { return scalar(); }
  bool number_integer(number_integer_t) override { return scalar(); }
  bool number_unsigned(number_unsigned_t) override { return scalar(); }
  bool number_float(number_float_t, const string_t&) override { return scalar(); }
  bool binary(binary_t&) override { return scalar(); }

  bool string(string_t& text) override {
    if (member_pending_ && on_path_depth_ == setting_.size()) value_ = std::move(text);
    return scalar();
  }

  bool start_object(std::size_t) override {
    // The top-level object is on the path; so is an object that is the value of the member
    // named next on the path.
    if (depth_ == 0 || (member_pending_ && on_path_depth_ < setting_.size())) on_path_depth_ = depth_ + 1;
    return open();
  }

  bool start_array(std::size_t) override { return open(); }

  bool key(string_t& name) override {
    member_pending_ = on_path_depth_ == depth_ && name == setting_[depth_ - 1];
    // A name that occurs again replaces what its earlier value gave.
    if (member_pending_) value_.reset();
    return true;
  }

  bool end_object() override { return close(); }
  bool end_array() override { return close(); }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  bool scalar() {
    member_pending_ = false;
    return true;
  }

  bool open() {
    member_pending_ = false;
    return ++depth_ <= nesting_budget;
  }

  bool close() {
    if (on_path_depth_ == depth_) --on_path_depth_;
    --depth_;
    return true;
  }

  std::span<const std::string_view> setting_;
  std::optional<std::string> value_;
  std::size_t depth_ = 0;          // containers open now
  std::size_t on_path_depth_ = 0;  // the deepest open container that lies on the setting's path
  bool member_pending_ = false;    // the next value is that of the member named on the path
};

// The kind a project file decides, or none when it is passed over or does not decide. Only a
// read that the call's interrupt check stopped fails.
Result<std::optional<ModuleKind>> kind_from_project_file(const std::string& path, const ProjectFile& file) {
  auto text = read_text_file(path);
  if (!text) {
    if (is_interrupted(text.error())) return std::unexpected(std::move(text.error()));
    return std::nullopt;
  }
  // Node.js and TypeScript read a project file without its byte-order mark. The JSON library
  // would pass over a second one too, and takes a NUL byte for the end of the text; strict JSON
  // allows neither (a NUL can only stand escaped, inside a string).
  drop_byte_order_mark(*text);
  if (text->starts_with("\xEF\xBB\xBF") || text->find('\0') != std::string::npos) return std::nullopt;

  SettingReader reader(file.setting);
  if (!Json::sax_parse(text->begin(), text->end(), &reader) || !reader.value()) return std::nullopt;
  std::string value = ascii_lower(*reader.value());
  for (std::string_view es_value : es_module_values) {
    if (value == es_value) return ModuleKind::EsModule;
  }
  return ModuleKind::CommonJs;
}

// The folders that hold the merged file as far as its path text names them, nearest first. A
// name followed by ".." is dropped with it first; what is left may begin with "..", and the
// walk ends there, since the path names nothing above it. Otherwise it ends at the root or,
// for a relative path, at the current folder (the empty path).
std::vector<std::string> folders_holding(std::string_view merged_file) {
  std::vector<PathComponent> kept;
  for (const PathComponent& component : path_components(merged_file)) {
    if (component.kind == PathComponent::Kind::ParentFolder && !kept.empty() &&
        kept.back().kind == PathComponent::Kind::Name) {
      kept.pop_back();
    } else {
      kept.push_back(component);
    }
  }
  std::vector<std::string> folders;
  for (std::size_t count = kept.size(); count-- > 0;) {
    if (count == 0) {
      if (kept.front().kind != PathComponent::Kind::Root) folders.emplace_back();
      break;
    }
    std::string folder;
    for (std::size_t i = 0; i < count; ++i) folder = join_path(folder, kept[i].text);
    folders.push_back(std::move(folder));
    if (kept[count - 1].kind == PathComponent::Kind::ParentFolder) break;
  }
  return folders;
}

}  // namespace

Result<ModuleKind> detect_module_kind(std::string_view merged_file) {
  if (auto extension = path_extension(merged_file)) {
    std::string lower = ascii_lower(*extension);
    if (lower == "mjs" || lower == "mts") return ModuleKind::EsModule;
    if (lower == "cjs" || lower == "cts") return ModuleKind::CommonJs;
  }
  for (const std::string& folder : folders_holding(merged_file)) {
    for (const ProjectFile& file : project_files) {
      auto kind = kind_from_project_file(join_path(folder, file.name), file);
      if (!kind) return std::unexpected(std::move(kind.error()));
      if (*kind) return **kind;
    }
  }
  return ModuleKind::CommonJs;
}

}  // namespace dsf
