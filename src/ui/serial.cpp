#include "serial.h"

#include "transmitter/configwrite.h"
#include "transmitter/numberformat.h"
#include "transmitter/reading.h"
#include "transmitter/sensortable.h"
#include "ui/sobre.h"
#include "ui/widgets/maskedit.h"
#include "ui/widgets/radiogroup.h"
#include "ui/widgets/statuspanels.h"

#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

// The icon lives in this static library's resources, which nothing in the
// program refers to by name: without this the linker leaves them out.
// (Outside any namespace, as the resource's initialiser is.)
static void initIconResource()
{
    Q_INIT_RESOURCE(quorva);
}

using namespace quorva;
using link::ReplyOutcome;
using link::SendOutcome;
using ui::MaskEdit;
using ui::RadioGroup;

namespace {

constexpr int kClientWidth = 575;
constexpr int kClientHeight = 579;
constexpr int kStatusBarHeight = 19;
constexpr int kPollIntervalMs = 1000;
const QColor kSkyBlue(166, 202, 240);
const QColor kDisabledText(96, 110, 128);

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
const QString kBlank = QStringLiteral(" ");

QFont faceOf(int pixelSize, bool bold)
{
    // Where "MS Sans Serif" is missing, a sans-serif of similar width.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* label(QWidget* parent, const char* name, int x, int y, bool regular = false)
{
    auto* l = named(new QLabel(parent), name);
    l->move(x, y);
    l->setMinimumWidth(16);
    if (regular)
        l->setFont(faceOf(13, false));
    return l;
}

QPushButton* button(QWidget* parent, const char* name, int x, int y)
{
    auto* b = named(new QPushButton(parent), name);
    b->setGeometry(x, y, 100, 33);
    return b;
}

QLineEdit* edit(QWidget* parent, const char* name, int x, int y, int w = 70, int h = 24)
{
    auto* e = named(new QLineEdit(parent), name);
    e->setGeometry(x, y, w, h);
    return e;
}

} // namespace

TForm1::TForm1(link::DeviceLink& link, link::ModbusMaster& master, ProgramFlags& flags,
               ui::MessageSink& messages, QWidget* parent)
    : QMainWindow(parent), m_link(link), m_master(master), m_flags(flags), m_messages(messages)
{
    buildComponents();
    connectHandlers();
}

void TForm1::buildComponents()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("QUORVA - V. 1.01"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    initIconResource();
    setWindowIcon(QIcon(QStringLiteral(":/quorva/quorva.png")));
    setFont(faceOf(11, false));
    QPalette sky = palette();
    sky.setColor(QPalette::Window, kSkyBlue);
    // The style's pale grey for disabled text is hard to read on sky blue.
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        sky.setColor(QPalette::Disabled, role, kDisabledText);
    setPalette(sky);
    setAutoFillBackground(true);

    menu = named(new QMenuBar(this), "menu");
    btSair = menu->addAction(QStringLiteral("Sair"));
    btSair->setObjectName(QStringLiteral("btSair"));
    mnSobre = menu->addAction(QStringLiteral("&Sobre"));
    mnSobre->setObjectName(QStringLiteral("mnSobre"));
    setMenuBar(menu);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
    setCentralWidget(client);

    const QFont groupFont = faceOf(13, true);
    auto group = [&](QGroupBox* box, const char* name, int x, int y, int w, int h) {
        named(box, name);
        box->setParent(client);
        box->setGeometry(x, y, w, h);
        box->setFont(groupFont);
        return box;
    };

    RadioGroup1 = static_cast<RadioGroup*>(
        group(new RadioGroup(QStringLiteral("Tipo de Sensor")), "RadioGroup1", 49, 31, 217, 223));
    RadioGroup1->setItems(transmitter::sensorTypeNames());
    RadioGroup3 = static_cast<RadioGroup*>(
        group(new RadioGroup(QStringLiteral("Sinal de Saída")), "RadioGroup3", 50, 260, 217, 64));
    RadioGroup3->setItems({QStringLiteral("  4 a 20 mA"), QStringLiteral("20 a   4 mA")});
    RadioGroup2 = static_cast<RadioGroup*>(
        group(new RadioGroup(QStringLiteral("Erro do Sensor")), "RadioGroup2", 50, 330, 217, 101));
    RadioGroup2->setItems({QStringLiteral("Nenhum"), QStringLiteral("Sinal de Saída <  4 mA"),
                           QStringLiteral("Sinal de Saída > 20 mA")});

    GroupBox14 = group(new QGroupBox(QStringLiteral("Interface")), "GroupBox14", 50, 461, 218, 66);
    btConectar = button(GroupBox14, "btConectar", 59, 22);

    GroupBox9 = group(new QGroupBox(QStringLiteral("Temperatura")), "GroupBox9", 308, 31, 217, 65);
    Edit28 = edit(GroupBox9, "Edit28", 75, 28);
    Edit28->setReadOnly(true);
    Label8 = label(GroupBox9, "Label8", 151, 32);

    GroupBox1 = group(new QGroupBox(QStringLiteral("Ajustes")), "GroupBox1", 308, 102, 217, 222);
    Label10 = label(GroupBox1, "Label10", 12, 30);
    Label19 = label(GroupBox1, "Label19", 151, 30);
    Label11 = label(GroupBox1, "Label11", 12, 68);
    Edit7 = edit(GroupBox1, "Edit7", 75, 64);
    Label16 = label(GroupBox1, "Label16", 151, 68);
    Label12 = label(GroupBox1, "Label12", 12, 107);
    Edit8 = edit(GroupBox1, "Edit8", 75, 103);
    Label18 = label(GroupBox1, "Label18", 151, 107);
    Label2 = label(GroupBox1, "Label2", 12, 152, true);
    Label14 = label(GroupBox1, "Label14", 120, 152, true);
    Label13 = label(GroupBox1, "Label13", 12, 185, true);
    Label15 = label(GroupBox1, "Label15", 120, 185, true);
    Edit6 = edit(GroupBox1, "Edit6", 164, 3, 50, 24);
    Edit6->setVisible(false);

    GroupBox2 = group(new QGroupBox(QStringLiteral("Informações")), "GroupBox2", 308, 330, 217, 74);
    Label1 = label(GroupBox2, "Label1", 12, 24, true);
    Label4 = label(GroupBox2, "Label4", 120, 24, true);
    Label4->setVisible(false);
    Label3 = label(GroupBox2, "Label3", 12, 46, true);
    Label5 = label(GroupBox2, "Label5", 120, 46, true);

    GroupBox11 = group(new QGroupBox(QStringLiteral("Função")), "GroupBox11", 308, 410, 217, 117);
    transmite = button(GroupBox11, "transmite", 58, 26);
    Button2 = button(GroupBox11, "Button2", 58, 70);

    // A child of the window itself, drawn over the "Zero" row of "Ajustes".
    MaskEdit1 = named(new MaskEdit(client), "MaskEdit1");
    MaskEdit1->setGeometry(383, 129, 71, 21);
    MaskEdit1->setFont(faceOf(11, true));
    MaskEdit1->raise();

    Label6 = label(client, "Label6", 313, 540);
    Label6->setFont(faceOf(13, true));

    StatusBar1 = named(new ui::StatusPanels(this), "StatusBar1");
    StatusBar1->setFixedHeight(kStatusBarHeight);
    StatusBar1->setAutoFillBackground(true);
    setStatusBar(StatusBar1);

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(kPollIntervalMs);

    // Labels whose text changes take the width of the space they stand in.
    for (QLabel* l : {Label8, Label19, Label16, Label18})
        l->resize(60, l->sizeHint().height());
    for (QLabel* l : {Label14, Label15, Label4, Label5})
        l->resize(95, l->sizeHint().height());
    for (QLabel* l : {Label10, Label11, Label12, Label1, Label3})
        l->resize(62, l->sizeHint().height());
    for (QLabel* l : {Label2, Label13})
        l->resize(108, l->sizeHint().height());
    Label6->resize(255, Label6->sizeHint().height());

    applyKeyboardOrder();
    setFixedSize(sizeHint());
}

void TForm1::applyKeyboardOrder()
{
    // "Interface", the three choices, "Temperatura", "Ajustes", "Função", then the zero field.
    QList<QWidget*> order{btConectar};
    for (RadioGroup* g : {RadioGroup1, RadioGroup2, RadioGroup3})
        order << g->itemWidgets();
    order << Edit28 << Edit7 << Edit8 << Edit6 << transmite << Button2 << MaskEdit1;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
}

template <typename Handler> void TForm1::dispatch(Handler&& handler)
{
    // An error that escapes a handler is shown and the loop goes on, in the
    // state the handler had reached.
    try {
        handler();
    } catch (const std::exception& e) {
        m_messages.showException(QString::fromUtf8(e.what()));
    }
}

void TForm1::connectHandlers()
{
    connect(btConectar, &QPushButton::clicked, this,
            [this] { dispatch([this] { btConectarClick(btConectar); }); });
    connect(transmite, &QPushButton::clicked, this,
            [this] { dispatch([this] { transmiteClick(transmite); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { dispatch([this] { Button2Click(Button2); }); });
    connect(RadioGroup1, &RadioGroup::clicked, this,
            [this] { dispatch([this] { RadioGroup1Click(RadioGroup1); }); });
    connect(Timer1, &QTimer::timeout, this, [this] { dispatch([this] { Timer1Timer(Timer1); }); });
    connect(btSair, &QAction::triggered, this,
            [this] { dispatch([this] { btSairClick(btSair); }); });
    connect(mnSobre, &QAction::triggered, this,
            [this] { dispatch([this] { mnSobreClick(mnSobre); }); });
    for (RadioGroup* g : {RadioGroup1, RadioGroup2, RadioGroup3})
        connect(g, &RadioGroup::itemsRebuilt, this, &TForm1::applyKeyboardOrder);
    connect(
        &m_master, &link::ModbusMaster::finished, this,
        [this](const link::TransactionResult& r) { dispatch([&] { onTransactionFinished(r); }); });
}

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
    Timer1->stop();
    StatusBar1->setPanelText(0, kDisconnected);
    m_flags.OptionListsBuilt = 0;
    Connected = 0;
    m_flags.StatusAnimation = 0;
    StatusBar1->setPanelText(1, QString());
    for (RadioGroup* g : {RadioGroup1, RadioGroup2, RadioGroup3})
        g->setEnabled(false);
    MaskEdit1->setMaskedText(QString());
    for (QLineEdit* e : {Edit7, Edit8, Edit28})
        e->setText(QString());
    btConectar->setText(QStringLiteral("Conectar"));
    transmite->setText(kRead);
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
    Label10->setText(QStringLiteral("Zero"));
    Label11->setText(QStringLiteral("V. Mín."));
    Label12->setText(QStringLiteral("V. Máx."));
    for (QWidget* w :
         std::initializer_list<QWidget*>{MaskEdit1, Edit7, Edit8, Edit28, transmite, Button2})
        w->setEnabled(false);
}

void TForm1::btConectarClick(QObject* /*Sender*/)
{
    if (writeInFlight())
        return;
    StatusBar1->setPanelText(1, QString());
    if (Connected == 0) {
        LinkStatus = m_link.open();
        if (LinkStatus == link::DriverStatusCode::Ok) {
            // A late answer to another program's request must not pass for
            // the first reading.
            m_master.proveLineFirst();
            Connected = 1;
            m_flags.OptionListsBuilt = 0;
            StatusBar1->setPanelText(0, kConnected);
            btConectar->setText(QStringLiteral("Desconectar"));
            transmite->setEnabled(true);
            for (QLabel* l : {Label4, Label5, Label14, Label15})
                l->setText(QString());
            MaskEdit1->setMaskedText(QString());
            for (QLineEdit* e : {Edit7, Edit8, Edit28})
                e->setText(QString());
            for (RadioGroup* g : {RadioGroup1, RadioGroup2, RadioGroup3})
                g->setItemIndex(-1);
        } else {
            m_messages.showMessageWithReason(
                kOpenFailed, link::failureExplanation(m_link.driver().lastFailure()));
            StatusBar1->setPanelText(0, kDisconnected);
            Connected = 0;
            transmite->setEnabled(false);
        }
        return;
    }
    m_master.reset();
    m_link.close();
    Connected = 0;
    for (QWidget* w :
         std::initializer_list<QWidget*>{MaskEdit1, Edit7, Edit8, Edit28, Button2, transmite,
                                         RadioGroup1, RadioGroup2, RadioGroup3})
        w->setEnabled(false);
    StatusBar1->setPanelText(0, kDisconnected);
    StatusBar1->setPanelText(1, QString());
    btConectar->setText(QStringLiteral("Conectar"));
}

void TForm1::LinkFailureReset()
{
    // The handle is closed too: the port is held exclusively, and the next
    // connect must be able to open it again.
    m_master.reset();
    m_link.close();
    Connected = 0;
    m_flags.PollingActive = 0;
    transmite->setText(kRead);
    Timer1->stop();
    btConectar->setText(QStringLiteral("Conectar"));
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
    btConectar->setEnabled(true);
    transmite->setEnabled(false);
    Button2->setEnabled(false);
}

void TForm1::transmiteClick(QObject* /*Sender*/)
{
    if (writeInFlight() || LinkStatus != link::DriverStatusCode::Ok)
        return;
    if (m_flags.PollingActive == 0) {
        m_flags.PollingActive = 1;
        Timer1->start();
        transmite->setText(kStopReading);
        btConectar->setEnabled(false);
        for (QWidget* w : std::initializer_list<QWidget*>{
                 RadioGroup1, RadioGroup2, RadioGroup3, GroupBox1, GroupBox2, GroupBox9, Edit28,
                 MaskEdit1, Edit7, Edit8, Label8, Label10, Label11, Label12, Label1, Label3, Label4,
                 Label5, transmite})
            w->setEnabled(true);
    } else {
        // A reading in flight is dropped: its reply must not land after the stop.
        m_master.cancel();
        m_flags.PollingActive = 0;
        Timer1->stop();
        transmite->setText(kRead);
        btConectar->setEnabled(true);
        StatusBar1->setPanelText(1, QString());
    }
    Button2->setEnabled(transmite->text() != kStopReading);
}

void TForm1::Timer1Timer(QObject* /*Sender*/)
{
    if (LinkStatus != link::DriverStatusCode::Ok || m_master.requestWaiting())
        return;
    m_flags.OptionListsBuilt = 1;
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
    if (result.outcome == ReplyOutcome::SendFailed) {
        if (m_write == WriteStage::AwaitingEcho) // it waited for the line and never went
            StatusBar1->setPanelText(1, QString());
        m_write = WriteStage::Idle;
        returnToDisconnected(kSendFailed);
        return;
    }
    switch (m_write) {
    case WriteStage::AwaitingEcho:
        finishConfigurationWrite(result);
        break;
    case WriteStage::ReadingBack:
        verifyConfigurationWrite(result);
        break;
    case WriteStage::Idle:
        DecodeReadReply(result);
        break;
    }
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
        break;
    }
}

void TForm1::DecodeReadReply(const link::TransactionResult& result)
{
    using namespace transmitter;
    showReceiveStatus(result);
    if (!result.ok()) {
        StatusBar1->setPanelText(1, QString::fromUtf8(kReadErrorText));
        if (result.outcome == ReplyOutcome::ReadFailed)
            returnToDisconnected(kReceiveFailed);
        return;
    }
    const ReadingReport reading = describeReading(decodeRegisterImage(result.words));

    // The pressure input has no item: the group then shows none.
    RadioGroup1->setItemIndex(reading.sensorTypeIndex); // may run RadioGroup1Click
    MaskEdit1->setMaskedText(reading.zeroAdjust);
    Edit7->setText(reading.rangeLower);
    Edit8->setText(reading.rangeUpper);

    // Another transmitter on the same connection (commissioning in series)
    // brings its own option texts: those of the last one would misstate its
    // output.
    if (RadioGroup2->itemIndex() == -1 || reading.modelCode != m_optionListsModel)
        m_flags.OptionListsBuilt = 0;
    if (m_flags.OptionListsBuilt == 0) {
        m_flags.OptionListsBuilt = 1;
        m_optionListsModel = reading.modelCode;
        RadioGroup2->clearItems();
        RadioGroup3->clearItems();
        for (const char* item : reading.modelOptions->sensorErrorItems)
            RadioGroup2->appendItem(QString::fromUtf8(item));
        for (const char* item : reading.modelOptions->directionItems)
            RadioGroup3->appendItem(QString::fromUtf8(item));
        Label4->setText(reading.model);
    }
    RadioGroup2->setItemIndex(reading.sensorErrorIndex);
    RadioGroup3->setItemIndex(reading.outputDirectionIndex);
    Label5->setText(reading.firmware);
    // The format follows the type the group shows, read back from it.
    const MeasuredText measured = measuredValueText(RadioGroup1->itemIndex(), reading.measuredRaw);
    Edit28->setText(measured.value);
    Label8->setText(measured.unit);

    StatusBar1->setPanelText(1, activityText(m_flags.StatusAnimation));
    m_flags.StatusAnimation = nextActivityCounter(m_flags.StatusAnimation);
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
    Edit7->setText(captions.lower);
    Edit8->setText(captions.upper);
}

void TForm1::Button2Click(QObject* /*Sender*/)
{
    using namespace transmitter;
    if (writeInFlight() || LinkStatus != link::DriverStatusCode::Ok)
        return;
    // A reading in flight is no longer wanted; its reply still keeps the line.
    m_master.cancel();
    m_flags.PollingActive = 0;
    Timer1->stop();
    transmite->setText(kRead);

    const ConfigurationFields fields{
        MaskEdit1->maskedText(),  Edit7->text(),           Edit8->text(), RadioGroup1->itemIndex(),
        RadioGroup2->itemIndex(), RadioGroup3->itemIndex()};
    QString zeroScratch = Edit6->text();
    WriteCheck check = WriteCheck::Ready;
    try {
        check = prepareConfigurationWrite(fields, WriteImage, zeroScratch);
    } catch (const ConversionError&) {
        Edit6->setText(zeroScratch);
        throw;
    }
    Edit6->setText(zeroScratch);
    if (check != WriteCheck::Ready) {
        m_messages.showMessage(refusalMessage(check));
        return;
    }
    const QStringList warnings = rangeWarnings(WriteImage);
    // Reading is stopped and nothing is in flight, so the question's loop runs no request.
    if (!warnings.isEmpty() && !m_messages.ask(sendAnywayQuestion(warnings)))
        return;
    m_flags.OptionListsBuilt = 1;
    // A refused write comes back through the result, before this returns.
    if (m_master.writeMultipleRegisters(kSlaveAddress, kWriteFirstRegister, kWriteRegisterCount,
                                        WriteImage.data()) == SendOutcome::SendFailed)
        return;
    m_write = WriteStage::AwaitingEcho;
    StatusBar1->setPanelText(0, kConnected);
    StatusBar1->setPanelText(1, QStringLiteral("Comando enviado"));
}

void TForm1::finishConfigurationWrite(const link::TransactionResult& result)
{
    showReceiveStatus(result);
    m_write = WriteStage::Idle;
    switch (result.outcome) {
    case ReplyOutcome::Reply:
        // An echo says the request arrived, not that the device kept it.
        m_write = WriteStage::ReadingBack;
        m_master.readHoldingRegisters(transmitter::kSlaveAddress, transmitter::kReadFirstRegister,
                                      transmitter::kReadRegisterCount);
        break;
    case ReplyOutcome::ReadFailed:
        returnToDisconnected(kReceiveFailed);
        break;
    case ReplyOutcome::NoReply:
    case ReplyOutcome::BadReply:
    case ReplyOutcome::Exception:
        m_messages.showMessage(kNotConfirmed);
        break;
    case ReplyOutcome::LineBusy: // it never went out
        StatusBar1->setPanelText(1, QString());
        m_messages.showMessage(kLineBusyWrite);
        break;
    case ReplyOutcome::SendFailed:
        break;
    }
}

void TForm1::verifyConfigurationWrite(const link::TransactionResult& result)
{
    m_write = WriteStage::Idle;
    showReceiveStatus(result);
    if (result.ok() &&
        transmitter::readsBackAsWritten(WriteImage, transmitter::decodeRegisterImage(result.words)))
        StatusBar1->setPanelText(1, QStringLiteral("Enviado..."));
    else if (result.outcome == ReplyOutcome::ReadFailed)
        returnToDisconnected(kReceiveFailed);
    else
        m_messages.showMessage(kNotConfirmed);
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
