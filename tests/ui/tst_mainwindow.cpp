// The main window with real widgets, driven by clicks and keys, against the
// virtual transmitter in simulated time. Expected texts are written out as
// the technician reads them (see seen() for the row form).
#include "ui/translations.h"
#include "windowrig.h"

#include <QMessageBox>

namespace {
const QString kOpenFailed = QStringLiteral("Erro ao abrir o dispositivo USB.");
const QString kNotConfirmed = QStringLiteral("A configuração não foi confirmada pelo transmissor.");
const QString kSensors = QStringLiteral("Pt100|Termopar J|Termopar K|Termopar R|Termopar "
                                        "S|Termopar T|Termopar N|Termopar E|Termopar B");
const QString kCurrentErrors =
    QStringLiteral("Nenhum|Sinal de Saída <  4 mA|Sinal de Saída > 20 mA");
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void startUpState()
    {
        WindowRig w;
        COMPARE_SHOWN(
            w.form, "Form1: QUORVA - V. 1.01", "StatusBar1: Desconectado | ",
            "btConectar: Conectar", "transmite: Ler (off)", "Button2: Enviar (off)",
            "RadioGroup1: " + kSensors + " (off)", "RadioGroup3:   4 a 20 mA|20 a   4 mA (off)",
            "RadioGroup2: " + kCurrentErrors + " (off)", "Edit28:  (off)",
            "Label8: ", "Label10: Zero", "MaskEdit1: __,_ (off)", "Label19: ", "Label11: V. Mín.",
            "Edit7:  (off)", "Label16: ", "Label12: V. Máx.", "Edit8:  (off)",
            "Label18: ", "Label2: Faixa do Sensor:", "Label14: ", "Label13: Faixa Mínima:",
            "Label15: ", "Edit6:  (hidden)",
            "Label1: Modelo:", "Label4:  ", "Label3: Firmware:", "Label5:  ", "Label6:  ");
        // Each group framed under its caption.
        QStringList titles;
        for (const char* name : {"RadioGroup1", "RadioGroup2", "RadioGroup3", "GroupBox9",
                                 "GroupBox1", "GroupBox2", "GroupBox14", "GroupBox11"})
            titles << part<QGroupBox>(w.form, name)->title();
        QCOMPARE(titles,
                 (QStringList{"Tipo de Sensor", "Erro do Sensor", "Sinal de Saída", "Temperatura",
                              "Ajustes", "Informações", "Interface", "Função"}));
        QCOMPARE(w.form.centralWidget()->size(), QSize(575, 579 - 19));
        QCOMPARE(w.form.minimumSize(), w.form.maximumSize());
        QVERIFY(!(w.form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(part<QAction>(w.form, "btSair")->text() + part<QAction>(w.form, "mnSobre")->text(),
                 "Sair&Sobre");
        QVERIFY(!w.timer()->isActive());
        QCOMPARE(w.timer()->interval(), 1000); // a reading a second
        // The 32 x 32 icon, from the resources built into the program.
        QCOMPARE(w.form.windowIcon().availableSizes(), QList<QSize>{QSize(32, 32)});
    }

    // One register as the device sends it (the factory value first), and what
    // the window makes of it, from the one poll that reads them all.
    void readingShows_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("value");
        QTest::addColumn<QStringList>("rows");
        const auto row = [](const char* name, int number, int value, const QStringList& rows) {
            QTest::newRow(name) << number << value << rows;
        };
        row("factory values", 2, 235,
            lines("StatusBar1: Conectado | Leitura efetuada -->>", "RadioGroup1: *" + kSensors,
                  "RadioGroup3: *4 a 20 mA|20 a 4 mA", "RadioGroup2: *" + kCurrentErrors,
                  "btConectar: Desconectar (off)", "transmite: Parar Leitura",
                  "Button2: Enviar (off)", "Edit28: 23,5", "Label8: °C", "MaskEdit1:  0,0",
                  "Label19: °C", "Edit7: -200", "Label16: °C", "Edit8: 650", "Label18: °C",
                  "Label14: -200 a 650°C", "Label15: 40°C", "Label4: TRV-A", "Label5: 1,01",
                  "Label6:  "));
        row("zero -25", 4, -25, {"MaskEdit1: -2,5"});
        row("zero 5", 4, 5, {"MaskEdit1:  0,5"});
        row("zero 150", 4, 150, {"MaskEdit1: 15,0"});
        row("zero -150 does not fit", 4, -150, {"MaskEdit1: __,_"});
        row("lower -5", 6, -5, {"Edit7: -0,5"});
        row("lower 0", 6, 0, {"Edit7: 0"});
        row("lower 8000 reads positive", 6, 0x8000, {"Edit7: 3276,8"});
        row("lower 8001", 6, 0x8001, {"Edit7: -3276,7"});
        row("upper FFFF", 7, 0xFFFF, {"Edit8: -0,1"});
        row("firmware 150", 10, 150, {"Label5: 1,50"});
        row("firmware 151", 10, 151, {"Label5: "});
        row("firmware -5", 10, -5, {"Label5: -0,05"});
        // The measured value's texts are tst_transmitter's (measuredTexts).
        row("measured -1999", 2, -1999, {"Edit28: -199,9", "Label8: °C"});
        row("no sensor type", 5, -1, {"RadioGroup1: " + kSensors, "Edit28: 235", "Label8: "});
        row("pressure has no item", 5, 9, {"RadioGroup1: " + kSensors, "Edit28: 235", "Label8: "});
        row("Termopar B", 5, 8,
            {"RadioGroup1: " + QString(kSensors).replace("|Termopar B", "|*Termopar B"),
             "Label14:  500 a 1820°C", "Edit7: -200"});
    }
    void readingShows()
    {
        QFETCH(int, number);
        QFETCH(int, value);
        QFETCH(QStringList, rows);
        WindowRig w;
        w.device.setRegister(number, quint16(value));
        w.connectAndRead();
        QCOMPARE(shownBy(w.form, rows), rows);
        QCOMPARE(w.framesSent(), 1); // a line quiet before the open: the reading alone
        QCOMPARE(w.device.receivedFrames().back().toHex(), "0103000000258411");
    }

    // The activity text steps with each reading taken, a failed one says so.
    // Ticks while a reading is in flight queue one more and leave the text
    // alone (no "Comando enviado" flash); "Parar Leitura" discards the reading
    // in flight.
    void activityAndReadingsInFlight()
    {
        WindowRig w;
        w.connectAndRead();
        QStringList steps;
        for (int i = 1; i <= 5; ++i) {
            w.device.setFault(i == 2 ? Fault::NoReply : Fault::None);
            w.device.setRegister(2, quint16(100 * i));
            w.poll();
            steps << w.panel(1) + "|" + w.edit("Edit28")->text() + "|" +
                         part<QLabel>(w.form, "Label6")->text();
        }
        QCOMPARE(steps, (QStringList{"Leitura efetuada        -->>|10,0| ",
                                     "Erro de leitura|10,0|* Falha de comunicação *",
                                     "Leitura efetuada                -->>|30,0| ",
                                     "Leitura efetuada|40,0| ", "Leitura efetuada -->>|50,0| "}));
        for (int tick = 0; tick < 3; ++tick)
            w.tick();
        QCOMPARE(w.framesSent(), 7);
        QCOMPARE(w.panel(1), "Leitura efetuada -->>");
        w.settle();
        QCOMPARE(w.framesSent(), 8);
        w.device.setRegister(2, 512);
        w.tick();
        w.click(w.button("transmite"));
        w.runMs(1000);
        COMPARE_SHOWN(w.form, "StatusBar1: Conectado | ", "Edit28: 50,0", "transmite: Ler",
                      "btConectar: Desconectar", "Button2: Enviar");
        QVERIFY(!w.timer()->isActive());
    }

    // While readings fail, the last value is shown as old: greyed, with the
    // time of the reading it came from beneath it, said within the response
    // timeout of the poll; the next good reading shows it as it is again.
    void staleValueShownAsOld()
    {
        WindowRig w;
        w.connectAndRead();
        const QColor fresh = w.edit("Edit28")->palette().color(QPalette::Text);
        const auto* ageLabel = part<QLabel>(w.form, "readingAge");
        const auto age = [ageLabel] {
            return ageLabel->isVisible() ? ageLabel->text() : QString();
        };
        QCOMPARE(age(), "");
        w.toNextSecond();
        const QTime before = QTime::currentTime();
        w.poll();
        const QTime after = QTime::currentTime();
        w.device.setFault(Fault::NoReply);
        for (int poll = 0; poll < 3; ++poll) {
            w.toNextSecond();
            const qint64 tickUs = w.clock.nowUs();
            const auto taken = w.form.trend().size();
            w.tick();
            while (w.form.trend().size() == taken)
                w.runMs(1);
            QCOMPARE(w.panel(1), "Erro de leitura");
            QVERIFY(w.clock.nowUs() - tickUs <=
                    w.master.responseTimeoutMs() * 1000 + w.master.interFrameGapUs() + 1000);
            w.settle();
            COMPARE_SHOWN(w.form, "Edit28: 23,5");
            QVERIFY(w.edit("Edit28")->palette().color(QPalette::Text) != fresh);
            const QTime shown = QTime::fromString(age().section(u' ', -1), "HH:mm:ss");
            QVERIFY2(age().startsWith("última leitura às ") && shown.isValid() &&
                         shown >= before.addMSecs(-before.msec()) && shown <= after,
                     qPrintable(age()));
        }
        w.device.setFault(Fault::None);
        for (int poll = 0; poll < 3 && w.panel(1) == "Erro de leitura"; ++poll) {
            w.toNextSecond();
            w.poll();
        }
        QCOMPARE(age(), "");
        QCOMPARE(w.edit("Edit28")->palette().color(QPalette::Text), fresh);
        w.device.setFault(Fault::NoReply);
        w.toNextSecond();
        w.poll();
        QVERIFY(!age().isEmpty());
        w.click(w.button("transmite"));
        w.click(w.button("btConectar"));
        w.click(w.button("btConectar")); // a new connection, nothing read yet
        QCOMPARE(age(), "");
        w.click(w.button("transmite"));
        w.poll();
        QCOMPARE(age(), ""); // no reading to date
    }

    // The technician's choice of sensor shows its range and puts its default
    // range in place of what was typed, until the next reading.
    void sensorTable_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("rows");
        const auto row = [](const char* name, int index, const char* range, const char* span,
                            const char* lower, const char* upper) {
            QTest::newRow(name) << index
                                << QStringLiteral("Label14: %1|Label15: %2|Edit7: %3|Edit8: %4")
                                       .arg(range, span, lower, upper)
                                       .split(u'|');
        };
        row("Pt100", 0, "-200 a 650°C", "40°C", "-200", "650");
        row("Termopar J", 1, "-100 a 760°C", "100°C", "-100", "760");
        row("Termopar K", 2, "-100 a 1370°C", "100°C", "-100", "1370");
        row("Termopar R", 3, "-50 a 1760°C", "100°C", "-50", "1760");
        row("Termopar S", 4, "-50 a 1760°C", "100°C", "-50", "1760");
        row("Termopar T", 5, "-100 a 400°C", "100°C", "-100", "400");
        row("Termopar N", 6, "-100 a 800°C", "100°C", "-100", "800");
        row("Termopar E", 7, "-90 a 720°C", "100°C", "-90", "720");
        row("Termopar B", 8, " 500 a 1820°C", "100°C", "500", "1820");
    }
    void sensorTable()
    {
        QFETCH(int, index);
        QFETCH(QStringList, rows);
        WindowRig w;
        w.device.setRegister(5, index == 0 ? 1 : 0);
        w.connectAndRead();
        w.type(w.edit("Edit7"), "1");
        w.clickItem(w.group("RadioGroup1"), index);
        rows += lines("Label8: °C", "Label19: °C", "Label16: °C", "Label18: °C");
        QCOMPARE(shownBy(w.form, rows), rows);
        w.type(w.edit("Edit8"), "2"); // the chosen item again changes nothing
        w.clickItem(w.group("RadioGroup1"), index);
        QCOMPARE(w.edit("Edit8")->text(), "2");
        w.poll();
        QCOMPARE(w.group("RadioGroup1")->itemIndex(), index == 0 ? 1 : 0);
        QCOMPARE(w.edit("Edit7")->text(), "-200");
    }

