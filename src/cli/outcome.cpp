#include "outcome.h"

namespace quorva::cli {

namespace {

struct OutcomeText
{
    Outcome outcome;
    const char* code;
    const char* words;
};
constexpr OutcomeText kOutcomeTexts[] = {
    {Outcome::Ok, "ok", "configuração confirmada e relida"},
    {Outcome::NoReply, "no-reply", "o transmissor não respondeu"},
    {Outcome::BadReply, "bad-reply", "resposta inválida do transmissor"},
    {Outcome::Exception, "exception", "o transmissor recusou o pedido"},
    {Outcome::ReadFailed, "read-failed", "a leitura falhou"},
    {Outcome::SendFailed, "send-failed", "o envio falhou"},
    {Outcome::LineBusy, "line-busy", "linha ocupada"},
    {Outcome::NotSent, "not-sent", "nada foi enviado: a linha não entrou em sincronismo"},
    {Outcome::PortNotFound, "port-not-found", "porta não encontrada"},
    {Outcome::PortBusy, "port-busy", "porta em uso por outro programa"},
    {Outcome::PortGone, "port-gone", "a porta deixou de responder (cabo desconectado?)"},
    {Outcome::PermissionDenied, "permission-denied", "sem permissão para abrir a porta"},
    {Outcome::OpenFailed, "open-failed", "a porta não abriu"},
    {Outcome::Interrupted, "interrupted", "interrompido"},
    {Outcome::Refused, "refused", "configuração recusada"},
    {Outcome::SentUnconfirmed, "sent-unconfirmed",
     "a configuração foi enviada; não foi possível confirmar"},
    {Outcome::UnknownModel, "unknown-model", "modelo desconhecido"},
    {Outcome::ReadBackFailed, "read-back-failed",
     "configuração confirmada, mas a releitura falhou"},
    {Outcome::ReadBackDiffers, "read-back-differs", "a releitura difere do que foi enviado"},
    {Outcome::RecordFailed, "record-failed", "a tentativa não foi registrada"},
};

const OutcomeText& textOf(Outcome outcome)
{
    for (const OutcomeText& text : kOutcomeTexts) {
        if (text.outcome == outcome)
            return text;
    }
    return kOutcomeTexts[0]; // every outcome has its row
}

} // namespace

QString outcomeCode(Outcome outcome)
{
    return QString::fromLatin1(textOf(outcome).code);
}

std::optional<Outcome> outcomeOfCode(const QString& code)
{
    for (const OutcomeText& text : kOutcomeTexts) {
        if (code == QLatin1String(text.code))
            return text.outcome;
    }
    return std::nullopt;
}

QString outcomeWords(Outcome outcome)
{
    return QString::fromUtf8(textOf(outcome).words);
}

Outcome outcomeOf(link::ReplyOutcome outcome)
{
    using link::ReplyOutcome;
    switch (outcome) {
    case ReplyOutcome::Reply:
        return Outcome::Ok;
    case ReplyOutcome::NoReply:
        return Outcome::NoReply;
    case ReplyOutcome::BadReply:
        return Outcome::BadReply;
    case ReplyOutcome::Exception:
        return Outcome::Exception;
    case ReplyOutcome::ReadFailed:
        return Outcome::ReadFailed;
    case ReplyOutcome::SendFailed:
        return Outcome::SendFailed;
    case ReplyOutcome::LineBusy:
        return Outcome::LineBusy;
    case ReplyOutcome::NotSent:
        return Outcome::NotSent;
    }
    return Outcome::ReadFailed;
}

Outcome outcomeOf(link::FailureKind kind)
{
    using link::FailureKind;
    switch (kind) {
    case FailureKind::NoCable:
    case FailureKind::PortNotFound:
        return Outcome::PortNotFound;
    case FailureKind::PermissionDenied:
        return Outcome::PermissionDenied;
    case FailureKind::PortBusy:
        return Outcome::PortBusy;
    case FailureKind::PortGone:
        return Outcome::PortGone;
    case FailureKind::None:
    case FailureKind::OpenFailed:
        break;
    }
    return Outcome::OpenFailed;
}

} // namespace quorva::cli
