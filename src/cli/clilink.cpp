#include "clilink.h"

#include "cli/interrupt.h"
#include "cli/systemfiles.h"
#include "link/usbserialdriver.h"
#include "transmitter/reading.h"
#include "transmitter/writeprocedure.h"

#include <QEventLoop>

namespace quorva::cli {

using link::ReplyFault;
using link::ReplyOutcome;
using link::SendOutcome;

LinkError interruptedError()
{
    return {outcomeWords(Outcome::Interrupted), Outcome::Interrupted, {}};
}

CliLink::CliLink(const LinkChoice& choice)
    : m_line([&choice](const link::LinkClock& clock) -> link::ChosenDriver {
          if (choice.simulate)
              return std::make_unique<sim::VirtualTransmitter>(clock);
          return std::make_unique<link::UsbSerialDriver>(choice.port);
      })
{
    m_line.master.setResponseTimeoutMs(choice.timeoutMs);
}

CliLink::~CliLink()
{
    m_line.master.reset();
    m_line.link.close();
}

QString CliLink::portName() const
{
    if (auto* usb = dynamic_cast<link::UsbSerialDriver*>(m_line.driver.get()))
        return usb->portForIndex(0);
    return QStringLiteral("simulate");
}

bool CliLink::isVirtual() const
{
    return dynamic_cast<const sim::VirtualTransmitter*>(m_line.driver.get()) != nullptr;
}

bool CliLink::open(LinkError* error)
{
    if (m_line.link.open() == link::DriverStatusCode::Ok) {
        // An earlier run may have left a request unanswered on the port (its
        // note says which): its answer must not pass for this run's.
        m_line.master.opened();
        return true;
    }
    // The reasons are the window's; the port is named beside them.
    const link::LinkFailure failure = m_line.driver->lastFailure();
    QString message = QStringLiteral("Erro ao abrir o dispositivo USB.");
    if (failure.kind == link::FailureKind::NoCable)
        message += QStringLiteral(" (%1)").arg(link::failureReason(failure));
    else if (failure.kind != link::FailureKind::None)
        message += QStringLiteral(" (%1: %2)").arg(failure.port, link::failureReason(failure));
    *error = {message, outcomeOf(failure.kind), {}};
    return false;
}

QString CliLink::lineFailureText() const
{
    // Why the port failed, as the window says it beneath the same words.
    const link::LinkFailure failure = m_line.driver->lastFailure();
    if (failure.kind == link::FailureKind::None)
        return QString();
    return QStringLiteral(" (%1: %2)").arg(failure.port, link::failureReason(failure));
}

bool CliLink::transact(const std::function<SendOutcome()>& send, link::TransactionResult& result,
                       LinkError* error)
{
    result = {};
    if (interrupted()) {
        *error = interruptedError();
        return false;
    }
    QEventLoop loop;
    bool done = false;
    bool stopped = false;
    const auto connection = QObject::connect(&m_line.master, &link::ModbusMaster::finished,
                                             [&](const link::TransactionResult& r) {
                                                 result = r;
                                                 done = true;
                                                 loop.quit();
                                             });
    // A signal drops the read (a write runs as writeAndReadBack).
    const auto watch = watchInterrupt([&] {
        if (done)
            return;
        m_line.master.cancel();
        stopped = true;
        loop.quit();
    });
    // The master takes one request at a time; this link never offers a second.
    const bool refused = send() == SendOutcome::Busy;
    if (refused)
        result.outcome = ReplyOutcome::SendFailed;
    else if (!done)
        loop.exec();
    QObject::disconnect(connection);
    if (stopped) {
        *error = interruptedError();
        return false;
    }
    if (result.outcome == ReplyOutcome::Reply)
        return true;
    describeFailure(result, refused, error);
    return false;
}

void CliLink::describeFailure(const link::TransactionResult& result, bool refused, LinkError* error)
{
    error->outcome = outcomeOf(result.outcome);
    error->fault.clear();
    if (result.outcome == ReplyOutcome::BadReply)
        error->fault = QString::fromLatin1(link::faultName(result.fault));
    if (result.outcome == ReplyOutcome::ReadFailed)
        error->message = QStringLiteral("Erro ao tentar receber dados.") + lineFailureText();
    else if (result.outcome == ReplyOutcome::SendFailed)
        error->message = QStringLiteral("Erro ao tentar enviar dados.") + lineFailureText();
    else
        error->message = transmitter::replyFailureText(result);
    if (!refused && (result.outcome == ReplyOutcome::ReadFailed ||
                     result.outcome == ReplyOutcome::SendFailed)) {
        // The line is gone: let the port go, so the next open takes it afresh.
        m_line.master.reset();
        m_line.link.close();
    }
}

bool CliLink::readImage(transmitter::RegisterImage& image, LinkError* error)
{
    using namespace transmitter;
    link::TransactionResult r;
    if (!transact(
            [this] {
                return m_line.master.readHoldingRegisters(kSlaveAddress, kReadFirstRegister,
                                                          kReadRegisterCount);
            },
            r, error)) {
        nameReadFailure(error);
        return false;
    }
    image = decodeRegisterImage(r.words);
    return true;
}

void CliLink::nameReadFailure(LinkError* error)
{
    // The port's own failures and an interruption are said in their own words.
    if (error->outcome != Outcome::Interrupted && error->outcome != Outcome::ReadFailed &&
        error->outcome != Outcome::SendFailed)
        error->message.prepend(QString::fromUtf8(transmitter::kReadErrorText) +
                               QStringLiteral(": "));
}

void CliLink::nameWriteFailure(ReplyOutcome outcome, LinkError* error)
{
    if (outcome == ReplyOutcome::LineBusy) // bytes held the line: nothing went out
        error->message =
            QStringLiteral("A configuração não foi enviada: linha ocupada (o pedido não pôde "
                           "sair a tempo)");
    else if (outcome == ReplyOutcome::NotSent) // the device never came into step
        error->message = QStringLiteral("A configuração não foi enviada: ") + error->message;
    // A refusal is the device's own answer to the request.
    else if (outcome == ReplyOutcome::Exception)
        error->message.prepend(
            QStringLiteral("A configuração não foi confirmada pelo transmissor: "));
    // Once the request went out, the device may have taken it, whatever
    // failed after; an interruption comes only before the request is sent.
    else if (!error->isInterruption() && outcome != ReplyOutcome::SendFailed) {
        error->message = QStringLiteral("%1 (%2)").arg(outcomeWords(Outcome::SentUnconfirmed),
                                                       error->message);
        error->outcome = Outcome::SentUnconfirmed;
    }
}

bool CliLink::writeAndReadBack(const transmitter::WriteImage& image,
                               transmitter::WriteReport& report, LinkError* error)
{
    using transmitter::ConfigurationWrite;
    using transmitter::WriteOutcome;
    report = {};
    if (interrupted()) {
        *error = interruptedError();
        return false;
    }
    ConfigurationWrite write(m_line.master);
    QEventLoop loop;
    bool echoed = false;
    bool stopped = false;
    const auto stop = [&] {
        write.cancel();
        stopped = true;
        loop.quit();
    };
    QObject::connect(&write, &ConfigurationWrite::finished, [&](const transmitter::WriteReport& r) {
        report = r;
        loop.quit();
    });
    // A signal that came while the write was on the line ends it here, before
    // the read-back goes out.
    QObject::connect(&write, &ConfigurationWrite::echoed, [&] {
        echoed = true;
        if (interrupted())
            stop();
    });
    // A signal drops a write still waiting for the line, and the read-back; a
    // write on the line is awaited, so that its outcome is reported as it is.
    const auto watch = watchInterrupt([&] {
        if (write.step() == ConfigurationWrite::Step::ReadingBack ||
            (write.step() == ConfigurationWrite::Step::AwaitingEcho &&
             m_line.master.requestWaiting()))
            stop();
    });
    // The master takes one request at a time; this link never offers a second.
    if (!write.start(image)) {
        report.result.outcome = ReplyOutcome::SendFailed;
        describeFailure(report.result, true, error);
        nameWriteFailure(report.result.outcome, error);
        return false;
    }
    if (write.active())
        loop.exec();
    if (stopped) {
        report.outcome = echoed ? WriteOutcome::ReadBackFailed : WriteOutcome::EchoFailed;
        if (!echoed) // dropped while it waited for the line: it never went out
            report.result.outcome = ReplyOutcome::LineBusy;
        *error = interruptedError();
        return false;
    }
    switch (report.outcome) {
    case WriteOutcome::Confirmed:
    case WriteOutcome::ReadBackDiffers:
        return true;
    case WriteOutcome::EchoFailed:
        describeFailure(report.result, false, error);
        if (interrupted() && report.sent()) {
            // The signal came while the request was on the line: the device
            // may have taken it, and the reason it is not confirmed is said.
            *error = {QStringLiteral("interrompido: a configuração foi enviada, mas não foi "
                                     "confirmada pelo transmissor: ") +
                          error->message,
                      Outcome::Interrupted,
                      {}};
            break;
        }
        nameWriteFailure(report.result.outcome, error);
        break;
    case WriteOutcome::ReadBackFailed:
        describeFailure(report.result, false, error);
        nameReadFailure(error);
        break;
    }
    return false;
}

} // namespace quorva::cli
