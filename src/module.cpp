// The duoscriptforge extension module: its definition for multi-phase initialisation and the
// exec function that registers merge, split and generate_keys.
#include "common/fatal.hpp"
#include "entry_functions.hpp"
#include "python_support.hpp"

namespace dsf::python {
namespace {

// Casts a fast-call-with-keywords entry to the generic form that PyMethodDef stores.
template <PyCFunctionFastWithKeywords Entry>
PyCFunction as_method() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Entry));
}

constexpr int method_flags = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;
static_assert(method_flags == 0xa2);

PyMethodDef merge_method{"merge", as_method<merge>(), method_flags, "merge(python_file, node_file, output)\n--\n\n"};
PyMethodDef split_method{"split", as_method<split>(), method_flags, "split(merged_file, output)\n--\n\n"};
PyMethodDef generate_keys_method{"generate_keys", as_method<generate_keys>(), method_flags,
                                 "generate_keys(output=None, private_name=None, public_name=None)\n--\n\n"};

// The module's __all__, created as an empty list when it has none.
Ref all_list(PyObject* module) {
  Ref all_name = Ref::steal(PyUnicode_FromString("__all__"));
  if (!all_name) return {};
  Ref all = Ref::steal(PyObject_GetAttr(module, all_name.get()));
  if (all) {
    if (!PyList_Check(all.get())) {
      raise_type_mismatch(all.get(), "list");
      return {};
    }
    return all;
  }
  Ref raised = Ref::steal(PyErr_GetRaisedException());
  if (!PyErr_GivenExceptionMatches(raised.get(), PyExc_AttributeError)) {
    PyErr_SetRaisedException(raised.release());
    return {};
  }
  Ref list = Ref::steal(PyList_New(0));
  if (!list) end_process("could not create the __all__ list");
  if (PyObject_SetAttr(module, all_name.get(), list.get()) < 0) return {};
  return list;
}

// Makes the function object of `method`, lists its name in __all__ and binds it on the module.
bool register_method(PyObject* module, PyMethodDef& method) {
  Ref function;
  {
    Ref module_name = Ref::steal(PyModule_GetNameObject(module));
    if (!module_name) return false;
    function = Ref::steal(PyCMethod_New(&method, module, module_name.get(), nullptr));
    if (!function) return false;
  }
  Ref name = Ref::steal(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return false;
  if (!PyUnicode_Check(name.get())) {
    raise_type_mismatch(name.get(), "str");
    return false;
  }
  Ref all = all_list(module);
  if (!all) return false;
  if (PyList_Append(all.get(), name.get()) < 0) end_process("could not append __name__ to __all__");
  return PyObject_SetAttr(module, name.get(), function.get()) == 0;
}

int module_exec(PyObject* module) noexcept {
  if (module == nullptr) {
    if (!PyErr_Occurred()) raise_text(PyExc_SystemError, "attempted to fetch exception but none was set");
    return -1;
  }
  if (Py_TYPE(module) != &PyModule_Type && !PyType_IsSubtype(Py_TYPE(module), &PyModule_Type)) {
    raise_type_mismatch(module, "module");
    return -1;
  }
  for (PyMethodDef* method : {&merge_method, &split_method, &generate_keys_method}) {
    if (!register_method(module, *method)) return -1;
  }
  return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "duoscriptforge",
    .m_doc = "",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = module_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace
}  // namespace dsf::python

PyMODINIT_FUNC PyInit_duoscriptforge() { return PyModuleDef_Init(&dsf::python::module_definition); }
