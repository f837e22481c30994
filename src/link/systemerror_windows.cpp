// Windows' own error codes (GetLastError()), from opening a COM port or a
// file and reading and writing them, in Portuguese.
#include "link/systemerror_platform.h"

#include <windows.h>

namespace quorva::link {

namespace {

// Above every errno number, so the two never meet.
constexpr int kWindowsErrorBase = 0x20000;

// Windows' code for a full disk quota, which MinGW's headers lack.
constexpr unsigned long kErrorDiskQuotaExceeded = 1295;

struct WindowsErrorText
{
    unsigned long code;
    const char* text;
};
constexpr WindowsErrorText kWindowsErrorTexts[] = {
    {ERROR_FILE_NOT_FOUND, "não existe"},
    {ERROR_PATH_NOT_FOUND, "a pasta não existe"},
    {ERROR_TOO_MANY_OPEN_FILES, "arquivos abertos demais neste programa"},
    {ERROR_ACCESS_DENIED, "acesso negado"},
    {ERROR_INVALID_HANDLE, "identificador inválido"},
    {ERROR_NOT_ENOUGH_MEMORY, "memória insuficiente"},
    {ERROR_OUTOFMEMORY, "memória insuficiente"},
    {ERROR_INVALID_DRIVE, "a unidade não existe"},
    {ERROR_WRITE_PROTECT, "disco protegido contra gravação"},
    {ERROR_NOT_READY, "o dispositivo não está pronto"},
    {ERROR_BAD_COMMAND, "o dispositivo não reconhece o comando"},
    {ERROR_WRITE_FAULT, "falha de gravação no dispositivo"},
    {ERROR_READ_FAULT, "falha de leitura no dispositivo"},
    {ERROR_GEN_FAILURE, "o dispositivo não está funcionando"},
    {ERROR_SHARING_VIOLATION, "em uso por outro programa"},
    {ERROR_LOCK_VIOLATION, "bloqueado por outro programa"},
    {ERROR_HANDLE_DISK_FULL, "sem espaço no disco"},
    {ERROR_NOT_SUPPORTED, "operação não suportada"},
    {ERROR_BAD_NETPATH, "caminho de rede não encontrado"},
    {ERROR_NETNAME_DELETED, "o nome de rede não está mais disponível"},
    {ERROR_FILE_EXISTS, "já existe"},
    {ERROR_INVALID_PARAMETER, "parâmetro inválido"},
    {ERROR_BROKEN_PIPE, "a outra ponta foi fechada"},
    {ERROR_DISK_FULL, "sem espaço no disco"},
    {ERROR_SEM_TIMEOUT, "tempo esgotado"},
    {ERROR_INVALID_NAME, "nome de arquivo, pasta ou unidade inválido"},
    {ERROR_ALREADY_EXISTS, "já existe"},
    {ERROR_FILENAME_EXCED_RANGE, "nome longo demais"},
    {ERROR_NO_DATA, "a outra ponta foi fechada"},
    {ERROR_DIRECTORY, "nome de pasta inválido"},
    {ERROR_OPERATION_ABORTED, "operação cancelada"},
    {ERROR_IO_DEVICE, "erro de entrada e saída no dispositivo"},
    {ERROR_DEVICE_NOT_CONNECTED, "o dispositivo não está conectado"},
    {kErrorDiskQuotaExceeded, "cota de disco excedida"},
    {ERROR_PRIVILEGE_NOT_HELD, "o usuário não tem o privilégio necessário"},
    {ERROR_TIMEOUT, "tempo esgotado"},
    {ERROR_DEVICE_REMOVED, "o dispositivo foi removido"},
    {ERROR_CANT_ACCESS_FILE, "o arquivo não pode ser acessado"},
};

// The system's own text of a code, as Qt words a file's or a port's failure.
QString systemMessage(unsigned long code)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text),
        0, nullptr);
    QString message = length > 0 ? QString::fromWCharArray(text, int(length)) : QString();
    ::LocalFree(text);
    return message.trimmed();
}

} // namespace

int windowsError(unsigned long code)
{
    return kWindowsErrorBase + int(code & 0xFFFF);
}

QString platformErrorText(int error)
{
    if (error < kWindowsErrorBase)
        return {};
    const unsigned long code = unsigned(error - kWindowsErrorBase);
    for (const WindowsErrorText& e : kWindowsErrorTexts) {
        if (e.code == code)
            return QString::fromUtf8(e.text);
    }
    return QStringLiteral("erro do Windows %1").arg(code);
}

int platformErrorNumberOfText(const QString& text)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return 0;
    for (const WindowsErrorText& e : kWindowsErrorTexts) {
        if (systemMessage(e.code) == wanted)
            return windowsError(e.code);
    }
    return 0;
}

} // namespace quorva::link
