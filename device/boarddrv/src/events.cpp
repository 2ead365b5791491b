#include "events.h"
#include "trace.h"

#include <windows.h>

namespace boarddrv
{

namespace
{

struct Message
{
    DWORD id;
    const char16_t* english;
    const char16_t* german;
};

// The driver raises the identifiers of events.h; the category texts complete the table.
constexpr Message kMessages[] = {
    {0x00000001, u"First category event (success).%0\r\n",
     u"Erreigniss erster Kategorie (Information).%0\r\n"},
    {0x00000002, u"%1 %2.%0\r\n", u"%1 %2.%0\r\n"},
    {0x400007D0, u"First category event (success).%0\r\n",
     u"Erreigniss erster Kategorie (Information).%0\r\n"},
    {0x400007D1, u"%1 %2.%0\r\n", u"%1 %2.%0\r\n"},
    {0x400007D2, u"Service started.%0\r\n", u"Dienst wurde gestarted.%0\r\n"},
    {0x400007D3, u"Service stopped.%0\r\n", u"Dienst wurde beendet.%0\r\n"},
    {0x80000BB8, u"Second category event (warning).%0\r\n", u"Ereignis zweiter Kategorie (Warnung).%0\r\n"},
    {0x80000BB9, u"%1 %2.%0\r\n", u"%1 %2.%0\r\n"},
    {0x80000BBA,
     u"Missing or invalid CPU Tjmax parameter configuration (maximal junction temperature). Please update "
     u"the "
     u"\"Corvanta Rodevadido Device Driver\"!%0\r\n",
     u"Falsche oder fehlende CPU-Tjmax-Parameterkonfiguration (maximal junction temperature). Aktualisieren "
     u"Sie "
     u"bitte \"Corvanta Rodevadido Device Driver\"!%0\r\n"},
    {0x80000BBB,
     u"Extended PWRCTRL and seconds UPS functions are not supported by existing BIOS version.%0\r\n",
     u"Erweiterte PWRCTRL- und Sekunden-USV Funktionen sind in der vorhandenen BIOS-Version nicht "
     u"verf\u00fcgbar.%0\r\n"},
    {0xC0000FA0, u"Third category event (error).%0\r\n", u"Ereignis dritter Kategorie (Fehler).%0\r\n"},
    {0xC0000FA1, u"%1 %2.%0\r\n", u"%1 %2.%0\r\n"},
    {0xC0000FA2, u"BIOS interface to \"Corvanta Rodevadido Device Driver\" not found!%0\r\n",
     u"Die BIOS-Schnittstelle f\u00fcr \"Corvanta Rodevadido Device Driver\" wurde nicht gefunden!%0\r\n"},
    {0xC0000FA3, u"The requested device functionality is not supported by existing BIOS version!%0\r\n",
     u"Die gew\u00fcschte Ger\u00e4tefunktionalit\u00e4t wird von der vorhandenen BIOS-Version nicht "
     u"unterst\u00fctzt!%0\r\n"},
};

constexpr char16_t kLogFile[] = u"\\Hard Disk\\System\\BoarddrvLog.txt";

bool systemSpeaksGerman()
{
    return PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_GERMAN;
}

// The text before "%0" ends the line: "%0" stands for "no further line break".
std::u16string eventLine(const std::u16string& text)
{
    return text.substr(0, text.find(u"%0")) + u"\r\n";
}

std::string toCodePage(const std::u16string& text)
{
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                            nullptr, nullptr);
    return bytes;
}

void appendToLog(const std::string& line)
{
    HANDLE file = CreateFileW(kLogFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER)
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace

std::u16string messageText(DWORD id, bool german)
{
    for (const Message& message : kMessages)
        if (message.id == id)
            return german ? message.german : message.english;
    return {};
}

void raiseEvent(DWORD id, DWORD logLevel)
{
    const std::u16string line = eventLine(messageText(id, systemSpeaksGerman()));
    trace("Boarddrv event 0x%08X: %s", static_cast<unsigned>(id), os::toUtf8(line).c_str());
    if (logLevel & kLogEvents)
        appendToLog(toCodePage(line));
}

} // namespace boarddrv
