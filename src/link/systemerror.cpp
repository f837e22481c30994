#include "systemerror.h"

#include "link/systemerror_platform.h"

#include <cerrno>
#include <cstring>

namespace quorva::link {

namespace {

struct ErrorText
{
    int error;
    const char* text;
};
// The errors that opening a port, a file or a link, and reading or
// appending to a file, can meet (those every system's C library knows; each
// system adds its own in systemerror_<system>.cpp).
constexpr ErrorText kErrorTexts[] = {
    {EPERM, "operação não permitida"},
    {ENOENT, "não existe"},
    {EINTR, "interrompido"},
    {EIO, "erro de entrada e saída"},
    {ENXIO, "dispositivo ou endereço inexistente (nada do outro lado)"},
    {EBADF, "descritor de arquivo inválido"},
    {EAGAIN, "recurso temporariamente indisponível"},
    {ENOMEM, "memória insuficiente"},
    {EACCES, "sem permissão"},
    {EBUSY, "dispositivo ou recurso ocupado"},
    {EEXIST, "já existe"},
    {ENODEV, "dispositivo inexistente"},
    {ENOTDIR, "não é uma pasta"},
    {EISDIR, "é uma pasta"},
    {EINVAL, "argumento inválido"},
    {ENFILE, "arquivos abertos demais no sistema"},
    {EMFILE, "arquivos abertos demais neste programa"},
    {ENOTTY, "não é uma porta serial"},
    {ETXTBSY, "arquivo em uso"},
    {EFBIG, "arquivo grande demais"},
    {ENOSPC, "sem espaço no dispositivo"},
    {EROFS, "sistema de arquivos somente leitura"},
    {EMLINK, "links demais"},
    {EPIPE, "a outra ponta foi fechada"},
    {ENAMETOOLONG, "nome longo demais"},
    {ELOOP, "links simbólicos em laço"},
    {EOVERFLOW, "valor grande demais"},
    {EOPNOTSUPP, "operação não suportada"},
};

} // namespace

QString systemErrorText(int error)
{
    for (const ErrorText& e : kErrorTexts) {
        if (e.error == error)
            return QString::fromUtf8(e.text);
    }
    if (const QString text = platformErrorText(error); !text.isEmpty())
        return text;
    return QStringLiteral("erro do sistema %1").arg(error);
}

int errorNumberOfText(const QString& text)
{
    for (const ErrorText& e : kErrorTexts) {
        if (text == QString::fromLocal8Bit(std::strerror(e.error)))
            return e.error;
    }
    return platformErrorNumberOfText(text);
}

} // namespace quorva::link
