// The window's handlers and what they show; its construction and wiring are
// in serialform.cpp.
#include "serial.h"

#include "transmitter/configfields.h"
#include "transmitter/configwrite.h"
#include "transmitter/numberformat.h"
#include "transmitter/reading.h"
#include "transmitter/sensortable.h"
#include "transmitter/writeprocedure.h"
#include "ui/sobre.h"
#include "ui/trendwindow.h"
#include "ui/widgets/maskedit.h"
#include "ui/widgets/radiogroup.h"
#include "ui/widgets/statuspanels.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>

using namespace quorva;
using link::ReplyOutcome;
using link::SendOutcome;
using ui::RadioGroup;

namespace {

const QString kConnected = QStringLiteral("Conectado");
const QString kDisconnected = QStringLiteral("Desconectado");
const QString kStopReading = QStringLiteral("Parar Leitura");
const QString kRead = QStringLiteral("Ler");
const QString kOpenFailed = QStringLiteral("Erro ao abrir o dispositivo USB.");
const QString kSendFailed = QStringLiteral("Erro ao tentar enviar dados.");
const QString kReceiveFailed = QStringLiteral("Erro ao tentar receber dados.");
const QString kNotConfirmed = QStringLiteral("A configuração não foi confirmada pelo transmissor.");
const QString kNoReplyText = QStringLiteral("* Falha de comunicação *");
const QString kLineBusyText = QStringLiteral("* Linha ocupada *");
const QString kLineBusyWrite = QStringLiteral("A configuração não foi enviada: linha ocupada.");
const QString kSilentWrite = QStringLiteral(
    "A configuração não foi enviada: o transmissor não responde.");
const QString kCommandSent = QStringLiteral("Comando enviado");
const QString kBlank = QStringLiteral(" ");
// The measured value's text while readings fail.
const QColor kStaleText(0x80, 0x80, 0x80);

// A failed reading as the trend keeps it, in the words of the command line's
// monitor, so an exported series reads as one of its logs.
QString failedReadingText(const link::TransactionResult& result)
{
    if (result.outcome == ReplyOutcome::ReadFailed)
        return kReceiveFailed;
    if (result.outcome == ReplyOutcome::SendFailed)
        return kSendFailed;
    return QString::fromUtf8(transmitter::kReadErrorText) + QStringLiteral(": ") +
           transmitter::replyFailureText(result);
}

} // namespace

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow(this);
    }
}

void TForm1::FormShow(QObject* /*Sender*/)
{
    m_state = WindowState{};
    showState();
    StatusBar1->setPanelText(0, kDisconnected);
    m_flags.StatusAnimation = 0;
    StatusBar1->setPanelText(1, QString());
    MaskEdit1->setMaskedText(QString());
    for (QLineEdit* e : {Edit7, Edit8, Edit28})
        e->setText(QString());
    Button2->setText(QStringLiteral("Enviar"));
    Label2->setText(QString::fromUtf8(transmitter::kRangeCaption));
    Label13->setText(QString::fromUtf8(transmitter::kSpanCaption));
    for (QLabel* l : {Label14, Label15, Label16, Label18, Label19})
        l->setText(QString());
    Label1->setText(QStringLiteral("Modelo:"));
    Label3->setText(QStringLiteral("Firmware:"));
    for (QLabel* l : {Label4, Label5, Label6})
        l->setText(kBlank);
    Label8->setText(QString());
    Label10->setText(transmitter::fieldCaption(transmitter::Slot::ZeroAdjust));
    Label11->setText(transmitter::fieldCaption(transmitter::Slot::RangeLower));
    Label12->setText(transmitter::fieldCaption(transmitter::Slot::RangeUpper));
}

void TForm1::enter(Phase phase)
{
    // Readings stop, by hand or by the link: the trend does not bridge the time until the next.
    if (m_state.phase == Phase::Reading && phase != Phase::Reading) {
        m_trend.pause();
        emit trendChanged();
    }
    m_state.phase = phase;
    if (phase == Phase::Reading)
        m_state.fieldsOpen = true;
    showState();
}

