// Small pieces the module's C API code shares: an owning reference and the type-mismatch error.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>
#include <utility>

namespace dsf::python {

// Owns one strong reference (or none) and releases it once.
class Ref {
 public:
  Ref() = default;
  // Takes over a new reference, as C API calls return them; null stays empty.
  static Ref steal(PyObject* object) { return Ref(object); }
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) Py_XSETREF(object_, std::exchange(other.object_, nullptr));
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands the reference to the caller.
  PyObject* release() { return std::exchange(object_, nullptr); }

 private:
  explicit Ref(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;
};

// Raises `type` with a message given as UTF-8 text (which may hold NUL characters), or
// MemoryError when there is no room for the message.
void raise_text(PyObject* type, std::string_view message);

// Raises TypeError "'{type}' object is not an instance of '{expected}'", or "'None' is not an
// instance of '{expected}'" for None.
void raise_type_mismatch(PyObject* object, std::string_view expected);

}  // namespace dsf::python
