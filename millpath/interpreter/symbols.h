// The interpreter's symbol table: named texts and named axes. A text symbol
// stands for a piece of block text, which the translator puts in place of its
// name; an axis symbol names an axis by its description. The table hashes
// names into 17 buckets and takes its nodes from blocks of 10; it owns its
// symbols.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class SymbolType : int
{
    Text = 1,
    Axis = 2,
};

class CSymbol
{
public:
    CSymbol(SymbolType type, std::u16string name) : m_type(type), m_name(std::move(name)) {}
    virtual ~CSymbol() = default;

    SymbolType type() const { return m_type; }
    const std::u16string& name() const { return m_name; }
    // The replacement text of a text symbol (narrow, as block text).
    const std::string& text() const { return m_text; }
    void setText(std::string text) { m_text = std::move(text); }

private:
    SymbolType m_type;
    std::u16string m_name;
    std::string m_text;
};

// What an axis symbol is made from.
struct AxisDescription
{
    std::u16string name;
    std::u16string shortName;
    int axis = 0; // 0, 1, 2 for X, Y, Z; further axes count on
};

class CSymbolAxis : public CSymbol
{
public:
    static constexpr std::size_t NameField = 32;
    static constexpr std::size_t ShortNameField = 10;

    CSymbolAxis(std::u16string name, const AxisDescription& description);

    // Up to 31 and 9 characters with their terminators; a longer name
    // leaves its field empty.
    const char16_t* axisName() const { return m_axisName; }
    const char16_t* shortName() const { return m_shortName; }
    int axis() const { return m_axis; }

private:
    char16_t m_axisName[NameField] = {};
    char16_t m_shortName[ShortNameField] = {};
    int m_axis = 0;
};

class CSymbolTable
{
public:
    static constexpr unsigned Buckets = 17;
    static constexpr unsigned NodeBlock = 10;

    // Stores the symbol under its name; a symbol of the same name is replaced.
    void add(std::unique_ptr<CSymbol> symbol);
    const CSymbol* find(const std::u16string& name) const;
    std::size_t count() const { return m_count; }
    void clear();

private:
    struct Node
    {
        Node* next = nullptr;
        std::unique_ptr<CSymbol> symbol;
    };

    static unsigned bucketOf(const std::u16string& name);
    Node* takeNode();

    Node* m_buckets[Buckets] = {};
    Node* m_free = nullptr;
    std::vector<std::unique_ptr<Node[]>> m_blocks;
    std::size_t m_count = 0;
};
