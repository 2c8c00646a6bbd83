#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A read or write that the memory behind the dictionary did not carry out: a Modbus request
// refused, timed out or answered with an exception, a name with no Modbus place, a structure
// too large to read whole. Raised to Python as varbank.ValueReadError or ValueWriteError,
// both OSError. A write failure lists the names written before it.
class ValueFailure : public std::runtime_error {
public:
    enum class Operation { Read, Write };

    ValueFailure(Operation operation, const std::string& name, const std::string& reason,
                 std::vector<std::string> written = {})
        : std::runtime_error(name + ": " + reason), m_Operation(operation), m_Name(name),
          m_Reason(reason), m_Written(std::move(written)) {}

    Operation Which() const { return m_Operation; }
    const std::string& Name() const { return m_Name; }
    const std::string& Reason() const { return m_Reason; }
    const std::vector<std::string>& Written() const { return m_Written; }

private:
    Operation m_Operation;
    std::string m_Name;
    std::string m_Reason;
    std::vector<std::string> m_Written;
};
