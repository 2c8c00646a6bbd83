#include "Diagnostics.h"

#include <utility>

Diagnostics::Diagnostics(std::string fileName) : m_FileName(std::move(fileName)) {}

void Diagnostics::Error(std::size_t line, std::string message) {
    m_Entries.push_back({true, line, std::move(message)});
    ++m_ErrorCount;
}

void Diagnostics::Warning(std::size_t line, std::string message) {
    m_Entries.push_back({false, line, std::move(message)});
}

std::string Diagnostics::Format(const Entry& entry) const {
    std::string text = m_FileName;
    if (entry.line > 0) {
        text.append(":").append(std::to_string(entry.line));
    }
    text.append(entry.error ? ": " : ": warning: ").append(entry.message);
    return text;
}

void Diagnostics::Print(std::ostream& out) const {
    for (const Entry& entry : m_Entries) {
        out << Format(entry) << '\n';
    }
}
