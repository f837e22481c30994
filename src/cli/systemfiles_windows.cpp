// Files on Windows: the names Windows keeps for devices, byte-range locks,
// FlushFileBuffers, and the console's streams.
#include "systemfiles.h"

#include "cli/outputfile.h"
#include "link/systemerror_platform.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <iterator>
#include <unistd.h>
#include <windows.h>

namespace quorva::cli {

namespace {

// Reserved in every folder and with any extension ("nul.txt" is NUL too);
// the superscript digits count as digits.
constexpr const char16_t* kDeviceNames[] = {
    u"CON",  u"PRN",  u"AUX",  u"NUL",  u"CONIN$", u"CONOUT$", u"CLOCK$", u"COM0", u"COM1",
    u"COM2", u"COM3", u"COM4", u"COM5", u"COM6",   u"COM7",    u"COM8",   u"COM9", u"COM¹",
    u"COM²", u"COM³", u"LPT0", u"LPT1", u"LPT2",   u"LPT3",    u"LPT4",   u"LPT5", u"LPT6",
    u"LPT7", u"LPT8", u"LPT9", u"LPT¹", u"LPT²",   u"LPT³"};

HANDLE handleOf(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

int lastError()
{
    return link::windowsError(::GetLastError());
}

QString kindOf(DWORD fileType)
{
    if (fileType == FILE_TYPE_PIPE)
        return QStringLiteral("é um pipe, não um arquivo comum");
    if (fileType == FILE_TYPE_CHAR)
        return QStringLiteral("é um dispositivo, não um arquivo comum");
    return QStringLiteral("não é um arquivo comum");
}

} // namespace

QString deviceNameRefusal(const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    // \\.\COM5 and \\?\COM5 reach devices; \\?\C:\... and \\?\UNC\... are long paths.
    if (native.startsWith(QLatin1String("\\\\.\\")) ||
        (native.startsWith(QLatin1String("\\\\?\\")) && native.mid(5, 2) != QLatin1String(":\\") &&
         !native.mid(4).startsWith(QLatin1String("UNC\\"), Qt::CaseInsensitive)))
        return QStringLiteral("é um caminho de dispositivo do Windows, não um arquivo");
    QString name = native.section(u'\\', -1);
    name = name.left(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    name = name.left(name.indexOf(u':') < 0 ? name.size() : name.indexOf(u':')).trimmed();
    for (const char16_t* device : kDeviceNames) {
        if (name.compare(QString::fromUtf16(device), Qt::CaseInsensitive) == 0)
            return QStringLiteral("é um nome de dispositivo do Windows (%1), não um arquivo")
                .arg(name.toUpper());
    }
    return {};
}

int openRegularFile(const QString& path, int flags, QString* reason)
{
    // Refused before it is opened: opening COM1 would take the port.
    if (const QString refusal = deviceNameRefusal(path); !refusal.isEmpty()) {
        *reason = refusal;
        return -1;
    }
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *reason = QStringLiteral("é uma pasta");
        return -1;
    }
    const bool readOnly = (flags & (O_WRONLY | O_RDWR)) == 0;
    // Shared as a POSIX file is: another program may read and append too (the
    // record's lock orders the appends), and rename over it.
    const HANDLE file = ::CreateFileW(
        name.c_str(), readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        (flags & O_CREAT) ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *reason = systemErrorText(lastError());
        return -1;
    }
    if (const DWORD type = ::GetFileType(file); type != FILE_TYPE_DISK) {
        *reason = kindOf(type);
        ::CloseHandle(file);
        return -1;
    }
    // Binary: the bytes written are the bytes on the disk.
    const int fd =
        ::_open_osfhandle(reinterpret_cast<intptr_t>(file),
                          (readOnly ? _O_RDONLY : 0) | (flags & O_APPEND ? _O_APPEND : 0));
    if (fd < 0) {
        *reason = systemErrorText(errno);
        ::CloseHandle(file);
    }
    return fd;
}

FileLock tryLockFile(int fd)
{
    OVERLAPPED from{}; // the whole file, from its first byte
    if (::LockFileEx(handleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                     MAXDWORD, &from))
        return FileLock::Taken;
    return ::GetLastError() == ERROR_LOCK_VIOLATION ? FileLock::HeldByAnother
                                                    : FileLock::Unsupported;
}

void unlockFile(int fd)
{
    OVERLAPPED from{};
    ::UnlockFileEx(handleOf(fd), 0, MAXDWORD, MAXDWORD, &from);
}

int syncFile(int fd)
{
    return ::FlushFileBuffers(handleOf(fd)) ? 0 : lastError();
}

int truncateFile(int fd, qint64 size)
{
    return ::_chsize_s(fd, size);
}

// NTFS writes a new file's folder entry through its journal; a program has
// no handle on a folder to flush without administrator rights.
int syncFolderOf(const QString&)
{
    return 0;
}

QString descriptorPath(int fd)
{
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK)
        return {};
    wchar_t path[MAX_PATH * 4];
    const DWORD size = ::GetFinalPathNameByHandleW(handle, path, DWORD(std::size(path)),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (size == 0 || size >= std::size(path))
        return {};
    QString target = QString::fromWCharArray(path, int(size));
    if (target.startsWith(QLatin1String("\\\\?\\")))
        target.remove(0, 4);
    return target;
}

bool sameFile(const QString& a, const QString& b)
{
    const auto identity = [](const QString& path, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE handle = ::CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                            nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
        ::CloseHandle(handle);
        return known;
    };
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identity(a, first) && identity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

bool inputIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool takeTypedLine()
{
    // The console's key presses, read without waiting; Enter ends the line.
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD waiting = 0;
    bool enter = false;
    while (::GetNumberOfConsoleInputEvents(input, &waiting) && waiting > 0) {
        INPUT_RECORD record{};
        DWORD read = 0;
        if (!::ReadConsoleInputW(input, &record, 1, &read) || read == 0)
            break;
        enter = enter || (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
                          record.Event.KeyEvent.wVirtualKeyCode == VK_RETURN);
    }
    return enter;
}

bool isSystemInformationFile(int)
{
    return false;
}

bool fillClosedStandardDescriptors()
{
    bool outputClosed = false;
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::_get_osfhandle(fd) >= 0)
            continue;
        outputClosed = outputClosed || fd == STDOUT_FILENO;
        const int null = ::_open("NUL", fd == STDIN_FILENO ? _O_RDONLY : _O_WRONLY);
        if (null >= 0 && null != fd) {
            ::_dup2(null, fd);
            ::_close(null);
        }
    }
    // Bytes go out as written, UTF-8 and with bare line feeds, as on Linux;
    // a console shows them as UTF-8.
    ::_setmode(STDOUT_FILENO, _O_BINARY);
    ::_setmode(STDERR_FILENO, _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
    return outputClosed;
}

} // namespace quorva::cli
