#include "entry_functions.hpp"

#include <array>
#include <cerrno>
#include <format>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "common/fatal.hpp"
#include "common/interrupt.hpp"
#include "keys/key_generation.hpp"
#include "merge/merge_engine.hpp"
#include "split/split_engine.hpp"

namespace dsf::python {
namespace {

// What a function's parameters are called and how many of them, from the first, are required.
struct Signature {
  std::string_view function;
  std::span<const std::string_view> parameters;
  std::size_t required;
};

// One slot per parameter: the argument object (borrowed from the call), or null when not passed.
using Slots = std::array<PyObject*, 3>;

std::string_view was_or_were(std::size_t count) { return count == 1 ? "was" : "were"; }

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string quoted_name_list(std::span<const std::string_view> names) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    list += std::format("'{}'", names[i]);
  }
  return list;
}

// Fills `slots` from positional arguments, then keywords, then checks the required ones.
bool bind_call_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                         Slots& slots) {
  slots.fill(nullptr);
  const std::size_t positional = static_cast<std::size_t>(nargs);
  const std::size_t count = signature.parameters.size();
  if (positional > count) {
    std::string message =
        signature.required == count
            ? std::format("{}() takes {} positional arguments but {} {} given", signature.function, count, positional,
                          was_or_were(positional))
            : std::format("{}() takes from {} to {} positional arguments but {} {} given", signature.function,
                          signature.required, count, positional, was_or_were(positional));
    raise_text(PyExc_TypeError, message);
    return false;
  }
  for (std::size_t i = 0; i < positional; ++i) slots[i] = args[i];

  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_Check(keyword) ? PyUnicode_AsUTF8AndSize(keyword, &size) : nullptr;
    std::optional<std::size_t> index;
    if (utf8 != nullptr) {
      std::string_view name(utf8, static_cast<std::size_t>(size));
      for (std::size_t i = 0; i < count; ++i) {
        if (signature.parameters[i] == name) index = i;
      }
    } else {
      PyErr_Clear();
    }
    if (!index) {
      // %S renders the name with str(), also a name that has no UTF-8 form.
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'",
                   std::string(signature.function).c_str(), keyword);
      return false;
    }
    if (slots[*index] != nullptr) {
      raise_text(PyExc_TypeError, std::format("{}() got multiple values for argument '{}'", signature.function,
                                              signature.parameters[*index]));
      return false;
    }
    slots[*index] = args[positional + static_cast<std::size_t>(k)];
  }

  std::array<std::string_view, 3> missing;
  std::size_t missing_count = 0;
  for (std::size_t i = 0; i < signature.required; ++i) {
    if (slots[i] == nullptr) missing[missing_count++] = signature.parameters[i];
  }
  if (missing_count > 0) {
    raise_text(PyExc_TypeError, std::format("{}() missing {} required positional {}: {}", signature.function,
                                            missing_count, missing_count == 1 ? "argument" : "arguments",
                                            quoted_name_list(std::span(missing).first(missing_count))));
    return false;
  }
  return true;
}

// Owns a PyUnicodeWriter until it is finished; an unfinished one is discarded.
class UnicodeWriter {
 public:
  UnicodeWriter() : writer_(PyUnicodeWriter_Create(0)) {}
  UnicodeWriter(const UnicodeWriter&) = delete;
  UnicodeWriter& operator=(const UnicodeWriter&) = delete;
  ~UnicodeWriter() {
    if (writer_ != nullptr) PyUnicodeWriter_Discard(writer_);
  }

  explicit operator bool() const { return writer_ != nullptr; }
  bool write(std::string_view text) {
    return PyUnicodeWriter_WriteUTF8(writer_, text.data(), static_cast<Py_ssize_t>(text.size())) == 0;
  }
  // The text written so far; the writer is used up either way.
  Ref finish() { return Ref::steal(PyUnicodeWriter_Finish(std::exchange(writer_, nullptr))); }

 private:
  PyUnicodeWriter* writer_;
};

