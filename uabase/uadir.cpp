#include "uadir.h"

#include "uafileengine.h"

#include <opcua.h>

UaDir::UaDir(const UaUniString& path) : m_path(path.isEmpty() ? UaUniString(u".") : path) {}

bool UaDir::mkpath(const UaUniString& path) const
{
    if (path.isEmpty())
    {
        OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_WARNING, "UaDir::mkpath: Empty or null file name(s)!\n");
        return false;
    }
    UaFileEngine* engine = UaFileEngine::instance();
    if (engine->exists(path))
    {
        OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_INFO, "UaDir::mkpath: Path still exists!\n");
        return true;
    }
    const UaUniString separator(u"/");
    const UaUniStringList elements = path.split(separator);
    // An absolute path keeps its root; splitting drops the empty element before it.
    UaUniString prefix = path.at(0) == u'/' ? separator : UaUniString();
    bool result = false;
    for (int i = 0; i < elements.count(); ++i)
    {
        prefix += elements[i];
        prefix += separator;
        if (!engine->exists(prefix))
            result = engine->mkdir(prefix);
    }
    return result;
}
