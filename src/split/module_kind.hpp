// Whether the JavaScript taken out of a merged file is to be written in ES-module or in CommonJS
// form: from the merged file's extension, else from the nearest project file that names a kind.
#pragma once

#include <string_view>

#include "common/error.hpp"

namespace dsf {

enum class ModuleKind { EsModule, CommonJs };

// `merged_file` is the path text as the caller gave it; it is never resolved against the file
// system. The folders searched are those the text names as holding the file, from its own
// upwards: "x/../y/m.py.js" searches y and the current folder, "../m.py.js" only "..". Project
// files that cannot be read or parsed are passed over, and when nothing decides the answer is
// CommonJs. It fails only when a read of a project file was stopped by the call's interrupt
// check.
Result<ModuleKind> detect_module_kind(std::string_view merged_file);

}  // namespace dsf