// Adds the note "while processing '{parameter}'" to the exception being raised. When the note
// cannot be made or added, the exception goes on without it.
void annotate_argument_error(std::string_view parameter) {
  Ref raised = Ref::steal(PyErr_GetRaisedException());
  if (raised) {
    UnicodeWriter writer;
    Ref note;
    if (writer && writer.write("while processing '") && writer.write(parameter) && writer.write("'")) {
      note = writer.finish();
    }
    Ref name = note ? Ref::steal(PyUnicode_FromString("add_note")) : Ref();
    if (name) {
      PyObject* call[] = {raised.get(), note.get()};
      Ref result = Ref::steal(
          PyObject_VectorcallMethod(name.get(), call, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    }
    PyErr_Clear();  // a failure to make or add the note is dropped
  }
  PyErr_SetRaisedException(raised.release());
}

// The argument's UTF-8 text; only str and its subclasses are accepted.
std::optional<std::string> extract_text_argument(PyObject* object) {
  if (!PyUnicode_Check(object)) {
    raise_type_mismatch(object, "str");
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) return std::nullopt;
  return std::string(utf8, static_cast<std::size_t>(size));
}

// Converts every slot in parameter order. A slot that is empty, or None where None is allowed,
// stays absent; the first failure gets its note and ends the conversion.
template <std::size_t N>
bool convert_arguments(const Signature& signature, const Slots& slots, std::size_t none_allowed_from,
                       std::array<std::optional<std::string>, N>& texts) {
  for (std::size_t i = 0; i < N; ++i) {
    PyObject* object = slots[i];
    if (object == nullptr || (object == Py_None && i >= none_allowed_from)) continue;
    texts[i] = extract_text_argument(object);
    if (!texts[i]) {
      annotate_argument_error(signature.parameters[i]);
      return false;
    }
  }
  return true;
}

// None for success. A failure of the report after the files were written is an OSError with its
// error number, as from a failed print; exhausted memory is a MemoryError; any other failure a
// RuntimeError carrying its display text.
PyObject* finish(Status status) {
  if (status) Py_RETURN_NONE;
  const ErrorObject& error = status.error().object();
  const auto* io = dynamic_cast<const IoError*>(&error);
  const auto* report = dynamic_cast<const ReportError*>(&error);
  const bool out_of_memory = io != nullptr && io->category() == IoError::Category::OutOfMemory;
  const bool report_failed = report != nullptr;
  const int report_errno =
      report_failed && report->cause().category() == IoError::Category::Os ? report->cause().os_error() : 0;
  std::string text;
  if (!out_of_memory && report_errno == 0 && status.error().display_text(text)) {
    end_process("a Display implementation returned an error unexpectedly");
  }
  { EngineError released = std::move(status.error()); }  // the error object goes before the raise
  if (out_of_memory) return PyErr_NoMemory();
  if (report_errno != 0) {
    errno = report_errno;
    return PyErr_SetFromErrno(PyExc_OSError);
  }
  raise_text(report_failed ? PyExc_OSError : PyExc_RuntimeError, text);
  return nullptr;
}

// The engines' interrupt check: runs the interpreter's signal handlers, the interpreter lock
// being held for the whole call. A handler that raises (KeyboardInterrupt from Ctrl-C) stops the
// call, and its exception is the call's; from then on the check says stop without asking again.
class SignalCheck {
 public:
  InterruptCheck check() { return {&SignalCheck::stop, this}; }
  bool raised() const { return raised_; }

 private:
  static bool stop(void* self) {
    auto* signals = static_cast<SignalCheck*>(self);
    if (!signals->raised_ && PyErr_CheckSignals() < 0) signals->raised_ = true;
    return signals->raised_;
  }

  bool raised_ = false;
};

// Runs one engine call with the interrupt check in place. What the engine wrote stays, also
// when a signal handler's exception ends the call.
template <class Engine>
PyObject* run_engine(Engine engine) {
  SignalCheck signals;
  InterruptCheckScope scope(signals.check());
  Status status = engine();
  if (signals.raised()) return nullptr;
  return finish(std::move(status));
}

// Runs a whole entry function. Memory that cannot be had anywhere in it, in the engines
// included, unwinds to here and becomes a MemoryError; an exception already raised (a signal
// handler's, say) goes first.
template <class Body>
PyObject* guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {  // a text that would outgrow its largest size
  }
  if (!PyErr_Occurred()) PyErr_NoMemory();
  return nullptr;
}

std::optional<std::string_view> view_of(const std::optional<std::string>& text) {
  return text ? std::optional<std::string_view>(*text) : std::nullopt;
}

template <std::size_t N>
using Texts = std::array<std::optional<std::string>, N>;

// One call of an entry function: binds and converts its N arguments (None allowed from the
// parameter `none_allowed_from` on), then runs `engine` on the texts.
template <std::size_t N, class Engine>
PyObject* enter(const Signature& signature, std::size_t none_allowed_from, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames, Engine engine) noexcept {
  return guarded([&]() -> PyObject* {
    Slots slots;
    if (!bind_call_arguments(signature, args, nargs, kwnames, slots)) return nullptr;
    Texts<N> texts;
    if (!convert_arguments(signature, slots, none_allowed_from, texts)) return nullptr;
    return run_engine([&] { return engine(texts); });
  });
}

constexpr std::array<std::string_view, 3> merge_parameters = {"python_file", "node_file", "output"};
constexpr std::array<std::string_view, 2> split_parameters = {"merged_file", "output"};
constexpr std::array<std::string_view, 3> generate_keys_parameters = {"output", "private_name", "public_name"};

}  // namespace

PyObject* merge(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return enter<3>({"merge", merge_parameters, 3}, 2, args, nargs, kwnames, [](const Texts<3>& texts) {
    return merge_files(*texts[0], *texts[1], view_of(texts[2]));
  });
}

PyObject* split(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return enter<2>({"split", split_parameters, 2}, 1, args, nargs, kwnames,
                  [](const Texts<2>& texts) { return split_file(*texts[0], view_of(texts[1])); });
}

PyObject* generate_keys(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return enter<3>({"generate_keys", generate_keys_parameters, 0}, 0, args, nargs, kwnames, [](Texts<3>& texts) {
    KeyGenOptions options{
        .output = std::move(texts[0]).value_or("keys"),
        .private_name = std::move(texts[1]).value_or("private.pem"),
        .public_name = std::move(texts[2]).value_or("public.pem"),
        .raw_name = "key.bin",
        .comment = std::nullopt,
        .size = 4096,
        .raw = false,
    };
    return generate_key_files(options);
  });
}

}  // namespace dsf::python
