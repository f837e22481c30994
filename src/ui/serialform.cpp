// The window's construction: its components, their places and faces, the
// keyboard order, and the one place where handlers are connected.
#include "serial.h"

#include "transmitter/configfields.h"
#include "transmitter/sensortable.h"
#include "ui/widgets/maskedit.h"
#include "ui/widgets/radiogroup.h"
#include "ui/widgets/statuspanels.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <utility>

// The icon lives in this static library's resources, which nothing in the
// program refers to by name: without this the linker leaves them out.
// (Outside any namespace, as the resource's initialiser is.)
static void initIconResource()
{
    Q_INIT_RESOURCE(quorva);
}

using namespace quorva;
using ui::MaskEdit;
using ui::RadioGroup;

namespace {

constexpr int kClientWidth = 575;
constexpr int kClientHeight = 579;
constexpr int kStatusBarHeight = 19;
constexpr int kPollIntervalMs = 1000;
const QColor kSkyBlue(166, 202, 240);
const QColor kDisabledText(96, 110, 128);

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

// A framed group of the client area, in the groups' bold face.
template <typename Box>
Box* group(Box* box, QWidget* client, const char* name, int x, int y, int w, int h)
{
    named(box, name);
    box->setParent(client);
    box->setGeometry(x, y, w, h);
    box->setFont(faceOf(13, true));
    return box;
}

} // namespace

TForm1::TForm1(link::DeviceLink& link, link::ModbusMaster& master, ProgramFlags& flags,
               ui::MessageSink& messages, QWidget* parent)
    : QMainWindow(parent), m_link(link), m_master(master), m_flags(flags), m_messages(messages)
{
    buildComponents();
    buildReadingAge();
    connectHandlers();
}

void TForm1::buildReadingAge()
{
    // Shown only while readings fail, beneath the value it dates.
    m_readingAge = label(GroupBox9, "readingAge", 75, 52);
    m_readingAge->setFont(faceOf(9, false));
    m_readingAge->resize(140, 11);
    m_readingAge->setVisible(false);
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

    buildMenu();
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
    setCentralWidget(client);
    buildChoices(client);
    buildReadings(client);
    buildButtons(client);

    StatusBar1 = named(new ui::StatusPanels(this), "StatusBar1");
    StatusBar1->setFixedHeight(kStatusBarHeight);
    StatusBar1->setAutoFillBackground(true);
    setStatusBar(StatusBar1);

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(kPollIntervalMs);

    fitLabels();
    applyKeyboardOrder();
    setFixedSize(sizeHint());
}

void TForm1::buildMenu()
{
    menu = named(new QMenuBar(this), "menu");
    btSair = menu->addAction(QStringLiteral("Sair"));
    btSair->setObjectName(QStringLiteral("btSair"));
    mnSobre = menu->addAction(QStringLiteral("&Sobre"));
    mnSobre->setObjectName(QStringLiteral("mnSobre"));
    mnTendencia = menu->addAction(QStringLiteral("Tendência"));
    mnTendencia->setObjectName(QStringLiteral("mnTendencia"));
    setMenuBar(menu);
}

// The three choices, captioned as their fields.
void TForm1::buildChoices(QWidget* client)
{
    using transmitter::fieldCaption;
    namespace Slot = transmitter::Slot;
    const auto choice = [client](int slot, const char* name, int x, int y, int w, int h) {
        return group(new RadioGroup(fieldCaption(slot)), client, name, x, y, w, h);
    };
    RadioGroup1 = choice(Slot::SensorType, "RadioGroup1", 49, 31, 217, 223);
    RadioGroup1->setItems(transmitter::sensorTypeNames());
    RadioGroup3 = choice(Slot::OutputDirection, "RadioGroup3", 50, 260, 217, 64);
    RadioGroup3->setItems({QStringLiteral("  4 a 20 mA"), QStringLiteral("20 a   4 mA")});
    RadioGroup2 = choice(Slot::SensorError, "RadioGroup2", 50, 330, 217, 101);
    RadioGroup2->setItems({QStringLiteral("Nenhum"), QStringLiteral("Sinal de Saída <  4 mA"),
                           QStringLiteral("Sinal de Saída > 20 mA")});
}

