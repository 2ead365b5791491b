#ifndef UASERVER_UAMETHODGENERIC_H
#define UASERVER_UAMETHODGENERIC_H

#include "uanodebases.h"

// A method node; it executes nothing itself: the object that owns it names the method manager.
class UaMethodGeneric : public UaNamedNode<UaMethod>
{
public:
    UaMethodGeneric(const UaString& name, const UaNodeId& nodeId, const UaString& defaultLocaleId)
        : UaNamedNode(name, nodeId, defaultLocaleId)
    {
    }
    UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                    UaReferenceDescriptionArray& references) override;
    bool isExecutable() const override { return true; }
    bool isUserExecutable() const override { return true; }
};

#endif
