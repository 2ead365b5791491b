#include "uagktnodemanager.h"

#include "gktapi.h"
#include "sharedmutexpool.h"
#include "uagktiomanager.h"
#include "uagktnodes.h"

#include <attributeids.h>
#include <referencetypes.h>
#include <standardnodeids.h>

#include <uatrace.h>

#include <cstdio>

namespace
{
constexpr std::size_t kNameLimit = 255;
const char* const kModulesId = "Modules";

UaNodeId organizes()
{
    return UaNodeId(ReferenceTypeId::Organizes, 0);
}

// printf into a text cut to 255 characters.
template <typename... Args> std::string cutFormat(const char* format, Args... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    if (text.size() > kNameLimit)
        text.resize(kNameLimit);
    return text;
}

UaStatus badExit(const char* message, const UaStatus& status)
{
    UaTrace::traceLevel1(message, static_cast<unsigned>(status.statusCode()));
    UaTrace::traceLevel6("<-- CUaGktNodeManager::LoadGkt() [OpcUa_Bad]");
    return OpcUa_Bad;
}

// Adds a node the caller made under its parent; a refused node is released.
template <typename Node> UaStatus addChild(NodeManagerConfig& config, UaReferenceLists* parent, Node* node)
{
    const UaStatus status = config.addNodeAndReference(parent, node, organizes());
    if (status.isBad())
        node->releaseReference();
    return status;
}
} // namespace

CUaGktNodeManager::CUaGktNodeManager(const UaString& namespaceUri)
    : NodeManagerUaNode(namespaceUri, 10007), m_pIoManager(std::make_unique<CUaGktIoManager>())
{
    m_defaultLocaleId = "en";
}

CUaGktNodeManager::~CUaGktNodeManager()
{
    m_pIoManager.reset();
}

UaNodeId CUaGktNodeManager::childNodeId(const std::string& parentId, const std::string& part,
                                        std::string& childId) const
{
    childId = parentId + "|" + part;
    return UaNodeId(UaString(childId.c_str()), getNameSpaceIndex());
}

UaStatus CUaGktNodeManager::afterStartUp()
{
    NodeManagerConfig* config = getNodeManagerConfig();
    const OpcUa_UInt16 ns = getNameSpaceIndex();
    CUaGktObject::createObjectType(*config, ns, m_defaultLocaleId);

    auto* gkt = new CUaGktObject(UaNodeId("GKT", ns), m_defaultLocaleId, m_pIoManager.get());
    if (config->addNodeAndReference(UaNodeId(StandardNodeId::ObjectsFolder, 0), gkt, organizes()).isBad())
    {
        gkt->releaseReference();
        gkt = nullptr;
    }
    m_pModulesFolder = new UaFolder(kModulesId, UaNodeId(kModulesId, ns), m_defaultLocaleId);
    const UaStatus added =
        gkt ? config->addNodeAndReference(gkt, m_pModulesFolder, organizes())
            : config->addNodeAndReference(UaNodeId("GKT", ns), m_pModulesFolder, organizes());
    if (added.isBad())
    {
        m_pModulesFolder->releaseReference();
        m_pModulesFolder = nullptr;
    }
    if (m_pModulesFolder)
        LoadGkt();
    m_started = true;
    return OpcUa_Good;
}

UaStatus CUaGktNodeManager::LoadGkt()
{
    UaTrace::traceLevel6("--> CUaGktNodeManager::LoadGkt()");
    GktApiTable api;
    const DWORD loaded = GktApiLoad(&api);
    if (loaded != 0)
        return badExit("CUaGktNodeManager::LoadGkt() - LoadGKTApi failed (0x%08x)", UaStatus(loaded));
    UaTrace::traceLevel3("CUaGktNodeManager::LoadGkt() - GKT Api successfully loaded");

    GktModuleStore modules;
    const LONG imported = ImportModules(api, modules);
    GktApiUnload(&api);
    if (imported != 0)
        return badExit("CUaGktNodeManager::LoadGkt() - GKTInfo import failed with 0x%08x",
                       UaStatus(static_cast<OpcUa_StatusCode>(imported)));
    UaTrace::traceLevel3("CUaGktNodeManager::LoadGkt() - %i modules imported",
                         static_cast<int>(modules.size()));
    UaTrace::traceLevel3("CUaGktNodeManager::LoadGkt() - Begin creating UA Nodes");

    for (const auto& [number, module] : modules)
    {
        const UaStatus created = createModule(module);
        if (created.isBad())
            return badExit(
                "CUaGktNodeManager::LoadGkt() - CreateModule : addNodeAndReference failed with 0x%08x",
                created);
    }
    UaTrace::traceLevel6("<-- CUaGktNodeManager::LoadGkt() [OpcUa_Good]");
    return OpcUa_Good;
}