// "Temperatura", "Ajustes" and "Informações", with the zero field over "Ajustes".
void TForm1::buildReadings(QWidget* client)
{
    GroupBox9 =
        group(new QGroupBox(QStringLiteral("Temperatura")), client, "GroupBox9", 308, 31, 217, 65);
    Edit28 = edit(GroupBox9, "Edit28", 75, 28);
    Edit28->setReadOnly(true);
    Label8 = label(GroupBox9, "Label8", 151, 32);

    GroupBox1 =
        group(new QGroupBox(QStringLiteral("Ajustes")), client, "GroupBox1", 308, 102, 217, 222);
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

    GroupBox2 =
        group(new QGroupBox(QStringLiteral("Informações")), client, "GroupBox2", 308, 330, 217, 74);
    Label1 = label(GroupBox2, "Label1", 12, 24, true);
    Label4 = label(GroupBox2, "Label4", 120, 24, true);
    Label3 = label(GroupBox2, "Label3", 12, 46, true);
    Label5 = label(GroupBox2, "Label5", 120, 46, true);

    // A child of the window itself, drawn over the "Zero" row of "Ajustes".
    MaskEdit1 = named(new MaskEdit(client), "MaskEdit1");
    MaskEdit1->setGeometry(383, 129, 71, 21);
    MaskEdit1->setFont(faceOf(11, true));
    MaskEdit1->raise();
}

// "Interface" and "Função", and the line beneath them.
void TForm1::buildButtons(QWidget* client)
{
    GroupBox14 =
        group(new QGroupBox(QStringLiteral("Interface")), client, "GroupBox14", 50, 461, 218, 66);
    btConectar = button(GroupBox14, "btConectar", 59, 22);
    GroupBox11 =
        group(new QGroupBox(QStringLiteral("Função")), client, "GroupBox11", 308, 410, 217, 117);
    transmite = button(GroupBox11, "transmite", 58, 26);
    Button2 = button(GroupBox11, "Button2", 58, 70);
    Label6 = label(client, "Label6", 313, 540);
    Label6->setFont(faceOf(13, true));
}

// Labels whose text changes take the width of the space they stand in.
void TForm1::fitLabels()
{
    const std::pair<QList<QLabel*>, int> widths[] = {
        {{Label8, Label19, Label16, Label18}, 60},
        {{Label14, Label15, Label4, Label5}, 95},
        {{Label10, Label11, Label12, Label1, Label3}, 62},
        {{Label2, Label13}, 108},
        {{Label6}, 255},
    };
    for (const auto& [labels, width] : widths) {
        for (QLabel* l : labels)
            l->resize(width, l->sizeHint().height());
    }
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
    connect(mnTendencia, &QAction::triggered, this,
            [this] { dispatch([this] { mnTendenciaClick(mnTendencia); }); });
    for (RadioGroup* g : {RadioGroup1, RadioGroup2, RadioGroup3})
        connect(g, &RadioGroup::itemsRebuilt, this, &TForm1::applyKeyboardOrder);
    connect(
        &m_master, &link::ModbusMaster::finished, this,
        [this](const link::TransactionResult& r) { dispatch([&] { onTransactionFinished(r); }); });
    connect(&m_write, &transmitter::ConfigurationWrite::writeSent, this,
            [this] { dispatch([&] { showWriteSent(); }); });
    connect(&m_write, &transmitter::ConfigurationWrite::echoed, this,
            [this](const link::TransactionResult& r) { dispatch([&] { showEchoed(r); }); });
    connect(&m_write, &transmitter::ConfigurationWrite::finished, this,
            [this](const transmitter::WriteReport& report) {
                dispatch([&] { showConfigurationWritten(report); });
            });
}
