#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A file that does not import: every "file:line: reason" the import reported, errors and
// warnings in line order. Raised to Python as varbank.ProgramError.
class ProgramError : public std::runtime_error {
public:
    ProgramError(std::vector<std::string> lines, std::vector<std::string> errors)
        : std::runtime_error(Join(lines)), m_Lines(std::move(lines)), m_Errors(std::move(errors)) {}

    const std::vector<std::string>& Lines() const { return m_Lines; }
    const std::vector<std::string>& Errors() const { return m_Errors; }

private:
    static std::string Join(const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) {
            text += (text.empty() ? "" : "\n") + line;
        }
        return text;
    }

    std::vector<std::string> m_Lines;
    std::vector<std::string> m_Errors;
};
