#ifndef UABASE_UALOCALIZEDTEXT_H
#define UABASE_UALOCALIZEDTEXT_H

#include "uastackvalue.h"
#include "uastring.h"

#include <opcua.h>

// Localized text (locale, text) held inline; copies are deep.
class UaLocalizedText : public UaStackValue<OpcUa_LocalizedText>
{
public:
    using UaStackValue::UaStackValue;
    UaLocalizedText(const UaString& locale, const UaString& text);

    // Clears both, then sets both.
    void setLocalizedText(const UaString& locale, const UaString& text);
    UaString locale() const { return UaString(&m_value.Locale); }
    UaString text() const { return UaString(&m_value.Text); }
    const OpcUa_LocalizedText* toOpcUaLocalizedText() const { return &m_value; }
    bool isNull() const;
    // Locales and texts equal without regard to case.
    bool operator==(const UaLocalizedText& other) const;
    bool operator!=(const UaLocalizedText& other) const { return !(*this == other); }

    // The text.
    UaString toString() const;
    // "<locale>|<text>".
    UaString toFullString() const;
};

#endif
