#include "linkfailure.h"

#include "link/systemerror.h"

namespace quorva::link {

namespace {

struct FailureText
{
    FailureKind kind;
    const char* reason;
    const char* advice;
};

constexpr FailureText kFailureTexts[] = {
    {FailureKind::NoCable, "nenhum cabo USB-serial encontrado",
     "Conecte o cabo do transmissor e clique em Conectar."},
    {FailureKind::PortNotFound, "porta não encontrada",
     "Confira o nome da porta; um cabo desconectado leva a sua porta."},
    {FailureKind::PermissionDenied, "sem permissão para abrir a porta (grupo dialout)",
     "Adicione o usuário ao grupo dialout e entre de novo na sessão:\n"
     "sudo usermod -aG dialout $USER"},
    {FailureKind::PortBusy, "porta em uso por outro programa",
     "Feche o outro programa (outra janela do QUORVA, um terminal serial) e tente de novo."},
    {FailureKind::PortGone, "a porta deixou de responder (cabo desconectado?)",
     "Confira o cabo e clique em Conectar."},
    {FailureKind::OpenFailed, "", ""},
};

const FailureText* textOf(FailureKind kind)
{
    for (const FailureText& text : kFailureTexts)
        if (text.kind == kind)
            return &text;
    return nullptr;
}

} // namespace

QString failureReason(const LinkFailure& failure)
{
    if (failure.kind == FailureKind::OpenFailed) {
        // The serial layer words the system's reason in English.
        if (const int number = errorNumberOfText(failure.systemText))
            return systemErrorText(number);
        return failure.systemText.isEmpty() ? QStringLiteral("não foi possível abrir a porta")
                                            : failure.systemText;
    }
    const FailureText* text = textOf(failure.kind);
    return text ? QString::fromUtf8(text->reason) : QString();
}

QString failureExplanation(const LinkFailure& failure)
{
    const FailureText* text = textOf(failure.kind);
    if (!text)
        return QString();
    QString reason = failureReason(failure);
    QStringList lines;
    if (failure.kind == FailureKind::NoCable) {
        reason[0] = reason[0].toUpper();
        lines << reason + u'.';
        if (failure.portsSeen.isEmpty())
            lines << QStringLiteral("Nenhuma porta serial presente.");
        else
            lines << QStringLiteral("Portas seriais presentes: %1; para usar uma delas: quorva "
                                    "--port NOME.")
                         .arg(failure.portsSeen.join(QStringLiteral(", ")));
    } else {
        lines << QStringLiteral("%1: %2.").arg(failure.port, reason);
    }
    if (*text->advice)
        lines << QString::fromUtf8(text->advice);
    return lines.join(u'\n');
}

FailureKind classifyOpenError(QSerialPort::SerialPortError error, bool userMayReadWrite)
{
    switch (error) {
    case QSerialPort::NoError:
        return FailureKind::None;
    case QSerialPort::DeviceNotFoundError:
        return FailureKind::PortNotFound;
    case QSerialPort::PermissionError:
        return userMayReadWrite ? FailureKind::PortBusy : FailureKind::PermissionDenied;
    default:
        return FailureKind::OpenFailed;
    }
}

} // namespace quorva::link
