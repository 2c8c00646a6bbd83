#include "Varbank/TextFile.h"

CTextFile::~CTextFile() {
    if (m_File != nullptr) {
        std::fclose(m_File);
    }
}

bool CTextFile::Open(const std::string& path) {
    if (m_File != nullptr) {
        return false;
    }
    m_File = std::fopen(path.c_str(), "w");
    if (m_File == nullptr) {
        return false;
    }
    m_Path = path;
    return true;
}

void CTextFile::WriteString(const std::string& text) {
    if (m_File == nullptr) {
        throw CFileException("write to a file that is not open");
    }
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), m_File) != text.size()) {
        throw CFileException("cannot write " + m_Path);
    }
}

void CTextFile::Close() {
    if (m_File == nullptr) {
        return;
    }
    std::FILE* file = m_File;
    m_File = nullptr;
    if (std::fclose(file) != 0) {
        throw CFileException("cannot close " + m_Path);
    }
}
