#pragma once

#include "Dictionary.h"

#include <pybind11/pybind11.h>

#include <memory>

// The parts of the varbank module, each bound by its own source file. Module.cpp calls them
// in this order; a part that adds methods to Dictionary receives its class object.
using DictionaryClass = pybind11::class_<Dictionary, std::shared_ptr<Dictionary>>;

// ProgramError, UnknownItem, ValueReadError, ValueWriteError and the translation of the C++
// failures into Python exceptions.
void BindErrors(pybind11::module_& module);
// Item, the result of a resolution.
void BindItem(pybind11::module_& module);
// Child and the browse iterator.
void BindBrowse(pybind11::module_& module);
// load() and the dictionary's own methods: resolve, browse, stamp, dump, info.
void BindDictionary(pybind11::module_& module, DictionaryClass& dictionary);
// read, read_many, write and write_many on the dictionary's memory image or PLC.
void BindValues(pybind11::module_& module, DictionaryClass& dictionary);
// subscribe, Subscription and Change: values as they change.
void BindSubscriptions(pybind11::module_& module, DictionaryClass& dictionary);
