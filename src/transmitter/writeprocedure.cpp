#include "writeprocedure.h"

#include "transmitter/configfields.h"

namespace quorva::transmitter {

using link::ReplyOutcome;
using link::SendOutcome;

bool WriteReport::sent() const
{
    return echoed() || !result.neverSent();
}

ConfigurationWrite::ConfigurationWrite(link::ModbusMaster& master, QObject* parent)
    : QObject(parent), m_master(master)
{}

bool ConfigurationWrite::start(const WriteImage& image)
{
    if (active() || m_master.requestWaiting())
        return false;
    m_image = image;
    m_report = {};
    m_step = Step::AwaitingEcho;
    // Connected per write, after whoever listens to the master for good: they
    // hear each result first, and leave a write's to this.
    m_connection =
        connect(&m_master, &link::ModbusMaster::finished, this, &ConfigurationWrite::take);
    m_sentConnection = connect(&m_master, &link::ModbusMaster::requestSent, this, [this] {
        disconnect(m_sentConnection);
        emit writeSent();
    });
    // A refused write comes back through its result before this returns.
    m_master.writeMultipleRegisters(kSlaveAddress, kWriteFirstRegister, kWriteRegisterCount,
                                    m_image.data());
    return true;
}

void ConfigurationWrite::cancel()
{
    if (!active())
        return;
    disconnect(m_connection);
    disconnect(m_sentConnection);
    m_step = Step::Idle;
    m_master.cancel();
}

void ConfigurationWrite::take(const link::TransactionResult& result)
{
    switch (m_step) {
    case Step::Idle:
        return;
    case Step::AwaitingEcho:
        if (!result.ok())
            return finish(WriteOutcome::EchoFailed, result);
        emit echoed(result);
        if (m_step != Step::AwaitingEcho) // cancelled: the read-back stays home
            return;
        m_step = Step::ReadingBack;
        // A refused read comes back through its result before this returns.
        if (m_master.readHoldingRegisters(kSlaveAddress, kReadFirstRegister, kReadRegisterCount) ==
            SendOutcome::Busy) {
            link::TransactionResult neverSent;
            neverSent.outcome = ReplyOutcome::LineBusy;
            finish(WriteOutcome::ReadBackFailed, neverSent);
        }
        return;
    case Step::ReadingBack:
        if (!result.ok())
            return finish(WriteOutcome::ReadBackFailed, result);
        m_report.readBack = decodeRegisterImage(result.words);
        for (const ConfigurationField& field : kConfigurationFields) {
            const size_t slot = size_t(field.slot);
            if (!field.readBackHolds(m_image[slot], m_report.readBack[slot]))
                m_report.differences.push_back(
                    {field.slot, wordToValue(valueToWord(m_image[slot])), m_report.readBack[slot]});
        }
        return finish(m_report.differences.empty() ? WriteOutcome::Confirmed
                                                   : WriteOutcome::ReadBackDiffers,
                      result);
    }
}

void ConfigurationWrite::finish(WriteOutcome outcome, const link::TransactionResult& result)
{
    disconnect(m_connection);
    disconnect(m_sentConnection);
    m_step = Step::Idle;
    WriteReport report = std::move(m_report);
    m_report = {};
    report.outcome = outcome;
    report.result = result;
    emit finished(report);
}

} // namespace quorva::transmitter
