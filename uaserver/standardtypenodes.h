#ifndef UASERVER_STANDARDTYPENODES_H
#define UASERVER_STANDARDTYPENODES_H

#include "uaplainnodes.h"

#include <atomic>

class NodeManagerConfig;

// A type node that tells whoever registered it when it is destroyed.
template <typename Plain> class UaTypeTracked : public Plain
{
public:
    using OnDestroy = void (*)();
    using Plain::Plain;
    ~UaTypeTracked() override
    {
        if (OnDestroy onDestroy = m_onDestroy.load())
            onDestroy();
    }
    void setOnDestroy(OnDestroy onDestroy) { m_onDestroy.store(onDestroy); }

private:
    std::atomic<OnDestroy> m_onDestroy{nullptr};
};

using UaVariableTypeTracked = UaTypeTracked<UaVariableTypePlain>;
using UaObjectTypeTracked = UaTypeTracked<UaObjectTypePlain>;

// The type nodes of namespace 0 that the standard node classes stand for, each registered once: the
// first instance of a class adds its type node to namespace 0, and the node clears the registration
// when it is destroyed, so that the next instance adds it again. Registration runs under one
// process-wide lock and only a node that namespace 0 took carries the clearing hook.
namespace StandardTypeNodes
{
// Namespace 0's node manager, which takes the type nodes; the root node manager enters itself while
// it lives. Entering another (or none) forgets every registration.
void setNamespaceZero(NodeManagerConfig* namespaceZero);
NodeManagerConfig* namespaceZero();

// Each adds its type node unless it is registered; true when the type node is in namespace 0.
bool createBaseVariableType();
bool createBaseDataVariableType();
bool createPropertyType();

// The ServerType object type (i=2004) below BaseObjectType, which the Server object registers.
bool createServerType();
bool isServerTypeRegistered();
// ServerCapabilitiesType (i=2013) and ServerDiagnosticsType (i=2020) below BaseObjectType.
bool createServerCapabilitiesType();
bool isServerCapabilitiesTypeRegistered();
bool createServerDiagnosticsType();
bool isServerDiagnosticsTypeRegistered();

// Whether the type is registered in the current namespace 0.
bool isBaseVariableTypeRegistered();
bool isBaseDataVariableTypeRegistered();
bool isPropertyTypeRegistered();
} // namespace StandardTypeNodes

#endif
