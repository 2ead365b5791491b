#include "find_file.h"

#include <os/text.h>

#include <dirent.h>
#include <sys/stat.h>

namespace
{
bool isFile(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
} // namespace

namespace os::detail
{
std::string findFileNoCase(const std::string& folder, const std::string& fileName)
{
    if (isFile(folder + "/" + fileName))
        return folder + "/" + fileName;
    std::string found;
    if (DIR* directory = opendir(folder.c_str()))
    {
        while (const dirent* entry = readdir(directory))
        {
            if (os::equalsNoCase(entry->d_name, fileName) && isFile(folder + "/" + entry->d_name))
            {
                found = folder + "/" + entry->d_name;
                break;
            }
        }
        closedir(directory);
    }
    return found;
}
} // namespace os::detail
