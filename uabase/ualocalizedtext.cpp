#include "ualocalizedtext.h"

namespace
{
bool sameIgnoringCase(const OpcUa_String& a, const OpcUa_String& b)
{
    return OpcUa_String_StrSize(&a) == OpcUa_String_StrSize(&b) &&
           OpcUa_String_StrnCmp(&a, &b, OPCUA_STRING_LENDONTCARE, OpcUa_True) == 0;
}
} // namespace

UaLocalizedText::UaLocalizedText(const UaString& locale, const UaString& text)
{
    setLocalizedText(locale, text);
}

void UaLocalizedText::setLocalizedText(const UaString& locale, const UaString& text)
{
    clear();
    locale.copyTo(&m_value.Locale);
    text.copyTo(&m_value.Text);
}

bool UaLocalizedText::isNull() const
{
    return OpcUa_String_StrSize(&m_value.Locale) == 0 && OpcUa_String_StrSize(&m_value.Text) == 0;
}

bool UaLocalizedText::operator==(const UaLocalizedText& other) const
{
    return sameIgnoringCase(m_value.Locale, other.m_value.Locale) &&
           sameIgnoringCase(m_value.Text, other.m_value.Text);
}

UaString UaLocalizedText::toString() const
{
    return text();
}

UaString UaLocalizedText::toFullString() const
{
    // Joined directly, so a "%" in the locale is never taken for a placeholder.
    return locale() + UaString("|") + text();
}
