#pragma once

#include <QtGlobal>
#include <array>
#include <vector>

// Which holding register holds what. Registers are numbered from 1; slot k
// of an image is register k + 1.
namespace quorva::transmitter {

constexpr int kSlaveAddress = 1;
constexpr int kReadFirstRegister = 1;
constexpr int kReadRegisterCount = 37;
constexpr int kWriteFirstRegister = 1;
constexpr int kWriteRegisterCount = 11;

constexpr int kRegisterImageSlots = 50;
using RegisterImage = std::array<qint32, kRegisterImageSlots>;
using WriteImage = std::array<qint32, kWriteRegisterCount>;

namespace Slot {
constexpr int MeasuredValue = 1;
constexpr int ZeroAdjust = 3;
constexpr int SensorType = 4;
constexpr int RangeLower = 5;
constexpr int RangeUpper = 6;
constexpr int SensorError = 7;
constexpr int OutputDirection = 8;
constexpr int Firmware = 9;
constexpr int ModelCode = 10;
} // namespace Slot

// The same registers by number, as requests and the slave name them.
namespace Register {
constexpr int ofSlot(int slot)
{
    return slot + 1;
}
constexpr int MeasuredValue = ofSlot(Slot::MeasuredValue);
constexpr int ZeroAdjust = ofSlot(Slot::ZeroAdjust);
constexpr int SensorType = ofSlot(Slot::SensorType);
constexpr int RangeLower = ofSlot(Slot::RangeLower);
constexpr int RangeUpper = ofSlot(Slot::RangeUpper);
constexpr int SensorError = ofSlot(Slot::SensorError);
constexpr int OutputDirection = ofSlot(Slot::OutputDirection);
constexpr int Firmware = ofSlot(Slot::Firmware);
constexpr int ModelCode = ofSlot(Slot::ModelCode);
} // namespace Register

// A word above 0x8000 reads as negative; 0x8000 itself reads as +32768.
constexpr qint32 wordToValue(quint16 word)
{
    return word > 0x8000 ? qint32(word) - 65536 : qint32(word);
}

// The low 16 bits of the value's two's complement.
constexpr quint16 valueToWord(qint32 value)
{
    return quint16(quint32(value) & 0xFFFFu);
}

// Decodes the register words of a read, register 1 first: words past the
// image's fifty slots are ignored, slots past the words stay 0.
RegisterImage decodeRegisterImage(const std::vector<quint16>& words);

} // namespace quorva::transmitter
