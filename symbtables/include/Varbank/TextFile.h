#pragma once

#include "PlatformApi.h"

#include <cstdio>
#include <stdexcept>
#include <string>

// Raised by CTextFile when a write or the close fails (a full disk, for instance).
class VARBANK_API CFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text file opened for writing over std::FILE. Open reports failure by its result; every
// write or close error afterwards throws CFileException.
class VARBANK_API CTextFile {
public:
    CTextFile() = default;
    ~CTextFile();
    CTextFile(const CTextFile&) = delete;
    CTextFile& operator=(const CTextFile&) = delete;

    // Creates the file, or empties it if it exists. False when it cannot be opened.
    bool Open(const std::string& path);
    void WriteString(const std::string& text);
    void Close();
    bool IsOpen() const { return m_File != nullptr; }
    const std::string& GetPath() const { return m_Path; }

private:
    std::FILE* m_File = nullptr;
    std::string m_Path;
};
