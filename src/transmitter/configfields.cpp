#include "configfields.h"

namespace quorva::transmitter {

namespace {

// The pressure input's words beside its name.
constexpr const char* kPressureKeywords[] = {"pressao", "pressure"};

// Each item's own words: the table's keywords, or the sensor types' short
// names ("J" for "Termopar J").
QList<QStringList> keywordsByItem(const ConfigurationField& field)
{
    QList<QStringList> items;
    if (field.format == FieldFormat::SensorType) {
        for (const SensorRange& sensor : kSensorTypes)
            items << QStringList{QString::fromUtf8(sensor.name).section(u' ', -1)};
        QStringList pressure;
        for (const char* word : kPressureKeywords)
            pressure << QString::fromUtf8(word);
        return items << pressure;
    }
    const QString keywords = QString::fromUtf8(field.keywords);
    for (const QString& item : keywords.split(u'|', Qt::SkipEmptyParts))
        items << item.split(u' ', Qt::SkipEmptyParts);
    return items;
}

// A model's texts for the field's items.
QStringList itemTexts(const ConfigurationField& field, const ModelOptions& model)
{
    QStringList texts;
    if (field.slot == Slot::SensorError) {
        for (const char* item : model.sensorErrorItems)
            texts << QString::fromUtf8(item);
    } else if (field.slot == Slot::OutputDirection) {
        for (const char* item : model.directionItems)
            texts << QString::fromUtf8(item);
    }
    return texts;
}

QString sensorTypeText(qint32 index)
{
    if (index == kPressureSensorType)
        return QString::fromUtf8(kPressureSensorName);
    const SensorRange* sensor = sensorRangeFor(index);
    return sensor ? QString::fromUtf8(sensor->name) : QString();
}

} // namespace

const ConfigurationField* fieldOfSlot(int slot)
{
    for (const ConfigurationField& field : kConfigurationFields) {
        if (field.slot == slot)
            return &field;
    }
    return nullptr;
}

QString fieldCaption(int slot)
{
    const ConfigurationField* field = fieldOfSlot(slot);
    return field ? QString::fromUtf8(field->caption) : QString();
}

std::optional<int> resolveChoice(const QString& given, const QList<QStringList>& namesByItem)
{
    bool isNumber = false;
    const int n = given.toInt(&isNumber);
    if (isNumber)
        return n >= 0 && n < namesByItem.size() ? std::optional<int>(n) : std::nullopt;
    const QString wanted = foldedWord(given);
    for (int i = 0; i < namesByItem.size(); ++i) {
        for (const QString& name : namesByItem.at(i)) {
            if (foldedWord(name) == wanted)
                return i;
        }
    }
    return std::nullopt;
}

QString foldedWord(const QString& word)
{
    QString plain;
    for (const QChar c : word.normalized(QString::NormalizationForm_D)) {
        if (c.category() != QChar::Mark_NonSpacing)
            plain += c;
    }
    return plain.simplified().toCaseFolded();
}

QList<QStringList> choiceNames(const ConfigurationField& field)
{
    QList<QStringList> names = keywordsByItem(field);
    if (field.format == FieldFormat::SensorType) {
        for (int i = 0; i < names.size(); ++i)
            names[i].prepend(
                sensorTypeText(i < int(kSensorTypes.size()) ? i : kPressureSensorType));
        return names;
    }
    // The port not yet open to tell the model, every model's texts are taken.
    for (const KnownModel& model : kKnownModels) {
        const QStringList texts = itemTexts(field, model.options);
        for (int i = 0; i < texts.size() && i < names.size(); ++i)
            names[i] << texts[i];
    }
    return names;
}

QString acceptedWords(const ConfigurationField& field)
{
    const QList<QStringList> items = keywordsByItem(field);
    if (items.isEmpty())
        return QString();
    // Each model's texts of an item, once each.
    QList<QStringList> texts(items.size());
    if (field.format == FieldFormat::SensorType) {
        for (qsizetype i = 0; i < items.size(); ++i)
            texts[i] << sensorTypeText(i < qsizetype(kSensorTypes.size()) ? int(i)
                                                                      : kPressureSensorType);
    }
    for (const KnownModel& model : kKnownModels) {
        const QStringList modelTexts = itemTexts(field, model.options);
        for (qsizetype i = 0; i < modelTexts.size() && i < items.size(); ++i) {
            if (!texts[i].contains(modelTexts[i].simplified()))
                texts[i] << modelTexts[i].simplified();
        }
    }
    QStringList words;
    for (qsizetype i = 0; i < items.size(); ++i) {
        QString item = items[i].join(u'/');
        if (texts[i] != QStringList{item})
            item += QStringLiteral(" → '%1'").arg(texts[i].join(QStringLiteral("'/'")));
        words << item;
    }
    return QStringLiteral("%1; ou o índice 0 a %2")
        .arg(words.join(QStringLiteral(", ")))
        .arg(items.size() - 1);
}

bool modelTakes(const ConfigurationField& field, const QString& given, int index,
                const ModelOptions& model)
{
    if (field.format != FieldFormat::ModelOption)
        return true;
    QList<QStringList> names = keywordsByItem(field);
    const QStringList texts = itemTexts(field, model);
    for (int i = 0; i < texts.size() && i < names.size(); ++i)
        names[i] << texts[i];
    return resolveChoice(given, names) == index;
}

QString modelItemsText(const ConfigurationField& field, const ModelOptions& model)
{
    return itemTexts(field, model).join(QStringLiteral(", "));
}

QString fieldText(const ConfigurationField& field, qint32 value, const ModelOptions& model)
{
    QString text;
    switch (field.format) {
    case FieldFormat::ZeroTenths:
        return zeroAdjustText(value);
    case FieldFormat::WholeDegrees:
        return rangeValueText(value);
    case FieldFormat::SensorType:
        text = sensorTypeText(value);
        break;
    case FieldFormat::ModelOption: {
        const QStringList texts = itemTexts(field, model);
        if (const int i = shownChoice(value, int(texts.size())); i >= 0)
            text = texts[i];
        break;
    }
    }
    return text.isEmpty() ? QString::number(value) : text;
}

} // namespace quorva::transmitter
