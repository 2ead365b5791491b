#ifndef UABASE_UASTACKVALUE_H
#define UABASE_UASTACKVALUE_H

#include "stackcopy.h"

// Base of the wrappers that hold one stack structure inline: copies are deep, the destructor
// clears the structure.
template <typename T> class UaStackValue
{
public:
    UaStackValue() { StackCopy::Ops<T>::init(&m_value); }
    UaStackValue(const T& other) : UaStackValue() { StackCopy::copy(other, m_value); }
    UaStackValue(const UaStackValue& other) : UaStackValue() { StackCopy::copy(other.m_value, m_value); }
    UaStackValue& operator=(const UaStackValue& other)
    {
        StackCopy::copy(other.m_value, m_value);
        return *this;
    }
    ~UaStackValue() { StackCopy::Ops<T>::clear(&m_value); }

    // A deep copy into a caller's structure, initialised first; nothing for a null target.
    void copyTo(T* target) const { StackCopy::copyTo(m_value, target); }
    // A deep copy in a new structure from the stack allocator; null when memory runs out.
    T* clone() const { return StackCopy::clone(m_value); }
    // Moves the contents into target without freeing them; this value is empty afterwards.
    void detach(T* target)
    {
        if (target == nullptr)
            return;
        *target = m_value;
        StackCopy::Ops<T>::init(&m_value);
    }
    void clear() { StackCopy::Ops<T>::clear(&m_value); }

protected:
    T m_value;
};

#endif
