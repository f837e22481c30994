#include "clilink.h"

#include "link/usbserialdriver.h"
#include "transmitter/reading.h"

#include <QEventLoop>

namespace quorva::cli {

using link::ReplyOutcome;
using link::SendOutcome;

CliLink::CliLink(const LinkChoice& choice)
{
    if (choice.simulate) {
        auto simulator = std::make_unique<sim::VirtualTransmitter>(m_clock);
        m_simulator = simulator.get();
        m_driver = std::move(simulator);
    } else {
        m_driver = std::make_unique<link::UsbSerialDriver>(choice.port);
    }
    m_link = std::make_unique<link::DeviceLink>(*m_driver);
    m_master = std::make_unique<link::ModbusMaster>(*m_link, m_clock);
}

CliLink::~CliLink()
{
    m_master->reset();
    m_link->close();
}

bool CliLink::open(QString* error)
{
    if (m_link->open() == link::DriverStatusCode::Ok)
        return true;
    QString detail;
    if (auto* usb = dynamic_cast<link::UsbSerialDriver*>(m_driver.get())) {
        const QString port = usb->portForIndex(0);
        detail = port.isEmpty() ? QStringLiteral("nenhum cabo USB-serial encontrado")
                                : port + QStringLiteral(": ") + usb->lastOpenError();
    }
    *error = QStringLiteral("Erro ao abrir o dispositivo USB.");
    if (!detail.isEmpty())
        *error += QStringLiteral(" (") + detail + QStringLiteral(")");
    return false;
}

link::TransactionResult CliLink::transact(const std::function<SendOutcome()>& send, QString* error)
{
    link::TransactionResult result;
    result.outcome = ReplyOutcome::NoReply;
    QEventLoop loop;
    bool done = false;
    const auto connection = QObject::connect(m_master.get(), &link::ModbusMaster::finished,
                                             [&](const link::TransactionResult& r) {
                                                 result = r;
                                                 done = true;
                                                 loop.quit();
                                             });
    const SendOutcome sent = send();
    if (sent == SendOutcome::Busy) {
        QObject::disconnect(connection);
        *error = QStringLiteral("Erro ao tentar enviar dados.");
        result.outcome = ReplyOutcome::SendFailed;
        return result;
    }
    if (!done)
        loop.exec();
    QObject::disconnect(connection);
    switch (result.outcome) {
    case ReplyOutcome::Reply:
        break;
    case ReplyOutcome::NoReply:
        *error = QStringLiteral("o transmissor não respondeu (* Falha de comunicação *)");
        break;
    case ReplyOutcome::BadReply:
        *error = QStringLiteral("resposta inválida do transmissor (%1)")
                     .arg(QString::fromLatin1(link::faultName(result.fault)));
        break;
    case ReplyOutcome::Exception:
        *error = QStringLiteral("o transmissor recusou o pedido %1")
                     .arg(transmitter::exceptionText(result.exceptionCode));
        break;
    case ReplyOutcome::ReadFailed:
        *error = QStringLiteral("Erro ao tentar receber dados.");
        break;
    case ReplyOutcome::SendFailed:
        *error = QStringLiteral("Erro ao tentar enviar dados.");
        break;
    }
    return result;
}

bool CliLink::readImage(transmitter::RegisterImage& image, QString* error)
{
    using namespace transmitter;
    QString why;
    const link::TransactionResult r = transact(
        [this] {
            return m_master->readHoldingRegisters(kSlaveAddress, kReadFirstRegister,
                                                  kReadRegisterCount);
        },
        &why);
    if (r.outcome != ReplyOutcome::Reply) {
        *error = why.startsWith(QStringLiteral("Erro")) ? why
                                                        : QStringLiteral("Erro de leitura: ") + why;
        return false;
    }
    image = decodeRegisterImage(r.words);
    return true;
}

bool CliLink::writeImage(const transmitter::WriteImage& image, QString* error)
{
    using namespace transmitter;
    QString why;
    const link::TransactionResult r = transact(
        [&] {
            return m_master->writeMultipleRegisters(kSlaveAddress, kWriteFirstRegister,
                                                    kWriteRegisterCount, image.data());
        },
        &why);
    if (r.outcome != ReplyOutcome::Reply) {
        *error = why.startsWith(QStringLiteral("Erro"))
                     ? why
                     : QStringLiteral("A configuração não foi confirmada pelo transmissor: ") + why;
        return false;
    }
    return true;
}

} // namespace quorva::cli
