#include "core/StagingDirectory.h"

#include <stdlib.h> // mkdtemp

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

StagingDirectory::StagingDirectory(const std::string& target) : m_Target(target) {
    const std::string pattern = target + "/.varbank-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    if (mkdtemp(path.data()) == nullptr) {
        m_Reason = std::strerror(errno);
        return;
    }
    m_Path = path.data();
}

StagingDirectory::~StagingDirectory() {
    if (!m_Path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
}

bool StagingDirectory::Publish(const std::string& name) {
    std::error_code error;
    std::filesystem::rename(m_Path + "/" + name, m_Target + "/" + name, error);
    if (error) {
        m_Reason = error.message();
        return false;
    }
    return true;
}
