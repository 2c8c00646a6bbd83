#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// The errors and warnings of one import, each with the file and line it concerns. Errors make
// the import fail as a whole; warnings are only reported.
class Diagnostics {
public:
    // An error fails the import; a warning is printed with "warning:" before its reason; a
    // remark is a warning whose text says what it is, printed without the mark.
    enum class Severity { Error, Warning, Remark };

    struct Entry {
        Severity severity = Severity::Error;
        std::size_t line = 0; // 0 when the message concerns the whole file
        std::string message;

        bool IsError() const { return severity == Severity::Error; }
    };

    explicit Diagnostics(std::string fileName = {});

    void Error(std::size_t line, std::string message);
    void Warning(std::size_t line, std::string message);
    // A warning whose text says what it is: printed like an error, "file:line: reason", so that
    // the same line reads alike when a strict import makes it an error.
    void Remark(std::size_t line, std::string message);

    // Adds the entries of another report, in their order, as if reported here.
    void Append(const Diagnostics& other);

    bool HasErrors() const { return m_ErrorCount > 0; }
    std::size_t ErrorCount() const { return m_ErrorCount; }
    const std::vector<Entry>& Entries() const { return m_Entries; }
    const std::string& FileName() const { return m_FileName; }

    // "file:line: reason" for errors and remarks, "file:line: warning: reason" for warnings.
    std::string Format(const Entry& entry) const;
    // Every entry in line order (the order of their reports within one line).
    std::vector<Entry> InLineOrder() const;
    // Every entry in line order (the first hundred, then a count of the rest).
    void Print(std::ostream& out) const;

private:
    std::string m_FileName;
    std::vector<Entry> m_Entries;
    std::size_t m_ErrorCount = 0;
};
