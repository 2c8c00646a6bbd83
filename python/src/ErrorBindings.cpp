#include "Bindings.h"
#include "FileFailure.h"
#include "ProgramError.h"
#include "UnknownItem.h"
#include "ValueFailure.h"

#include <pybind11/stl.h>

#include <exception>
#include <string>

namespace py = pybind11;

namespace {

// The exception types live as long as the interpreter: the module and these handles hold them.
py::handle g_ProgramError;
py::handle g_UnknownItem;
py::handle g_ValueReadError;
py::handle g_ValueWriteError;

py::handle NewError(py::module_& module, const char* name, const char* doc, PyObject* base) {
    const std::string qualified = std::string("varbank.") + name;
    PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, base, nullptr);
    if (type == nullptr) {
        throw py::error_already_set();
    }
    module.add_object(name, type);
    return type;
}

// Raises an instance of `type` made from `arguments`, with `attributes` set on it.
void Raise(py::handle type, const py::tuple& arguments, const py::dict& attributes) {
    py::object error = type(*arguments);
    for (const auto& [key, value] : attributes) {
        py::setattr(error, key, value);
    }
    PyErr_SetObject(type.ptr(), error.ptr());
}

// The signature pybind11 asks of a translator.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void Translate(std::exception_ptr pointer) {
    try {
        if (pointer) {
            std::rethrow_exception(pointer);
        }
    } catch (const ProgramError& error) {
        Raise(g_ProgramError, py::make_tuple(error.what()),
              py::dict(py::arg("errors") = error.Errors(), py::arg("lines") = error.Lines()));
    } catch (const UnknownItem& error) {
        Raise(g_UnknownItem, py::make_tuple(error.what()),
              py::dict(py::arg("name") = error.Name(), py::arg("reason") = error.Reason()));
    } catch (const ValueFailure& error) {
        py::dict attributes(py::arg("name") = error.Name(), py::arg("reason") = error.Reason());
        const bool write = error.Which() == ValueFailure::Operation::Write;
        if (write) {
            attributes["written"] = error.Written();
        }
        Raise(write ? g_ValueWriteError : g_ValueReadError, py::make_tuple(error.what()),
              attributes);
    } catch (const FileFailure& error) {
        const py::tuple arguments =
            error.Number() != 0 ? py::make_tuple(error.Number(), error.Reason(), error.Path())
                                : py::make_tuple(error.what());
        Raise(PyExc_OSError, arguments, py::dict());
    }
}

} // namespace

void BindErrors(py::module_& module) {
    g_ProgramError =
        NewError(module, "ProgramError",
                 "A PLCopen file that does not import.\n\n"
                 "str(error) holds every 'file:line: reason', one per line; the attribute errors\n"
                 "lists the errors alone and lines every line (warnings included).",
                 PyExc_Exception);
    g_UnknownItem = NewError(module, "UnknownItem",
                             "A name the dictionary refused or does not know, or a browse path\n"
                             "that leads to no structure, array or function block.\n\n"
                             "Attributes: name, reason.",
                             PyExc_LookupError);
    g_ValueReadError =
        NewError(module, "ValueReadError",
                 "A value the memory did not give: a Modbus request refused, timed\n"
                 "out or answered with an exception, a name with no Modbus place, an\n"
                 "opaque library type, a read whose structures and arrays hold more\n"
                 "than 10,000 leaves together.\n\n"
                 "Attributes: name, reason.",
                 PyExc_OSError);
    g_ValueWriteError = NewError(module, "ValueWriteError",
                                 "A write the memory did not carry out (a Modbus request refused,\n"
                                 "timed out or answered with an exception, a name with no Modbus\n"
                                 "place); the value itself was valid.\n\n"
                                 "Attributes: name, reason, and written: the names write_many\n"
                                 "wrote before the failure.",
                                 PyExc_OSError);
    py::register_exception_translator(Translate);
}
