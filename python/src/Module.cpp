#include "Bindings.h"

namespace py = pybind11;

PYBIND11_MODULE(varbank, module) {
    module.doc() =
        "The symbol dictionary of a PLC application, from Python.\n\n"
        "varbank.load(path) imports a PLCopen TC6 XML program and builds its dictionary;\n"
        "the Dictionary resolves item names (MOTOR1.SPEED, TAB[4].X, STATUS.3) into PLC\n"
        "memory positions, browses the name space page by page, compares build stamps and\n"
        "writes the quick-save dump, and reads and writes the values of the names on the\n"
        "program's memory image or on a PLC over Modbus TCP. Calls release the GIL, so threads\n"
        "resolve in parallel.";
    BindErrors(module);
    BindItem(module);
    BindBrowse(module);
    DictionaryClass dictionary(
        module, "Dictionary",
        "The dictionary of one imported PLCopen program (made by varbank.load()).\n\n"
        "Every method may be called from several threads at once.");
    BindDictionary(module, dictionary);
    BindValues(module, dictionary);
    BindSubscriptions(module, dictionary);
}
