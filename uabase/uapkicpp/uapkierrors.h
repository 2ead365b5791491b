#ifndef UAPKICPP_UAPKIERRORS_H
#define UAPKICPP_UAPKIERRORS_H

#include "uastring.h"

#include <list>

// The recent failures of a certificate or key object: at most the ten newest texts, oldest first.
class UaPkiErrorList
{
public:
    static const std::size_t maxErrors = 10;

    const std::list<UaString>& errors() const { return m_errors; }

protected:
    void addError(const UaString& text);
    // The text followed by the system's words for errno value error ("...: No space left on
    // device"); the text alone for 0.
    void addSystemError(const char* text, int error);
    // Moves every error waiting in the cryptography library's queue into the list.
    void addLibraryErrors();

private:
    void trim();

    std::list<UaString> m_errors;
};

#endif
