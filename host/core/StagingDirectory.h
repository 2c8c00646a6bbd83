#pragma once

#include <string>

// A fresh private folder inside a target directory, removed with everything in it when this
// object goes. Files are written there and renamed into the target directory once complete:
// the rename stays on one file system, so a reader sees the old file or the new one, never
// a part.
class StagingDirectory {
public:
    explicit StagingDirectory(const std::string& target);
    ~StagingDirectory();
    StagingDirectory(const StagingDirectory&) = delete;
    StagingDirectory& operator=(const StagingDirectory&) = delete;

    // Empty when the folder could not be created; Reason() then says why.
    const std::string& Path() const { return m_Path; }
    const std::string& Reason() const { return m_Reason; }

    // Moves <Path()>/<name> to <target>/<name>, replacing any file there; false with a reason
    // when it cannot.
    bool Publish(const std::string& name);

private:
    std::string m_Target;
    std::string m_Path;
    std::string m_Reason;
};
