#pragma once

#include <stdexcept>
#include <string>

// A name the dictionary refused or does not know, or a browse position that lists nothing.
// Raised to Python as varbank.UnknownItem, a LookupError.
class UnknownItem : public std::runtime_error {
public:
    UnknownItem(const std::string& name, const std::string& reason)
        : std::runtime_error(name + ": " + reason), m_Name(name), m_Reason(reason) {}

    const std::string& Name() const { return m_Name; }
    const std::string& Reason() const { return m_Reason; }

private:
    std::string m_Name;
    std::string m_Reason;
};
