#include "symbols.h"

#include <algorithm>

namespace
{
template <std::size_t N> void copyField(char16_t (&field)[N], const std::u16string& text)
{
    std::fill(std::begin(field), std::end(field), u'\0');
    if (text.size() < N)
        std::copy(text.begin(), text.end(), field);
}
} // namespace

CSymbolAxis::CSymbolAxis(std::u16string name, const AxisDescription& description)
    : CSymbol(SymbolType::Axis, std::move(name)), m_axis(description.axis)
{
    copyField(m_axisName, description.name);
    copyField(m_shortName, description.shortName);
}

unsigned CSymbolTable::bucketOf(const std::u16string& name)
{
    unsigned hash = 0;
    for (char16_t c : name)
        hash = (hash << 5) + hash + c;
    return hash % Buckets;
}

CSymbolTable::Node* CSymbolTable::takeNode()
{
    if (!m_free)
    {
        m_blocks.push_back(std::make_unique<Node[]>(NodeBlock));
        Node* block = m_blocks.back().get();
        for (unsigned i = 0; i < NodeBlock; ++i)
        {
            block[i].next = m_free;
            m_free = &block[i];
        }
    }
    Node* node = m_free;
    m_free = node->next;
    node->next = nullptr;
    return node;
}

void CSymbolTable::add(std::unique_ptr<CSymbol> symbol)
{
    if (!symbol)
        return;
    Node*& head = m_buckets[bucketOf(symbol->name())];
    for (Node* node = head; node; node = node->next)
        if (node->symbol->name() == symbol->name())
        {
            node->symbol = std::move(symbol);
            return;
        }
    Node* node = takeNode();
    node->symbol = std::move(symbol);
    node->next = head;
    head = node;
    ++m_count;
}

const CSymbol* CSymbolTable::find(const std::u16string& name) const
{
    for (const Node* node = m_buckets[bucketOf(name)]; node; node = node->next)
        if (node->symbol->name() == name)
            return node->symbol.get();
    return nullptr;
}

void CSymbolTable::clear()
{
    for (Node*& head : m_buckets)
    {
        while (head)
        {
            Node* node = head;
            head = node->next;
            node->symbol.reset();
            node->next = m_free;
            m_free = node;
        }
    }
    m_count = 0;
}
