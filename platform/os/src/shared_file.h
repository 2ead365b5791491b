// Small text files of the device root that several processes read and change: every
// change runs under an exclusive lock on "<file>.lock" and replaces the file whole, so
// readers see the old or the new contents, never a part.
#pragma once

#include <os/types.h>

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace os::detail
{
// Holds an exclusive lock on a lock file while it lives.
class FileLock
{
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

// A new temporary file for writing, put in place by a rename later: an old file or link of
// the name is removed first and the new one created afresh, never through a link. Its
// writers are serialised by the file's lock. -1 on an error.
int createTemporary(const std::string& path, mode_t mode);

// Reading and writing a whole open file; false on an error.
bool readWholeFile(int fd, std::string& text);
bool writeWholeFile(int fd, const std::string& text);

// The tab-separated fields of a line of such a file.
std::vector<std::string> tabFields(const std::string& line);

// The whole file; false when it cannot be read. A missing file reads as empty with
// `exists` false.
bool readSharedFile(const std::string& hostPath, std::string& text, bool& exists);

// Reads the file under its lock and hands its text to `change`, which edits it and sets
// `changed` when the file is to be written. Gives change's result, or ERROR_CANTREAD and
// ERROR_CANTWRITE when the file cannot be read or written.
DWORD updateSharedFile(const std::string& hostPath,
                       const std::function<DWORD(std::string& text, bool exists, bool& changed)>& change);
} // namespace os::detail
