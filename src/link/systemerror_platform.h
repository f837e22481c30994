#pragma once

#include <QString>

// What each system adds to the common errno table of systemerror.cpp:
// systemerror_posix.cpp and systemerror_windows.cpp.
namespace quorva::link {

// The text of a system error number the common table lacks; empty if none.
QString platformErrorText(int error);
// The system error number whose system text `text` is, beyond the common
// table's; 0 when it is none.
int platformErrorNumberOfText(const QString& text);

// Windows: a Win32 error code (GetLastError()) as a system error number, kept
// apart from errno's numbers, which systemErrorText words in Portuguese.
int windowsError(unsigned long code);

} // namespace quorva::link
