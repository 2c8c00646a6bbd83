#include "import/layout/VariableNames.h"

#include "text/HostText.h"

#include <utility>

VariableNames::VariableNames(Diagnostics& diagnostics, std::string scope)
    : m_Diagnostics(diagnostics), m_Scope(std::move(scope)),
      m_Claimed(std::make_unique<std::vector<std::pair<std::string, std::size_t>>>()),
      m_Index([claimed = m_Claimed.get()](std::size_t i) {
          return std::string_view((*claimed)[i].first);
      }) {}

void VariableNames::Reserve(std::size_t count) {
    m_Claimed->reserve(count);
    m_Index.Reserve(count);
}

bool VariableNames::Claim(const std::string& name, std::size_t line, const std::string& note) {
    if (!IsIdentifier(name)) {
        m_Diagnostics.Error(line, "variable name " + Quoted(name) + " is not a valid identifier");
        return false;
    }
    if (const auto first = m_Index.Find(name)) {
        const std::string where = m_Scope.empty() ? "" : " in " + Quoted(m_Scope);
        m_Diagnostics.Error(line, "duplicate variable " + Quoted(name) + where +
                                      " (first declared at line " +
                                      std::to_string((*m_Claimed)[*first].second) +
                                      (note.empty() ? "" : "; " + note) + ")");
        return false;
    }
    m_Claimed->emplace_back(name, line);
    m_Index.Insert(m_Claimed->size() - 1);
    return true;
}