    // The option lists and model name by model code. Another transmitter on
    // the same connection (another model code) has them rebuilt, with the
    // selections its reading gives; so has a reading without a sensor-error
    // selection.
    void itemListsPerModel_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("rows");
        const QString error = "RadioGroup2: Nenhum|Sinal de Saída <  4 mA|*Sinal de Saída > 20 mA";
        const QString current = "RadioGroup3: 4 a 20 mA|*20 a 4 mA";
        QTest::newRow("420") << 420 << lines(error, current, "Label4: TRV-A");
        QTest::newRow("421") << 421 << lines(error, current, "Label4: TRV-B");
        QTest::newRow("10") << 10
                            << lines("RadioGroup2: Nenhum|Sinal de Saída Mínimo|*Sinal de Saída "
                                     "Máximo",
                                     "RadioGroup3: 0 a 10 V|*10 a 0 V", "Label4: TRV-C");
        QTest::newRow("another") << 7 << lines(error, current, "Label4: ");
    }
    void itemListsPerModel()
    {
        QFETCH(int, code);
        QFETCH(QStringList, rows);
        WindowRig w;
        w.device.setRegister(11, code == 10 ? 420 : 10);
        w.connectAndRead();
        w.device.setRegister(11, quint16(code));
        w.device.setRegister(8, 2);
        w.device.setRegister(9, 1);
        w.poll();
        QCOMPARE(shownBy(w.form, rows), rows);
        w.device.setRegister(8, 0xFFFF);
        w.poll();
        QCOMPARE(w.group("RadioGroup2")->itemIndex(), -1);
        part<QLabel>(w.form, "Label4")->clear();
        w.device.setRegister(8, 2);
        w.poll();
        QCOMPARE(shownBy(w.form, rows), rows);
    }

    // "Enviar" after the edits given ("<component>=<keys>", a radio group's
    // item by number). The checks before sending may refuse, with a message
    // or an error ("! "), or ask ("? ", answered `answer`); a write shows
    // "Comando enviado" once it is on the line (after the line's quiet gap),
    // clicks wait for it, and "Enviado..." comes only once the transmitter's
    // echo matched. `frames`: what the device got.
    void send_data()
    {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArrayList>("frames");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("messages");
        const QByteArray poll = "01 03 00 00 00 25 84 11";
        // Termopar K, V. Mín. -150 (fa 24), V. Máx. 1370 (35 84).
        const QByteArray belowK = "01 10 00 00 00 0b 16 00 00 00 00 00 00 00 00 00 02 fa 24 35 84 "
                                  "00 00 00 00 00 00 00 00 c1 ee";
        // The zero -0,5 (ff fb) and the second sensor-error item (00 01).
        const QByteArray write = "01 10 00 00 00 0b 16 00 00 00 00 00 00 ff fb 00 00 f8 30 19 64 "
                                 "00 01 00 00 00 00 00 00 dc 39";
        const auto onK = [](const char* name, const char* zero, const char* lower,
                            const char* upper, const QByteArrayList& frames, const char* said,
                            bool answer = true) {
            QTest::newRow(name) << QStringLiteral("RadioGroup1=2|MaskEdit1=%1|Edit7=%2|Edit8=%3")
                                       .arg(zero, lower, upper)
                                       .split(u'|')
                                << answer << int(Fault::None) << frames
                                << lines("StatusBar1: Conectado | " +
                                         QString(frames.isEmpty() ? "" : "Enviado..."))
                                << (said ? QStringList{said} : QStringList{});
        };
        const auto row = [&](const char* name, Fault fault, const QByteArrayList& frames,
                             const char* panels, const char* label6,
                             const QStringList& messages = {kNotConfirmed}) {
            QTest::newRow(name) << lines("MaskEdit1=-05", "RadioGroup2=1") << true << int(fault)
                                << frames
                                << lines(QStringLiteral("StatusBar1: ") + panels,
                                         QStringLiteral("Label6: ") + label6)
                                << messages;
        };
        const char* below = "? V. Mín. -150°C fora da Faixa do Sensor (-100 a 1370°C).\n"
                            "Enviar assim mesmo?";
        onK("zero 10,0", "100", "-100", "1370", {}, "Erro:Valor deve ser >= -9,9 ou <= 9,9");
        onK("zero not filled in", "5", "-100", "1370", {},
            "! '5 , ' não é um valor de ponto flutuante válido");
        onK("minimum 12,5", " 00", "12,5", "1370", {}, "! '12,5' não é um valor inteiro válido");
        onK("1000 to 10", " 00", "1000", "10", {}, "Erro: V. Mín. deve ser menor que V. Máx.");
        onK("below the range, Não", " 00", "-150", "1370", {}, below, false);
        onK("below the range, Sim", " 00", "-150", "1370", {belowK, poll}, below);
        // The zero's lower end and K's range are sent as they are (the other
        // ends, and one past each: tst_transmitter's checks; the field holds
        // no -10,0).
        onK("zero -9,9, K's whole range", "-99", "-100", "1370",
            {"01 10 00 00 00 0b 16 00 00 00 00 00 00 ff 9d 00 02 fc 18 35 84 00 00 00 00 00 00 00 "
             "00 55 6f",
             poll},
            nullptr);
        const char* sent = "Conectado | Comando enviado";
        row("confirmed", Fault::None, {write, poll}, "Conectado | Enviado...", " ", {});
        row("no echo", Fault::NoReply, {write}, sent, "* Falha de comunicação *");
        row("exception", Fault::ExceptionReply, {write}, sent,
            "* Exceção 4: falha no transmissor *");
        row("spoilt echo", Fault::BadCrc, {write}, sent, " ");
        row("write refused", Fault::WriteRefused, {}, "Desconectado | ", " ",
            {"Erro ao tentar enviar dados.", kOpenFailed});
        // A fault below zero comes once the write is on the line: the write went.
        row("read-back refused", Fault(-int(Fault::WriteRefused)), {write},
            "Desconectado | Comando enviado", " ", {"Erro ao tentar enviar dados.", kOpenFailed});
        row("read refused", Fault::ReadRefused, {write}, "Desconectado | Comando enviado", " ",
            {"Erro ao tentar receber dados.", kOpenFailed});
        row("echoed, not stored", Fault::IgnoreWrites, {write, poll}, sent, " ");
    }
    void send()
    {
        QFETCH(QStringList, edits);
        QFETCH(bool, answer);
        QFETCH(int, fault);
        QFETCH(QByteArrayList, frames);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, messages);
        WindowRig w;
        w.connectAndRead();
        w.click(w.button("transmite"));
        for (const QString& edit : edits) {
            const QString name = edit.section(u'=', 0, 0), keys = edit.section(u'=', 1);
            if (auto* group = w.form.findChild<RadioGroup*>(name))
                w.clickItem(group, keys.toInt());
            else
                w.type(w.form.findChild<QLineEdit*>(name), keys);
        }
        w.messages.answer = answer;
        w.device.setFault(Fault(std::max(fault, 0)), 4);
        w.device.clearReceivedFrames();
        w.click(w.button("Button2"));
        if (!frames.isEmpty()) {
            QCOMPARE(w.panel(1), "");
            w.runMs(4);
            QCOMPARE(w.framesSent(), 1);
            QCOMPARE(w.panel(1), "Comando enviado");
            w.device.setFault(Fault(std::abs(fault)), 4); // one below zero comes now
            for (QWidget* b : {w.button("transmite"), w.button("btConectar"), w.button("Button2")})
                w.click(b);
            QCOMPARE(w.button("transmite")->text() + "|" + w.panel(0), "Ler|Conectado");
        }
        w.settle();
        QCOMPARE(w.messages.told, messages);
        QCOMPARE(shownBy(w.form, rows), rows);
        QByteArrayList received;
        for (const QByteArray& frame : w.device.receivedFrames())
            received << frame.toHex(' ');
        QCOMPARE(received, frames);
        QVERIFY(w.button("btConectar")->isEnabled());
        if (fault == int(Fault::None) && !frames.isEmpty()) { // reading goes on after a write
            w.click(w.button("transmite"));
            QCOMPARE(w.button("transmite")->text(), "Parar Leitura");
        }
    }

    // A write on the line awaits its echo (the device answers after 0,6 s):
    // "Desconectar" is refused until the outcome is shown, and then answers;
    // "Sair" closes the window at once, with nothing more said. The device
    // holds what reached it (register 4: the zero -0,5 sent, or 0,0).
    void clicksWhileAWriteAwaitsItsEcho_data()
    {
        QTest::addColumn<bool>("sair");
        QTest::addColumn<bool>("echoed");
        QTest::newRow("Desconectar, echoed") << false << true;
        QTest::newRow("Desconectar, no echo") << false << false;
        QTest::newRow("Sair") << true << true;
    }
    void clicksWhileAWriteAwaitsItsEcho()
    {
        QFETCH(bool, sair);
        QFETCH(bool, echoed);
        WindowRig w;
        w.connectAndRead();
        w.click(w.button("transmite"));
        w.type(w.edit("MaskEdit1"), "-05");
        w.device.setTurnaroundMs(600);
        w.device.setFault(echoed ? Fault::None : Fault::NoReply);
        const int before = w.framesSent();
        w.click(w.button("Button2"));
        w.runMs(300);
        QCOMPARE(w.framesSent(), before + 1); // the write, on the line
        sair ? part<QAction>(w.form, "btSair")->trigger() : w.click(w.button("btConectar"));
        QCOMPARE(w.form.isVisible(), !sair);
        QCOMPARE(w.device.reg(4), quint16(echoed ? 0xFFFB : 0));
        QCOMPARE(w.messages.told, QStringList{});
        if (sair)
            return;
        COMPARE_SHOWN(w.form, "StatusBar1: Conectado | Comando enviado", "btConectar: Desconectar");
        w.settle();
        QCOMPARE(w.panel(1), echoed ? "Enviado..." : "Comando enviado");
        QCOMPARE(w.messages.told, echoed ? QStringList{} : QStringList{kNotConfirmed});
        w.click(w.button("btConectar")); // the write over, it answers
        QVERIFY(!w.device.isOpen());
    }

    // A failed open can be retried; the line is set up as the transmitter
    // expects; a disconnect keeps the values shown, the next connect clears them.
    void connectAndDisconnect()
    {
        WindowRig w;
        w.device.setFault(Fault::Unplugged);
        part<quorva::ui::StatusPanels>(w.form, "StatusBar1")->setPanelText(1, "x");
        w.click(w.button("btConectar"));
        QCOMPARE(w.messages.told, QStringList{kOpenFailed});
        COMPARE_SHOWN(w.form, "StatusBar1: Desconectado | ", "btConectar: Conectar",
                      "transmite: Ler (off)");
        w.device.setFault(Fault::None);
        w.click(w.button("btConectar"));
        COMPARE_SHOWN(w.form, "StatusBar1: Conectado | ", "btConectar: Desconectar",
                      "transmite: Ler", "Button2: Enviar (off)",
                      "RadioGroup1: " + kSensors + " (off)");
        // 9600 baud, 8 data bits, one stop bit, no parity, timeouts of 10 and
        // 1 ms, both queues purged.
        const auto& line = w.device.lineSettings();
        QCOMPARE((QList<quint32>{line.baudRate, line.wordLength, line.stopBits, line.parity,
                                 line.readTimeoutMs, line.writeTimeoutMs, line.lastPurgeMask}),
                 (QList<quint32>{9600, 8, 0, 0, 10, 1, 3}));
        w.click(w.button("transmite"));
        w.poll();
        w.click(w.button("transmite"));
        w.click(w.button("btConectar"));
        QVERIFY(!w.device.isOpen());
        COMPARE_SHOWN(w.form, "StatusBar1: Desconectado | ", "btConectar: Conectar",
                      "transmite: Ler (off)", "Button2: Enviar (off)", "Edit28: 23,5 (off)",
                      "Edit7: -200 (off)", "RadioGroup1: *" + kSensors + " (off)");
        w.click(w.button("btConectar"));
        COMPARE_SHOWN(w.form, "Edit28:  (off)", "Edit7:  (off)",
                      "Label14: ", "RadioGroup1: " + kSensors + " (off)");
    }

    // The boxes as shown: caption, text, the reason beneath it, buttons.
    // Enter, Escape and "Não" answer a question "Não"; only "Sim" lets the
    // out-of-range values go.
    void boxesAsShown_data()
    {
        QTest::addColumn<QString>("action");
        for (const char* action : {"Enter", "Escape", "Não", "Sim"})
            QTest::newRow(action) << QString::fromUtf8(action);
    }
    void boxesAsShown()
    {
        QFETCH(QString, action);
        quorva::ui::DialogMessageSink sink;
        QStringList shown;
        const auto answerBox = [&] {
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                shown << box->windowTitle() + "|" + box->text() + "|" + box->informativeText();
                for (QAbstractButton* b : box->buttons())
                    shown.last() += "|" + b->text();
                if (action == "Enter" || action == "Escape")
                    QTest::keyClick(box, action == "Enter" ? Qt::Key_Return : Qt::Key_Escape);
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == action)
                        b->click();
                if (box->isVisible()) // a message has only "OK"
                    QTest::keyClick(box, Qt::Key_Return);
            });
        };
        answerBox();
        QCOMPARE(sink.ask("Enviar assim mesmo?"), action == "Sim");
        answerBox();
        sink.showMessageWithReason("Erro ao abrir o dispositivo USB.", "porta em uso");
        QCOMPARE(shown,
                 (QStringList{"QUORVA-V1.01|Enviar assim mesmo?||Sim|Não",
                              "QUORVA-V1.01|Erro ao abrir o dispositivo USB.|porta em uso|OK"}));
    }

    void sairClosesInEveryState()
    {
        {
            WindowRig w;
            w.connectAndRead();
            w.tick(); // a reading in flight
            part<QAction>(w.form, "btSair")->trigger();
            QVERIFY(!w.form.isVisible());
        }
        QTest::qWait(10); // the master's timer must be gone with the window
    }

    // Last: from here on the toolkit speaks Portuguese in this process.
    void toolkitTextsArePortuguese()
    {
        QVERIFY(quorva::ui::installToolkitTranslations(*qApp));
        QCOMPARE(QCoreApplication::translate("QLineEdit", "&Paste"), "C&olar");
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
