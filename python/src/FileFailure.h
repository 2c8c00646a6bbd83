#pragma once

#include <stdexcept>
#include <string>

// A file or folder the dictionary could not write. Raised to Python as an OSError built from
// the error number (a missing folder is a FileNotFoundError), or from the text alone when the
// number is 0.
class FileFailure : public std::runtime_error {
public:
    FileFailure(int number, const std::string& path, const std::string& reason)
        : std::runtime_error(path + ": " + reason), m_Number(number), m_Path(path),
          m_Reason(reason) {}

    int Number() const { return m_Number; }
    const std::string& Path() const { return m_Path; }
    const std::string& Reason() const { return m_Reason; }

private:
    int m_Number;
    std::string m_Path;
    std::string m_Reason;
};
