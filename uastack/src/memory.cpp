// Memory and text services.
#include <opcua.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C"
{

    OPCUA_EXPORT OpcUa_Void* OpcUa_Memory_Alloc(OpcUa_UInt32 size)
    {
        // A zero-sized request still gives a distinct block, so that callers can tell it from failure.
        return std::malloc(size == 0 ? 1 : size);
    }

    OPCUA_EXPORT OpcUa_Void* OpcUa_Memory_ReAlloc(OpcUa_Void* buffer, OpcUa_UInt32 size)
    {
        return std::realloc(buffer, size == 0 ? 1 : size);
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_Memory_Free(OpcUa_Void* buffer)
    {
        std::free(buffer);
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_Memory_MemCpy(OpcUa_Void* target, OpcUa_UInt32 targetSize,
                                                      const OpcUa_Void* source, OpcUa_UInt32 count)
    {
        if (count == 0)
            return OpcUa_Good;
        if (target == nullptr || source == nullptr)
            return OpcUa_BadInvalidArgument;
        if (count > targetSize)
            return OpcUa_BadOutOfRange;
        std::memmove(target, source, count);
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Boolean OpcUa_String_IsNull(const OpcUa_String* value)
    {
        return value == nullptr || value->strContent == nullptr;
    }

    OPCUA_EXPORT OpcUa_Boolean OpcUa_String_IsEmpty(const OpcUa_String* value)
    {
        return value == nullptr || value->strContent == nullptr || value->uLength == 0;
    }

    static OpcUa_StatusCode assignBytes(OpcUa_String* target, const char* bytes, size_t length)
    {
        if (length >= 0x7FFFFFFFu)
            return OpcUa_BadOutOfRange;
        auto* content = static_cast<char*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(length + 1)));
        if (content == nullptr)
            return OpcUa_BadOutOfMemory;
        if (length > 0)
            std::memcpy(content, bytes, length);
        content[length] = 0;
        OpcUa_String_Clear(target);
        target->strContent = content;
        target->uLength = static_cast<OpcUa_UInt32>(length);
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_String_AttachCopy(OpcUa_String* target, const OpcUa_CharA* text)
    {
        if (target == nullptr)
            return OpcUa_BadInvalidArgument;
        if (text == nullptr)
        {
            OpcUa_String_Clear(target);
            return OpcUa_Good;
        }
        return assignBytes(target, text, std::strlen(text));
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_String_StrnCpy(OpcUa_String* target, const OpcUa_String* source,
                                                       OpcUa_UInt32 length)
    {
        if (target == nullptr || source == nullptr)
            return OpcUa_BadInvalidArgument;
        if (target == source)
            return OpcUa_Good;
        if (source->strContent == nullptr)
        {
            OpcUa_String_Clear(target);
            return OpcUa_Good;
        }
        size_t n = source->uLength;
        if (length < n)
            n = length;
        return assignBytes(target, source->strContent, n);
    }

    OPCUA_EXPORT OpcUa_Int32 OpcUa_String_StrnCmp(const OpcUa_String* a, const OpcUa_String* b,
                                                  OpcUa_UInt32 length, OpcUa_Boolean ignoreCase)
    {
        const char* pa = (a != nullptr && a->strContent != nullptr) ? a->strContent : "";
        const char* pb = (b != nullptr && b->strContent != nullptr) ? b->strContent : "";
        size_t la = (a != nullptr && a->strContent != nullptr) ? a->uLength : 0;
        size_t lb = (b != nullptr && b->strContent != nullptr) ? b->uLength : 0;
        if (la > length)
            la = length;
        if (lb > length)
            lb = length;
        size_t n = la < lb ? la : lb;
        for (size_t i = 0; i < n; ++i)
        {
            int ca = static_cast<unsigned char>(pa[i]);
            int cb = static_cast<unsigned char>(pb[i]);
            if (ignoreCase)
            {
                if (ca < 0x80)
                    ca = std::tolower(ca);
                if (cb < 0x80)
                    cb = std::tolower(cb);
            }
            if (ca != cb)
                return ca < cb ? -1 : 1;
        }
        if (la == lb)
            return 0;
        return la < lb ? -1 : 1;
    }

    OPCUA_EXPORT OpcUa_UInt32 OpcUa_String_StrSize(const OpcUa_String* value)
    {
        return (value == nullptr || value->strContent == nullptr) ? 0 : value->uLength;
    }

    OPCUA_EXPORT OpcUa_UInt32 OpcUa_String_StrLen(const OpcUa_String* value)
    {
        if (value == nullptr || value->strContent == nullptr)
            return 0;
        OpcUa_UInt32 count = 0;
        for (OpcUa_UInt32 i = 0; i < value->uLength; ++i)
            if ((static_cast<unsigned char>(value->strContent[i]) & 0xC0) != 0x80)
                ++count;
        return count;
    }

    OPCUA_EXPORT const OpcUa_CharA* OpcUa_String_GetRawString(const OpcUa_String* value)
    {
        return (value == nullptr || value->strContent == nullptr) ? "" : value->strContent;
    }

    OPCUA_EXPORT OpcUa_Int32 OpcUa_StringA_vsnprintf(OpcUa_CharA* buffer, size_t size,
                                                     const OpcUa_CharA* format, va_list args)
    {
        if (buffer == nullptr || size == 0 || format == nullptr)
            return -1;
        // Translate the "I64" length prefix into the C one.
        std::string fmt;
        const char* f = format;
        if (std::strstr(format, "I64") != nullptr)
        {
            for (const char* p = format; *p != 0; ++p)
            {
                if (p[0] == 'I' && p[1] == '6' && p[2] == '4' && p != format)
                {
                    // Only inside a conversion: scan back to the last '%' without a conversion letter.
                    const char* q = p - 1;
                    while (q > format && std::strchr("0123456789.-+ #*l", *q) != nullptr)
                        --q;
                    if (*q == '%')
                    {
                        fmt += "ll";
                        p += 2;
                        continue;
                    }
                }
                fmt += *p;
            }
            f = fmt.c_str();
        }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        int n = std::vsnprintf(buffer, size, f, args);
#pragma GCC diagnostic pop
        if (n < 0)
        {
            buffer[0] = 0;
            return -1;
        }
        if (static_cast<size_t>(n) >= size)
            return -1;
        return n;
    }

    OPCUA_EXPORT OpcUa_Int32 OpcUa_StringA_snprintf(OpcUa_CharA* buffer, size_t size,
                                                    const OpcUa_CharA* format, ...)
    {
        va_list args;
        va_start(args, format);
        OpcUa_Int32 n = OpcUa_StringA_vsnprintf(buffer, size, format, args);
        va_end(args);
        return n;
    }

} // extern "C"
