#include "uapkierrors.h"

#include <openssl/crypto.h>
#include <openssl/err.h>

#include <cstring>
#include <mutex>
#include <string>

void UaPkiErrorList::addError(const UaString& text)
{
    m_errors.push_back(text);
    trim();
}

void UaPkiErrorList::addSystemError(const char* text, int error)
{
    addError(UaString(error == 0 ? text : (std::string(text) + ": " + std::strerror(error)).c_str()));
}

void UaPkiErrorList::addLibraryErrors()
{
    static std::once_flag textsLoaded;
    std::call_once(textsLoaded, [] { OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr); });
    unsigned long code = 0;
    while ((code = ERR_get_error()) != 0)
    {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        m_errors.push_back(UaString(text));
    }
    trim();
}

void UaPkiErrorList::trim()
{
    while (m_errors.size() > maxErrors)
        m_errors.pop_front();
}
