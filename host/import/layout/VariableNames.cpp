#include "import/layout/VariableNames.h"

#include "text/HostText.h"

#include <utility>

VariableNames::VariableNames(Diagnostics& diagnostics, std::string scope)
    : m_Diagnostics(diagnostics), m_Scope(std::move(scope)) {}

bool VariableNames::Claim(const std::string& name, std::size_t line, const std::string& note) {
    if (!IsIdentifier(name)) {
        m_Diagnostics.Error(line, "variable name " + Quoted(name) + " is not a valid identifier");
        return false;
    }
    const auto [first, inserted] = m_Lines.emplace(ToUpperAscii(name), line);
    if (!inserted) {
        const std::string where = m_Scope.empty() ? "" : " in " + Quoted(m_Scope);
        m_Diagnostics.Error(line, "duplicate variable " + Quoted(name) + where +
                                      " (first declared at line " + std::to_string(first->second) +
                                      (note.empty() ? "" : "; " + note) + ")");
    }
    return inserted;
}
