// The program's version and build date, as the server reports them in its build information
// and the Vos interface in its device info.
#pragma once

#include <uadatetime.h>

#include <windows.h>

#include <string>

// The two version words of a file's version record: a.b in the first, c.d in the second.
struct OpcFileVersion
{
    DWORD m_versionMS = 0;
    DWORD m_versionLS = 0;

    // Number 0 to 3 of a.b.c.d.
    WORD part(int index) const;
    // "a.b.c.d".
    std::string softwareVersion() const;
    // The second part as a decimal number.
    std::string buildNumber() const;
};

// Reads the version words of a file's version record (the program's: opcwatchProgramFile()). False, with the
// version untouched, when the record cannot be read: the failing call is traced at level 1 with the last
// error
// ("GetFileVersionInfoSize failed with %i", "GetFileVersionInfo failed with %i",
// "VerQueryValue failed with %i").
bool readFileVersion(const std::u16string& file, OpcFileVersion& version);

// The compiler's date ("Mmm dd yyyy") and time ("hh:mm:ss") as a date-time taken as UTC and
// moved two hours back; a null date-time for text of another form.
UaDateTime buildDateTime(const char* compileDate, const char* compileTime);

// The build date of the file that calls it.
inline UaDateTime opcwatchBuildDate()
{
    return buildDateTime(__DATE__, __TIME__);
}
