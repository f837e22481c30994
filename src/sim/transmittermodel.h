#pragma once

#include "transmitter/registermap.h"

#include <QStringList>
#include <QtGlobal>

#include <array>
#include <random>
#include <vector>

// The test transmitter: a model of the device's registers and answers, the
// framing of its replies on the line, and the two ways it is offered (a paced
// driver in process, a pseudo-terminal for other programs).
namespace quorva::sim {

// What a test transmitter can be told to get wrong, as a test server
// misbehaves on purpose. The model acts on the faults that change what the
// device answers; the reply framing spoils bytes on the line; the driver
// refuses its own operations.
enum class Fault {
    None,
    NoReply,          // the request is ignored
    BadCrc,           // the reply's CRC is spoiled
    ExceptionReply,   // a Modbus exception with the fault's exception code
    OtherSlave,       // the reply carries slave address 2
    WrongFunction,    // the reply carries another function code
    WrongByteCount,   // a read reply announces and carries one word less
    TruncatedReply,   // only the first half of the reply is sent
    NoiseBeforeReply, // three stray bytes precede the reply
    DoubleReply,      // the reply is sent twice, back to back
    WriteRefused,     // the driver refuses every write
    ReadRefused,      // the driver refuses every read
    Unplugged,        // every driver call fails; opening finds no device
    IgnoreWrites,     // writes are echoed but not stored
    RefuseWrites,     // writes get exception 4; reads are answered
    Flood,            // more than a read buffer of stray bytes, then the reply
    // A firmware that knows only its master's reading (registers 1 to 37): a
    // read of anything else is refused with exception 3, or ignored.
    OnlyReading,
    OnlyReadingSilent,
};

struct FaultSetting
{
    Fault fault = Fault::None;
    int exceptionCode = 4; // for Fault::ExceptionReply
};

// Fault names for the command line and scripts ("no-reply", "bad-crc"...):
// those the reply's checks detect as the JSON reports them ("wrong-slave"),
// their former names ("other-slave") still taken. The lists give the first.
bool faultFromName(const QString& name, Fault& fault);
QStringList faultNames();
// A refused driver call and a device gone are played by the in-process
// driver alone: on a pseudo-terminal the far end makes no driver calls.
bool isDriverFault(Fault fault);
// The names of the faults a transmitter on a pseudo-terminal plays.
QStringList lineFaultNames();

// Modbus exception codes a slave answers with.
namespace ExceptionCode {
constexpr quint8 IllegalFunction = 1;
constexpr quint8 IllegalDataAddress = 2;
constexpr quint8 IllegalDataValue = 3;
constexpr quint8 SlaveDeviceFailure = 4;
} // namespace ExceptionCode

// A request as the device understands it: no bytes, no CRC.
struct ModelRequest
{
    quint8 function = 0;
    int firstRegister = 1; // counting from 1
    int quantity = 0;
    std::vector<quint16> values; // a write's words
    // The frame's length, and a write's byte count, agree with the quantity.
    bool wellFormed = true;
};

struct ModelReply
{
    enum class Kind { Silence, Answer, Exception };
    Kind kind = Kind::Silence;
    quint8 exceptionCode = 0;
    std::vector<quint16> words; // a read's register words; a write is answered by its echo
};

// The transmitter as Modbus slave 1 holding its 37 registers: the factory
// values, the registers it keeps to itself, the exceptions a real slave
// gives, and a slowly drifting temperature. Time only enters as the moment of
// a request, for the drift.
class TransmitterModel
{
public:
    static constexpr int kRegisterCount = transmitter::kReadRegisterCount;
    static constexpr quint16 kBaseTemperatureTenths = 235; // 23,5 °C

    TransmitterModel();

    ModelReply answer(const ModelRequest& request, qint64 atUs, const FaultSetting& fault = {});

    // Registers by number, counting from 1.
    quint16 reg(int number) const { return m_registers.at(size_t(number - 1)); }
    void setRegister(int number, quint16 word) { m_registers.at(size_t(number - 1)) = word; }
    // A slowly drifting temperature with a little noise; off, the measured value holds still.
    void setDrift(bool on) { m_drift = on; }
    // The measured value and the registers around it, the firmware and the
    // model code belong to the device: a write leaves them.
    static constexpr bool isReadOnly(int number)
    {
        return number <= transmitter::Register::MeasuredValue + 1 ||
               number == transmitter::Register::Firmware ||
               number == transmitter::Register::ModelCode;
    }

private:
    ModelReply read(const ModelRequest& request, qint64 atUs);
    ModelReply write(const ModelRequest& request, const FaultSetting& fault);
    void updateMeasuredValue(qint64 atUs);

    std::array<quint16, kRegisterCount> m_registers{};
    bool m_drift = true;
    std::mt19937 m_noise{2016};
};

} // namespace quorva::sim
