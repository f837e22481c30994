#include "transmittermodel.h"

#include "link/modbusframe.h"
#include "transmitter/sensortable.h"

#include <cmath>

namespace quorva::sim {

namespace {
// A fault the reply's checks detect goes by the code the command line's JSON
// reports it with; the names these two had before are still taken.
struct NamedFault
{
    const char* name;
    Fault fault;
    const char* formerName = nullptr;
};
constexpr NamedFault kFaultNames[] = {
    {"none", Fault::None},
    {"no-reply", Fault::NoReply},
    {"bad-crc", Fault::BadCrc},
    {"exception", Fault::ExceptionReply},
    {"wrong-slave", Fault::OtherSlave, "other-slave"},
    {"wrong-function", Fault::WrongFunction},
    {"bad-byte-count", Fault::WrongByteCount, "wrong-byte-count"},
    {"truncated", Fault::TruncatedReply},
    {"noise", Fault::NoiseBeforeReply},
    {"double-reply", Fault::DoubleReply},
    {"write-refused", Fault::WriteRefused},
    {"read-refused", Fault::ReadRefused},
    {"unplugged", Fault::Unplugged},
    {"ignore-writes", Fault::IgnoreWrites},
    {"refuse-writes", Fault::RefuseWrites},
    {"flood", Fault::Flood},
    {"only-reading", Fault::OnlyReading},
    {"only-reading-silent", Fault::OnlyReadingSilent},
};

// The most registers one request may name: 125 to read, 123 to write.
constexpr int kMaxReadQuantity = 125;
constexpr int kMaxWriteQuantity = 123;

ModelReply exception(quint8 code)
{
    ModelReply reply;
    reply.kind = ModelReply::Kind::Exception;
    reply.exceptionCode = code;
    return reply;
}
} // namespace

bool faultFromName(const QString& name, Fault& fault)
{
    for (const NamedFault& f : kFaultNames) {
        if (name == QLatin1String(f.name) ||
            (f.formerName && name == QLatin1String(f.formerName))) {
            fault = f.fault;
            return true;
        }
    }
    return false;
}

QStringList faultNames()
{
    QStringList names;
    for (const NamedFault& f : kFaultNames)
        names << QString::fromLatin1(f.name);
    return names;
}

bool isDriverFault(Fault fault)
{
    return fault == Fault::WriteRefused || fault == Fault::ReadRefused || fault == Fault::Unplugged;
}

QStringList lineFaultNames()
{
    QStringList names;
    for (const NamedFault& f : kFaultNames)
        if (!isDriverFault(f.fault))
            names << QString::fromLatin1(f.name);
    return names;
}

TransmitterModel::TransmitterModel()
{
    using namespace transmitter;
    setRegister(Register::MeasuredValue, kBaseTemperatureTenths);
    setRegister(Register::ZeroAdjust, 0);
    setRegister(Register::SensorType, 0);              // Pt100
    setRegister(Register::RangeLower, quint16(-2000)); // -200 °C
    setRegister(Register::RangeUpper, 6500);           // 650 °C
    setRegister(Register::SensorError, 0);             // none
    setRegister(Register::OutputDirection, 0);         // rising
    setRegister(Register::Firmware, 101);              // 1,01
    setRegister(Register::ModelCode, quint16(ModelCode::TrvA));
}

ModelReply TransmitterModel::answer(const ModelRequest& request, qint64 atUs,
                                    const FaultSetting& fault)
{
    if (fault.fault == Fault::NoReply)
        return {};
    if (fault.fault == Fault::ExceptionReply)
        return exception(quint8(fault.exceptionCode));
    const bool theReading = request.firstRegister == 1 && request.quantity == kRegisterCount;
    if (request.function == link::kReadHoldingRegisters && !theReading) {
        if (fault.fault == Fault::OnlyReading)
            return exception(ExceptionCode::IllegalDataValue);
        if (fault.fault == Fault::OnlyReadingSilent)
            return {};
    }
    if (request.function == link::kReadHoldingRegisters)
        return read(request, atUs);
    if (request.function == link::kWriteMultipleRegisters)
        return write(request, fault);
    return exception(ExceptionCode::IllegalFunction);
}

ModelReply TransmitterModel::read(const ModelRequest& request, qint64 atUs)
{
    if (!request.wellFormed || request.quantity < 1 || request.quantity > kMaxReadQuantity)
        return exception(ExceptionCode::IllegalDataValue);
    if (request.firstRegister - 1 + request.quantity > kRegisterCount)
        return exception(ExceptionCode::IllegalDataAddress);
    updateMeasuredValue(atUs);
    ModelReply reply;
    reply.kind = ModelReply::Kind::Answer;
    reply.words.assign(m_registers.begin() + (request.firstRegister - 1),
                       m_registers.begin() + (request.firstRegister - 1 + request.quantity));
    return reply;
}

ModelReply TransmitterModel::write(const ModelRequest& request, const FaultSetting& fault)
{
    if (fault.fault == Fault::RefuseWrites)
        return exception(ExceptionCode::SlaveDeviceFailure);
    if (!request.wellFormed || request.quantity < 1 || request.quantity > kMaxWriteQuantity ||
        int(request.values.size()) != request.quantity)
        return exception(ExceptionCode::IllegalDataValue);
    if (request.firstRegister - 1 + request.quantity > kRegisterCount)
        return exception(ExceptionCode::IllegalDataAddress);
    if (fault.fault != Fault::IgnoreWrites) {
        for (int k = 0; k < request.quantity; ++k) {
            const int number = request.firstRegister + k;
            if (!isReadOnly(number))
                setRegister(number, request.values[size_t(k)]);
        }
    }
    ModelReply reply;
    reply.kind = ModelReply::Kind::Answer;
    return reply;
}

void TransmitterModel::updateMeasuredValue(qint64 atUs)
{
    if (!m_drift)
        return;
    // About ±2 °C over a couple of minutes, plus a tenth of noise.
    const double seconds = double(atUs) / 1e6;
    const int drift = int(std::lround(20.0 * std::sin(seconds / 20.0)));
    const int noise = int(m_noise() % 3) - 1;
    setRegister(transmitter::Register::MeasuredValue,
                quint16(kBaseTemperatureTenths + drift + noise));
}

} // namespace quorva::sim
