#pragma once

#include <QString>
#include <QStringList>
#include <array>

// The sensor types the transmitters accept and the three known models.
namespace quorva::transmitter {

constexpr int kNoSensorType = -1;
constexpr int kPressureSensorType = 9;
inline constexpr char kPressureSensorName[] = "Pressão";

struct SensorRange
{
    const char* name;
    const char* rangeText; // Label14
    const char* spanText;  // Label15
    int lowest;            // °C; also the default range lower value
    int highest;           // °C; also the default range upper value
    int minimumSpan;       // °C between range lower and upper value
};

// In the order of the sensor-type items; the index is the register value.
inline constexpr std::array<SensorRange, 9> kSensorTypes{{
    {"Pt100", "-200 a 650°C", "40°C", -200, 650, 40},
    {"Termopar J", "-100 a 760°C", "100°C", -100, 760, 100},
    {"Termopar K", "-100 a 1370°C", "100°C", -100, 1370, 100},
    {"Termopar R", "-50 a 1760°C", "100°C", -50, 1760, 100},
    {"Termopar S", "-50 a 1760°C", "100°C", -50, 1760, 100},
    {"Termopar T", "-100 a 400°C", "100°C", -100, 400, 100},
    {"Termopar N", "-100 a 800°C", "100°C", -100, 800, 100},
    {"Termopar E", "-90 a 720°C", "100°C", -90, 720, 100},
    {"Termopar B", " 500 a 1820°C", "100°C", 500, 1820, 100},
}};

// The sensor type's limits; null for "none", pressure and any other index.
const SensorRange* sensorRangeFor(int index);

QStringList sensorTypeNames();

struct UnitCaptions
{
    QString measured; // beside the measured value
    QString setting;  // beside the zero adjustment and the range values
};
UnitCaptions unitsForSensorType(int index);

struct RangeCaptions
{
    QString range;
    QString span;
    QString lower;
    QString upper;
};
// The captions and default range for a sensor type; false for an index that
// names no sensor and is not "none" (the captions then stay as they are).
bool rangeCaptionsFor(int index, RangeCaptions& captions);

inline constexpr char kRangeCaption[] = "Faixa do Sensor:";
inline constexpr char kSpanCaption[] = "Faixa Mínima:";

// The sensor types whose measured value comes in tenths of °C: the nine
// sensors; the pressure input and no type selected give a plain integer.
constexpr bool measuredInTenths(int sensorTypeIndex)
{
    return sensorTypeIndex != kPressureSensorType && sensorTypeIndex != kNoSensorType;
}

// The model codes the transmitters report in their model register.
namespace ModelCode {
constexpr qint32 TrvA = 420;
constexpr qint32 TrvB = 421;
constexpr qint32 TrvC = 10;
} // namespace ModelCode

struct ModelOptions
{
    std::array<const char*, 3> sensorErrorItems;
    std::array<const char*, 2> directionItems;
    const char* modelName;
};

// The current-output texts, also those of a model code not known.
inline constexpr ModelOptions kCurrentOutputOptions{
    {"Nenhum", "Sinal de Saída <  4 mA", "Sinal de Saída > 20 mA"}, {"4 a 20 mA", "20 a 4 mA"}, ""};

struct KnownModel
{
    qint32 code;
    ModelOptions options;
};
inline constexpr std::array<KnownModel, 3> kKnownModels{{
    {ModelCode::TrvA,
     {kCurrentOutputOptions.sensorErrorItems, kCurrentOutputOptions.directionItems, "TRV-A"}},
    {ModelCode::TrvB,
     {kCurrentOutputOptions.sensorErrorItems, kCurrentOutputOptions.directionItems, "TRV-B"}},
    {ModelCode::TrvC,
     {{"Nenhum", "Sinal de Saída Mínimo", "Sinal de Saída Máximo"},
      {"0 a 10 V", "10 a 0 V"},
      "TRV-C"}},
}};

// The option texts and model name for a model code; an unknown code gets the
// current-output texts and no name.
const ModelOptions& optionsForModel(qint32 modelCode);

} // namespace quorva::transmitter