void TForm1::showState()
{
    const Phase phase = m_state.phase;
    const bool reading = phase == Phase::Reading;
    if (!reading)
        Timer1->stop();
    else if (!Timer1->isActive()) // a restart would move the ticks
        Timer1->start();
    transmite->setText(reading ? kStopReading : kRead);
    btConectar->setText(linkUp() ? QStringLiteral("Desconectar") : QStringLiteral("Conectar"));
    // The buttons show the way out once the technician has read why the link was lost.
    if (phase == Phase::LinkLost)
        return;
    btConectar->setEnabled(!reading);
    for (QWidget* w : std::initializer_list<QWidget*>{RadioGroup1, RadioGroup2, RadioGroup3, Edit28,
                                                      MaskEdit1, Edit7, Edit8})
        w->setEnabled(m_state.fieldsOpen);
    transmite->setEnabled(linkUp());
    // A write in flight keeps the look of reading stopped; the handlers refuse its clicks.
    Button2->setEnabled(phase == Phase::Stopped || writeInFlight());
}

void TForm1::btConectarClick(QObject* /*Sender*/)
{
    if (writeInFlight())
        return;
    StatusBar1->setPanelText(1, QString());
    if (linkUp())
        closeLink();
    else
        openLink();
}

void TForm1::openLink()
{
    LinkStatus = m_link.open();
    if (LinkStatus != link::DriverStatusCode::Ok) {
        m_messages.showMessageWithReason(kOpenFailed,
                                         link::failureExplanation(m_link.driver().lastFailure()));
        StatusBar1->setPanelText(0, kDisconnected);
        enter(Phase::Disconnected);
        return;
    }
    // What the last program on this port left unanswered holds the first reading back.
    m_master.opened();
    enter(Phase::Connected);
    StatusBar1->setPanelText(0, kConnected);
    for (QLabel* l : {Label4, Label5, Label14, Label15})
        l->setText(QString());
    MaskEdit1->setMaskedText(QString());
    for (QLineEdit* e : {Edit7, Edit8, Edit28})
        e->setText(QString());
    // With no choice shown, the next reading builds the option lists.
    for (RadioGroup* g : {RadioGroup1, RadioGroup2, RadioGroup3})
        g->setItemIndex(-1);
    m_lastGoodReading = {};
    showReadingAge(false);
}

void TForm1::closeLink()
{
    m_master.reset();
    m_link.close();
    // The last values stay visible in the closed fields until the next connect.
    m_state.fieldsOpen = false;
    enter(Phase::Disconnected);
    StatusBar1->setPanelText(0, kDisconnected);
    StatusBar1->setPanelText(1, QString());
}

void TForm1::LinkFailureReset()
{
    // The handle is closed too: the port is held exclusively, and the next
    // connect must be able to open it again.
    m_master.reset();
    m_link.close();
    enter(Phase::LinkLost);
    m_messages.showMessage(kOpenFailed);
    StatusBar1->setPanelText(0, kDisconnected);
}

void TForm1::returnToDisconnected(const QString& failureMessage)
{
    StatusBar1->setPanelText(0, kDisconnected);
    // Asked before the reset closes the port: the driver knows why it failed.
    m_messages.showMessageWithReason(failureMessage,
                                     link::failureExplanation(m_link.driver().lastFailure()));
    LinkFailureReset();
    enter(Phase::Disconnected);
}

void TForm1::transmiteClick(QObject* /*Sender*/)
{
    if (writeInFlight() || LinkStatus != link::DriverStatusCode::Ok)
        return;
    if (m_state.phase != Phase::Reading) {
        enter(Phase::Reading);
    } else {
        // A reading in flight is dropped: its reply must not land after the stop.
        m_master.cancel();
        enter(Phase::Stopped);
        StatusBar1->setPanelText(1, QString());
    }
}

void TForm1::Timer1Timer(QObject* /*Sender*/)
{
    if (LinkStatus != link::DriverStatusCode::Ok || m_master.requestWaiting())
        return;
    // A poll leaves status panel 1 as it is until its reading completes: the
    // activity text steps once a second, without a flash in between. A
    // refused write comes back through the result.
    if (m_master.readHoldingRegisters(transmitter::kSlaveAddress, transmitter::kReadFirstRegister,
                                      transmitter::kReadRegisterCount) != SendOutcome::SendFailed)
        StatusBar1->setPanelText(0, kConnected);
}

void TForm1::onTransactionFinished(const link::TransactionResult& result)
{
    // Stored before anything is shown: ticks during a message send nothing.
    LinkStatus = result.driverStatus;
    if (m_write.active()) // the write's own results: it reports once, when done
        return;
    if (result.outcome == ReplyOutcome::SendFailed) {
        addFailedReading(result);
        returnToDisconnected(kSendFailed);
        return;
    }
    DecodeReadReply(result);
}

