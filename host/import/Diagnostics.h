#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// The errors and warnings of one import, each with the file and line it concerns. Errors make
// the import fail as a whole; warnings are only reported.
class Diagnostics {
public:
    struct Entry {
        bool error = true;
        std::size_t line = 0; // 0 when the message concerns the whole file
        std::string message;
    };

    explicit Diagnostics(std::string fileName = {});

    void Error(std::size_t line, std::string message);
    void Warning(std::size_t line, std::string message);

    bool HasErrors() const { return m_ErrorCount > 0; }
    std::size_t ErrorCount() const { return m_ErrorCount; }
    const std::vector<Entry>& Entries() const { return m_Entries; }
    const std::string& FileName() const { return m_FileName; }

    // "file:line: reason" for errors, "file:line: warning: reason" for warnings.
    std::string Format(const Entry& entry) const;
    void Print(std::ostream& out) const;

private:
    std::string m_FileName;
    std::vector<Entry> m_Entries;
    std::size_t m_ErrorCount = 0;
};
