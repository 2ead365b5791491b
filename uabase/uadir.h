#ifndef UABASE_UADIR_H
#define UABASE_UADIR_H

#include "uaunistring.h"

// A directory path; builds whole paths with their missing parents.
class UaDir
{
public:
    explicit UaDir(const UaUniString& path);

    const UaUniString& path() const { return m_path; }
    // Creates path and every missing parent. True when the path exists afterwards as asked,
    // also when it existed before.
    bool mkpath(const UaUniString& path) const;

private:
    UaUniString m_path;
};

#endif
