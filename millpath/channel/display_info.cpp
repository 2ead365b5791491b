#include "display_info.h"

#include <cstring>

#include "program_text_store.h"

CDisplayInfo::CDisplayInfo(CProgramTextStore& store) : m_store(store) {}

std::uint32_t CDisplayInfo::AddFile(const std::string& name)
{
    if (m_count >= MaxFiles)
        return TooManyFiles;
    if (name.size() >= NameSize - 1)
        return NameTooLong;
    FileRecord& record = m_files[m_count++];
    record.start = static_cast<std::int32_t>(m_store.total());
    std::memset(record.name, 0, sizeof(record.name));
    std::memcpy(record.name, name.data(), name.size());
    m_store.setLineInfo(CProgramTextStore::NoKind, 0);
    return 0;
}

void CDisplayInfo::FindFile(std::int32_t position, std::string& name, std::uint32_t& lineNumber)
{
    name.clear();
    lineNumber = 0;
    if (m_count == 0)
        return;
    int i = m_found < m_count ? m_found : m_count - 1;
    while (i > 0 && m_files[i].start > position)
        --i;
    while (i + 1 < m_count && m_files[i + 1].start <= position)
        ++i;
    m_found = i;
    name = m_files[i].name;
    lineNumber = m_store.lineNumber(position);
}

void CDisplayInfo::ClearFiles()
{
    for (int i = 0; i < m_count; ++i)
        m_files[i].start = -1;
    m_count = 0;
    m_found = 0;
}
