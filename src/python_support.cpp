#include "python_support.hpp"

#include <string>

namespace dsf::python {

void raise_text(PyObject* type, std::string_view message) {
  Ref text = Ref::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  // A message that cannot be made leaves the MemoryError of the failed allocation raised.
  if (text) PyErr_SetObject(type, text.get());
}

void raise_type_mismatch(PyObject* object, std::string_view expected) {
  std::string message;
  if (object == Py_None) {
    message = "'None' is not an instance of '";
  } else {
    message = "'";
    Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(object)));
    Py_ssize_t size = 0;
    const char* utf8 = name ? PyUnicode_AsUTF8AndSize(name.get(), &size) : nullptr;
    if (utf8 != nullptr) {
      message.append(utf8, static_cast<std::size_t>(size));
    } else {
      PyErr_Clear();
      message += "<failed to extract type name>";
    }
    message += "' object is not an instance of '";
  }
  message += expected;
  message += "'";
  raise_text(PyExc_TypeError, message);
}

}  // namespace dsf::python
