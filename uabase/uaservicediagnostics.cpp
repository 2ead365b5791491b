#include "uaservicediagnostics.h"

#include <map>
#include <string>
#include <vector>

namespace
{
constexpr OpcUa_UInt32 kSymbolicIdBit = 0x20;
constexpr OpcUa_UInt32 kLocalizedTextBit = 0x40;
constexpr OpcUa_UInt32 kAdditionalInfoBit = 0x80;
const char* const kStandardNamespaceUri = "http://opcfoundation.org/UA/";

class StringTable
{
public:
    OpcUa_Int32 indexOf(const UaString& text)
    {
        std::string key(text.toUtf8(), static_cast<std::size_t>(text.size()));
        auto it = m_index.find(key);
        if (it != m_index.end())
            return it->second;
        auto index = static_cast<OpcUa_Int32>(m_texts.size());
        m_index.emplace(key, index);
        m_texts.push_back(text);
        return index;
    }
    const std::vector<UaString>& texts() const { return m_texts; }

private:
    std::map<std::string, OpcUa_Int32> m_index;
    std::vector<UaString> m_texts;
};

void setAbsent(OpcUa_DiagnosticInfo& info)
{
    info.SymbolicId = -1;
    info.NamespaceUri = -1;
    info.Locale = -1;
    info.LocalizedText = -1;
}

UaString namespaceUriOf(OpcUa_UInt16 index, const UaString* namespaceUris, OpcUa_UInt32 namespaceCount)
{
    if (namespaceUris != nullptr && index < namespaceCount)
        return namespaceUris[index];
    if (index == 0)
        return UaString(kStandardNamespaceUri);
    return UaString();
}

OpcUa_StatusCode fillStringTable(const std::vector<UaString>& texts, OpcUa_ResponseHeader& header)
{
    OpcUa_String* table = nullptr;
    if (!texts.empty())
    {
        table = static_cast<OpcUa_String*>(
            OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(texts.size() * sizeof(OpcUa_String))));
        if (table == nullptr)
            return OpcUa_BadOutOfMemory;
    }
    for (std::size_t i = 0; i < texts.size(); ++i)
    {
        OpcUa_String_Initialize(&table[i]);
        texts[i].copyTo(&table[i]);
    }
    for (OpcUa_Int32 i = 0; i < header.NoOfStringTable && header.StringTable != nullptr; ++i)
        OpcUa_String_Clear(&header.StringTable[i]);
    OpcUa_Memory_Free(header.StringTable);
    header.StringTable = table;
    header.NoOfStringTable = static_cast<OpcUa_Int32>(texts.size());
    return OpcUa_Good;
}
} // namespace

OpcUa_StatusCode buildDiagnosticInfos(OpcUa_UInt32 returnDiagnostics, const UaDiagnosticInfo* const* items,
                                      OpcUa_UInt32 count, UaDiagnosticInfos& out,
                                      OpcUa_Boolean& hasDiagnostics, OpcUa_ResponseHeader& responseHeader,
                                      const UaString* namespaceUris, OpcUa_UInt32 namespaceCount)
{
    OpcUa_StatusCode status = out.create(count);
    if ((status & 0xC0000000u) != 0)
        return status;

    StringTable strings;
    bool anyRecord = false;
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        OpcUa_DiagnosticInfo& info = out[i];
        setAbsent(info);
        const UaDiagnosticInfo* record = items != nullptr ? items[i] : nullptr;
        if (record == nullptr)
            continue;
        anyRecord = true;
        hasDiagnostics = OpcUa_True;

        const UaQualifiedName& symbolicId = record->symbolicId();
        if ((returnDiagnostics & kSymbolicIdBit) != 0 && !symbolicId.isNull())
        {
            UaString uri = namespaceUriOf(symbolicId.namespaceIndex(), namespaceUris, namespaceCount);
            info.NamespaceUri = uri.isEmpty() ? -1 : strings.indexOf(uri);
            info.SymbolicId = strings.indexOf(symbolicId.name());
        }
        const UaLocalizedText& text = record->localizedText();
        if ((returnDiagnostics & kLocalizedTextBit) != 0 && !text.isNull())
        {
            UaString locale = text.locale();
            info.Locale = locale.isEmpty() ? -1 : strings.indexOf(locale);
            info.LocalizedText = strings.indexOf(text.text());
        }
        if ((returnDiagnostics & kAdditionalInfoBit) != 0)
            record->additionalInfo().copyTo(&info.AdditionalInfo);
    }
    if (!anyRecord)
        return OpcUa_Good;
    return fillStringTable(strings.texts(), responseHeader);
}

OpcUa_StatusCode buildDiagnosticInfos(OpcUa_UInt32 returnDiagnostics,
                                      const UaPointerArray<UaDiagnosticInfo>& items, UaDiagnosticInfos& out,
                                      OpcUa_Boolean& hasDiagnostics, OpcUa_ResponseHeader& responseHeader,
                                      const UaString* namespaceUris, OpcUa_UInt32 namespaceCount)
{
    return buildDiagnosticInfos(returnDiagnostics, items.data(), items.length(), out, hasDiagnostics,
                                responseHeader, namespaceUris, namespaceCount);
}