void TForm1::showReceiveStatus(const link::TransactionResult& result)
{
    switch (result.outcome) {
    case ReplyOutcome::NoReply:
        Label6->setText(kNoReplyText);
        break;
    case ReplyOutcome::Exception:
        Label6->setText(transmitter::exceptionText(result.exceptionCode));
        break;
    case ReplyOutcome::Reply:
    case ReplyOutcome::BadReply:
        Label6->setText(kBlank);
        break;
    case ReplyOutcome::LineBusy:
        Label6->setText(kLineBusyText);
        break;
    case ReplyOutcome::ReadFailed:
    case ReplyOutcome::SendFailed:
    case ReplyOutcome::NotSent: // nothing went out, nothing came back
        break;
    }
}
void TForm1::DecodeReadReply(const link::TransactionResult& result)
{
    using namespace transmitter;
    showReceiveStatus(result);
    if (!result.ok()) {
        // In the trend before any message box holds the window.
        addFailedReading(result);
        showReadingAge(m_lastGoodReading.isValid());
        StatusBar1->setPanelText(1, QString::fromUtf8(kReadErrorText));
        if (result.outcome == ReplyOutcome::ReadFailed)
            returnToDisconnected(kReceiveFailed);
        return;
    }
    const ReadingReport reading = describeReading(decodeRegisterImage(result.words));
    m_lastGoodReading = QDateTime::currentDateTime();
    showReadingAge(false);
    m_trend.addReading(m_lastGoodReading, reading);
    emit trendChanged();
    showReading(reading);
    StatusBar1->setPanelText(1, activityText(m_flags.StatusAnimation));
    m_flags.StatusAnimation = nextActivityCounter(m_flags.StatusAnimation);
}

void TForm1::addFailedReading(const link::TransactionResult& result)
{
    m_trend.addFailure(QDateTime::currentDateTime(), failedReadingText(result));
    emit trendChanged();
}

void TForm1::showReadingAge(bool stale)
{
    // A value that stays bright beside a failure reads as the present temperature.
    QPalette shown = Edit28->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        shown.setColor(group, QPalette::Text,
                       stale ? kStaleText : palette().color(group, QPalette::Text));
    Edit28->setPalette(shown);
    m_readingAge->setText(stale ? QStringLiteral("última leitura às %1")
                                      .arg(m_lastGoodReading.toString(QStringLiteral("HH:mm:ss")))
                                : QString());
    m_readingAge->setVisible(stale);
}

void TForm1::showReading(const transmitter::ReadingReport& reading)
{
    // The sensor type may run RadioGroup1Click; the range stays the device's.
    const QScopedValueRollback<bool> showing(m_showingReading, true);
    // The pressure input has no item: the group then shows none.
    RadioGroup1->setItemIndex(reading.sensorTypeIndex);
    MaskEdit1->setMaskedText(reading.zeroAdjust);
    Edit7->setText(reading.rangeLower);
    Edit8->setText(reading.rangeUpper);

    // Another transmitter on the same connection (commissioning in series)
    // brings its own option texts: those of the last one would misstate its
    // output.
    if (RadioGroup2->itemIndex() == -1 || reading.modelCode != m_optionListsModel)
        showOptionLists(reading);
    RadioGroup2->setItemIndex(reading.sensorErrorIndex);
    RadioGroup3->setItemIndex(reading.outputDirectionIndex);
    Label5->setText(reading.firmware);
    // The format follows the type the group shows, read back from it.
    const transmitter::MeasuredText measured =
        transmitter::measuredValueText(RadioGroup1->itemIndex(), reading.measuredRaw);
    Edit28->setText(measured.value);
    Label8->setText(measured.unit);
}

void TForm1::showOptionLists(const transmitter::ReadingReport& reading)
{
    m_optionListsModel = reading.modelCode;
    RadioGroup2->clearItems();
    RadioGroup3->clearItems();
    for (const char* item : reading.modelOptions->sensorErrorItems)
        RadioGroup2->appendItem(QString::fromUtf8(item));
    for (const char* item : reading.modelOptions->directionItems)
        RadioGroup3->appendItem(QString::fromUtf8(item));
    Label4->setText(reading.model);
}

void TForm1::RadioGroup1Click(QObject* /*Sender*/)
{
    const transmitter::UnitCaptions units =
        transmitter::unitsForSensorType(RadioGroup1->itemIndex());
    Label8->setText(units.measured);
    for (QLabel* l : {Label16, Label18, Label19})
        l->setText(units.setting);
    UpdateRangeCaptions();
}

