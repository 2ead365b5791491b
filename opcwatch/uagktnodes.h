// The nodes of the device-profile address space: the descriptive folders (module types, modules,
// tables), one CUaGktItem per table entry, and the top object "GKT" of type "GktObjectType".
#pragma once

#include "opcuamethodmanager.h"

#include <uaobjectbase.h>
#include <uavariablecache.h>

#include <optional>
#include <string>

class CUaGktIoManager;
class NodeManagerConfig;

// The description text of a folder or an item: "Description not available" when there is none,
// and the Description attribute only exists when there is one.
class GktDescription
{
public:
    void set(const char* text) { m_text = text ? std::optional<std::string>(text) : std::nullopt; }
    bool isSet() const { return m_text.has_value(); }
    UaLocalizedText text() const;

private:
    std::optional<std::string> m_text;
};

class CUaDescriptiveFolder : public UaFolder
{
public:
    CUaDescriptiveFolder(const UaString& name, const UaNodeId& nodeId, const UaString& defaultLocaleId,
                         const char* description = nullptr);

    bool isDescriptionSupported() const override { return m_description.isSet(); }
    UaLocalizedText description(Session*) const override { return m_description.text(); }
    void setDescription(const char* description) { m_description.set(description); }

private:
    GktDescription m_description;
};

// One entry of a device table. Its Value goes to the device through the I/O manager; the cached
// value holds what the last read, write or poll brought, under the item's shared mutex.
class CUaGktItem : public UaNamedNode<UaVariableCache>
{
public:
    CUaGktItem(const UaString& name, const UaNodeId& nodeId, OpcUa_UInt16 index, OpcUa_Byte subindex,
               OpcUa_UInt32 gktType, OpcUa_Byte accessLevel);

    UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                    UaReferenceDescriptionArray& references) override;
    UaNodeId typeDefinitionId() const override;
    bool isDescriptionSupported() const override { return m_description.isSet(); }
    UaLocalizedText description(Session*) const override { return m_description.text(); }
    void setDescription(const char* description) { m_description.set(description); }
    // The declared type of the Gkt type; NodeId 0 for a type without one.
    UaNodeId dataType() const override;
    OpcUa_Int32 valueRank() const override { return -1; }
    bool isArrayDimensionsSupported() const override { return false; }
    void arrayDimensions(UaUInt32Array& dimensions) const override { dimensions.clear(); }
    OpcUa_Byte accessLevel() const override { return m_accessLevel; }
    OpcUa_Byte userAccessLevel(Session*) const override { return m_accessLevel; }
    bool isMinimumSamplingIntervalSupported() const override { return true; }
    OpcUa_Double minimumSamplingInterval() const override { return 0.0; }
    bool historizing() const override { return false; }

    // Checks the value (checkValue) and stores it with the converted value, stamping missing
    // timestamps, and tells the sampling items. A value without a good status (a failed poll)
    // is stored as it is: its readers see the failure.
    UaStatus setValue(Session* session, const UaDataValue& dataValue, bool checkAccessLevel) override;
    // The value converted to the declared type, or why it cannot be stored: the conversion's
    // status, BadTypeMismatch for an array or a type without declared type, BadNotWritable.
    UaStatus checkValue(const UaDataValue& dataValue, bool checkAccessLevel, UaVariant& converted) const;

    OpcUa_UInt16 index() const { return m_index; }
    OpcUa_Byte subindex() const { return m_subindex; }
    OpcUa_UInt32 gktType() const { return m_gktType; }

private:
    OpcUa_UInt16 m_index;
    OpcUa_Byte m_subindex;
    OpcUa_UInt32 m_gktType;
    OpcUa_Byte m_accessLevel;
    GktDescription m_description;
};

// The object "GKT" in the Objects folder; the method manager of its methods.
class CUaGktObject : public UaObjectBase, public COpcUaMethodManager
{
public:
    CUaGktObject(const UaNodeId& nodeId, const UaString& defaultLocaleId, CUaGktIoManager* pIoManager);

    UaNodeId typeDefinitionId() const override;
    OpcUa_Byte eventNotifier() const override { return 0; }
    MethodManager* getMethodManager(UaMethod*) const override { return const_cast<CUaGktObject*>(this); }
    CUaGktIoManager* ioManager() const { return m_pIoManager; }

    // "GktObjectType" under BaseObjectType, made by each node manager that starts: a new start
    // of the server has it again.
    static UaStatus createObjectType(NodeManagerConfig& config, OpcUa_UInt16 namespaceIndex,
                                     const UaString& defaultLocaleId);

private:
    CUaGktIoManager* m_pIoManager;
};
