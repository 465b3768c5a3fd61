// The three functions Python calls: each binds its arguments, converts them to UTF-8 texts,
// fills its defaults, runs its engine and turns a failure into RuntimeError.
#pragma once

#include "python_support.hpp"

namespace dsf::python {

PyObject* merge(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* split(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* generate_keys(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace dsf::python
