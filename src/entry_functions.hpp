// The three functions Python calls: each binds its arguments, converts them to UTF-8 texts,
// fills its defaults, runs its engine and turns a failure into a Python exception: RuntimeError,
// OSError for a report that could not be printed, MemoryError, or a signal handler's exception.
// No C++ exception leaves them.
#pragma once

#include "python_support.hpp"

namespace dsf::python {

PyObject* merge(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* split(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* generate_keys(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace dsf::python