UaStatus CUaGktNodeManager::createModule(const GktModuleRecord& module)
{
    NodeManagerConfig& config = *getNodeManagerConfig();
    const OpcUa_UInt16 ns = getNameSpaceIndex();

    std::string typeId;
    const UaNodeId typeNodeId = childNodeId(kModulesId, module.type, typeId);
    UaReferenceLists* typeFolder = nullptr;
    {
        UaMutexLocker locker(&m_mutex);
        if (UaNode* found =
                m_pModulesFolder->findTargetByBrowseName(UaQualifiedName(module.type.c_str(), ns)))
            typeFolder = found->getUaReferenceLists();
    }
    if (!typeFolder)
    {
        auto* folder =
            new CUaDescriptiveFolder(module.type.c_str(), typeNodeId, m_defaultLocaleId, module.type.c_str());
        const UaStatus status = addChild(config, m_pModulesFolder, folder);
        if (status.isBad())
            return status;
        typeFolder = folder;
    }

    std::string moduleId;
    auto* moduleFolder =
        new CUaDescriptiveFolder(module.name.c_str(), childNodeId(typeId, module.name, moduleId),
                                 m_defaultLocaleId, module.name.c_str());
    if (const UaStatus status = addChild(config, typeFolder, moduleFolder); status.isBad())
        return status;

    for (const GktObjectRecord& object : module.objects)
    {
        if (gktArea(object.index) != 8)
            continue;
        const std::string tableId = cutFormat("0x%01xnn%01x", gktArea(object.index), gktTable(object.index));
        const std::string tableName = cutFormat("%s-%s", tableId.c_str(), object.name.c_str());
        std::string tableNodeId;
        auto* tableFolder =
            new CUaDescriptiveFolder(tableName.c_str(), childNodeId(moduleId, tableId, tableNodeId),
                                     m_defaultLocaleId, object.name.c_str());
        if (const UaStatus status = addChild(config, moduleFolder, tableFolder); status.isBad())
            return status;
        if (object.objectCode != 8 && object.objectCode != 9)
            continue;
        const UaStatus table = CreateTable(object, tableFolder, tableNodeId);
        if (table.isBad())
            UaTrace::traceLevel1("CUaGktNodeManager::LoadGkt() - CreateTable failed with 0x%08x",
                                 static_cast<unsigned>(table.statusCode()));
    }
    return OpcUa_Good;
}

UaStatus CUaGktNodeManager::CreateTable(const GktObjectRecord& object, CUaDescriptiveFolder* pTableFolder,
                                        const std::string& tableNodeId)
{
    NodeManagerConfig& config = *getNodeManagerConfig();
    for (const GktEntryRecord& entry : object.entries)
    {
        // Subindex 0 counts the entries of a table, whatever the device calls its type.
        const OpcUa_UInt32 dataType = entry.subindex == 0 ? 6 : entry.dataType;
        const std::string entryId = cutFormat("0x%02x", entry.subindex);
        const std::string entryName = cutFormat("%s - %s", entryId.c_str(), entry.name.c_str());
        std::string itemId;
        auto* item = new CUaGktItem(entryName.c_str(), childNodeId(tableNodeId, entryId, itemId),
                                    object.index, entry.subindex, dataType, 3);
        item->setSharedMutex(SharedMutexPool::getNext());
        item->setDescription(entry.name.c_str());
        if (const UaStatus status = addChild(config, pTableFolder, item); status.isBad())
            return status;
    }
    return OpcUa_Good;
}

IOManager* CUaGktNodeManager::getIOManager(UaNode* pNode, OpcUa_Int32 attributeId) const
{
    if (attributeId == AttributeId::Value && dynamic_cast<CUaGktItem*>(pNode))
        return m_pIoManager.get();
    return const_cast<CUaGktNodeManager*>(this);
}