void TForm1::UpdateRangeCaptions()
{
    transmitter::RangeCaptions captions;
    if (!transmitter::rangeCaptionsFor(RadioGroup1->itemIndex(), captions))
        return;
    Label2->setText(QString::fromUtf8(transmitter::kRangeCaption));
    Label13->setText(QString::fromUtf8(transmitter::kSpanCaption));
    Label14->setText(captions.range);
    Label15->setText(captions.span);
    if (m_showingReading) // a reading shows the device's range, not the type's default
        return;
    Edit7->setText(captions.lower);
    Edit8->setText(captions.upper);
}

void TForm1::Button2Click(QObject* /*Sender*/)
{
    if (writeInFlight() || LinkStatus != link::DriverStatusCode::Ok)
        return;
    // A reading in flight is no longer wanted; its reply still keeps the line.
    m_master.cancel();
    enter(Phase::Stopped);
    if (!prepareWrite())
        return;
    // "Comando enviado" once the request is on the line, which may be at
    // once; a refused write is reported before start() returns.
    StatusBar1->setPanelText(1, QString());
    m_write.start(WriteImage);
}

void TForm1::showWriteSent()
{
    StatusBar1->setPanelText(0, kConnected);
    StatusBar1->setPanelText(1, kCommandSent);
}

// The fields into WriteImage: false when the configuration is refused, or
// lies outside the sensor's range and the technician does not send it anyway.
bool TForm1::prepareWrite()
{
    using namespace transmitter;
    const ConfigurationFields fields{
        MaskEdit1->maskedText(),  Edit7->text(),           Edit8->text(), RadioGroup1->itemIndex(),
        RadioGroup2->itemIndex(), RadioGroup3->itemIndex()};
    // The hidden Edit6 holds the zero's rounded text, even when a conversion fails.
    QString zeroScratch = Edit6->text();
    PreparedWrite prepared;
    try {
        prepared = prepareConfigurationWrite(fields, zeroScratch);
    } catch (const ConversionError&) {
        Edit6->setText(zeroScratch);
        throw;
    }
    Edit6->setText(zeroScratch);
    WriteImage = prepared.image;
    if (const FieldRefusal* refused = prepared.firstRefusal()) {
        m_messages.showMessage(refused->words);
        return false;
    }
    const QStringList limits = prepared.limitsCrossed();
    // Reading is stopped and nothing is in flight, so the question's loop runs no request.
    if (!limits.isEmpty() && !m_messages.ask(sendAnywayQuestion(limits)))
        return false;
    return true;
}

void TForm1::showEchoed(const link::TransactionResult& echo)
{
    // The read-back follows: "Enviado..." only once it matches.
    showReceiveStatus(echo);
}

void TForm1::showConfigurationWritten(const transmitter::WriteReport& report)
{
    const link::TransactionResult& result = report.result;
    if (result.outcome == ReplyOutcome::SendFailed) {
        if (!report.echoed()) // it waited for the line and never went
            StatusBar1->setPanelText(1, QString());
        returnToDisconnected(kSendFailed);
        return;
    }
    showReceiveStatus(result);
    enter(Phase::Stopped);
    if (report.outcome == transmitter::WriteOutcome::Confirmed) {
        StatusBar1->setPanelText(1, QStringLiteral("Enviado..."));
    } else if (result.outcome == ReplyOutcome::ReadFailed) {
        returnToDisconnected(kReceiveFailed);
    } else if (!report.sent()) { // held back by a busy line or a silent device
        StatusBar1->setPanelText(1, QString());
        m_messages.showMessage(result.outcome == ReplyOutcome::LineBusy ? kLineBusyWrite
                                                                        : kSilentWrite);
    } else {
        m_messages.showMessage(kNotConfirmed);
    }
}

void TForm1::btSairClick(QObject* /*Sender*/)
{
    close();
    QCoreApplication::quit();
}

void TForm1::mnSobreClick(QObject* /*Sender*/)
{
    if (m_aboutBox)
        m_aboutBox->exec();
}

void TForm1::mnTendenciaClick(QObject* /*Sender*/)
{
    // One trend window, shown again and raised; it belongs to this window.
    if (!m_trendWindow) {
        m_trendWindow = new ui::TrendWindow(m_trend, m_messages, this);
        connect(this, &TForm1::trendChanged, m_trendWindow, &ui::TrendWindow::follow);
        connect(m_trendWindow, &ui::TrendWindow::clearRequested, this, [this] {
            m_trend.clear();
            emit trendChanged();
        });
    }
    m_trendWindow->show();
    m_trendWindow->raise();
    m_trendWindow->activateWindow();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // A trend left open would keep the program running without its window.
    if (m_trendWindow)
        m_trendWindow->close();
    QMainWindow::closeEvent(event);
}
