#ifndef UABASE_UAFILEENGINE_H
#define UABASE_UAFILEENGINE_H

#include "uaunistring.h"
#include "uaunistringlist.h"

#include <cstdio>

// The library's file-system access. Paths are wide strings with "/" (or "\") separators, device
// paths as the operating-system layer resolves them. One process-wide instance, made on first use.
class UaFileEngine
{
public:
    // Filters of entryList.
    enum Filter
    {
        AllEntries = 0,
        Directories = 1,
        Files = 2,
        SubDirectories = 16,
        SubDirectoriesToo = 17
    };
    // Orders of entryList.
    enum Sort
    {
        SystemOrder = 0,
        ByName = 1
    };

    virtual ~UaFileEngine() = default;

    virtual bool remove(const UaUniString& path) = 0;
    virtual bool copy(const UaUniString& source, const UaUniString& destination) = 0;
    virtual bool rename(const UaUniString& oldPath, const UaUniString& newPath) = 0;
    virtual bool mkdir(const UaUniString& path) = 0;
    virtual bool rmdir(const UaUniString& path) = 0;
    virtual bool isRelativePath(const UaUniString& path) = 0;
    // Creates a new, empty file; fails for an existing one.
    virtual bool createFile(const UaUniString& directory, const UaUniString& fileName) = 0;
    // Whether a file or folder of that path exists.
    virtual bool exists(const UaUniString& path) = 0;
    virtual FILE* open(const UaUniString& path, const char* mode) = 0;
    virtual std::size_t read(void* buffer, std::size_t elementSize, std::size_t count, FILE* file) = 0;
    virtual std::size_t write(const void* buffer, std::size_t elementSize, std::size_t count, FILE* file) = 0;
    virtual bool close(FILE* file) = 0;
    // Bytes of the file, -1 when it cannot be opened.
    virtual long size(const UaUniString& path) = 0;
    virtual UaUniString canonicalPath(const UaUniString& path) = 0;
    // Full paths (directory + "/" + name) of the entries that pass filter, in the given order.
    virtual UaUniStringList entryList(const UaUniString& directory, int filter, int sort) = 0;
    virtual unsigned short count(const UaUniString& directory) = 0;
    virtual UaUniString homePath() = 0;
    virtual UaUniString appDataPath() = 0;
    virtual UaUniString commonAppDataPath() = 0;

    static UaFileEngine* instance();
    // Called by the library's clean-up at the end.
    static void deleteInstance();
};

// Deletes a file given by a UTF-8 path: 0, or -1 on failure.
int removeFile(const char* path);
// Moves a file to a new UTF-8 path: 0, or -1 on failure.
int renameFile(const char* oldPath, const char* newPath);

#endif
