#include "syserror.h"

#include <cerrno>
#include <cstring>

namespace quorva::cli {

namespace {

struct ErrorText
{
    int err;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {ENOSPC, "sem espaço no dispositivo"},
    {EDQUOT, "cota de disco excedida"},
    {EFBIG, "arquivo grande demais"},
    {EIO, "erro de entrada/saída"},
    {EACCES, "permissão negada"},
    {EPERM, "operação não permitida"},
    {EROFS, "sistema de arquivos somente leitura"},
    {ENOENT, "arquivo ou pasta inexistente"},
    {ENOTDIR, "não é uma pasta"},
    {EISDIR, "é uma pasta"},
    {EPIPE, "o leitor fechou a saída (pipe)"},
    {EBADF, "saída fechada"},
};

} // namespace

QString systemErrorText(int err)
{
    for (const ErrorText& e : kErrorTexts) {
        if (e.err == err)
            return QString::fromUtf8(e.text);
    }
    return QStringLiteral("erro %1 (%2)").arg(err).arg(QString::fromLocal8Bit(std::strerror(err)));
}

} // namespace quorva::cli
