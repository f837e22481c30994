#include "writeprocedure.h"

namespace quorva::transmitter {

using link::ReplyOutcome;
using link::SendOutcome;

namespace {
// The configuration registers a write sets, in slot order.
constexpr int kConfigurationSlots[] = {Slot::ZeroAdjust, Slot::SensorType,  Slot::RangeLower,
                                       Slot::RangeUpper, Slot::SensorError, Slot::OutputDirection};
} // namespace

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
        for (const int slot : kConfigurationSlots) {
            // A slot holds what was sent when it holds the word sent, read back as a value.
            const qint32 written = wordToValue(valueToWord(m_image[size_t(slot)]));
            if (written != m_report.readBack[size_t(slot)])
                m_report.differences.push_back({slot, written, m_report.readBack[size_t(slot)]});
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
