// The main window with real widgets, driven by clicks and keys, against the
// virtual transmitter in simulated time.
#include "ui/translations.h"
#include "windowrig.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <memory>

using Fault = quorva::sim::VirtualTransmitter::Fault;

namespace {
const QString kOpenFailed = QStringLiteral("Erro ao abrir o dispositivo USB.");
const QString kSendFailed = QStringLiteral("Erro ao tentar enviar dados.");
const QString kReceiveFailed = QStringLiteral("Erro ao tentar receber dados.");
const QString kInvalid = QStringLiteral("Erro: Dado Inválido,Verificar.");
const QString kZeroRange = QStringLiteral("Erro:Valor deve ser >= -9,9 ou <= 9,9");
const QString kNotConfirmed = QStringLiteral("A configuração não foi confirmada pelo transmissor.");
const QString kArrow0 = QStringLiteral("Leitura efetuada -->>");
const QString kArrow1 = QStringLiteral("Leitura efetuada        -->>");
const QString kArrow2 = QStringLiteral("Leitura efetuada                -->>");
const QString kArrow3 = QStringLiteral("Leitura efetuada");
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Texts keep their decimal comma on a machine set up otherwise.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void startUpState()
    {
        WindowRig w;
        TForm1& f = w.form;
        QCOMPARE(f.windowTitle(), "QUORVA - V. 1.01");
        QCOMPARE(f.centralWidget()->size(), QSize(575, 579 - 19));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w.panel(0), "Desconectado");
        QCOMPARE(w.panel(1), "");
        QCOMPARE(f.btConectar->text(), "Conectar");
        QVERIFY(f.btConectar->isEnabled());
        QVERIFY(!f.transmite->isEnabled());
        QVERIFY(!f.Button2->isEnabled());
        QCOMPARE(f.transmite->text(), "Ler");
        QCOMPARE(f.Button2->text(), "Enviar");
        for (auto* g : {f.RadioGroup1, f.RadioGroup2, f.RadioGroup3}) {
            QVERIFY(!g->isEnabled());
            QCOMPARE(g->itemIndex(), -1);
        }
        for (QWidget* e : std::initializer_list<QWidget*>{f.MaskEdit1, f.Edit7, f.Edit8, f.Edit28})
            QVERIFY(!e->isEnabled());
        QCOMPARE(f.RadioGroup3->items(), (QStringList{"  4 a 20 mA", "20 a   4 mA"}));
        QCOMPARE(f.Label2->text(), "Faixa do Sensor:");
        QCOMPARE(f.Label13->text(), "Faixa Mínima:");
        QCOMPARE(f.Label14->text(), "");
        QCOMPARE(f.Label8->text(), "");
        QCOMPARE(f.Label19->text(), "");
        QCOMPARE(f.Label6->text(), " ");
        QCOMPARE(f.Label10->text(), "Zero");
        QCOMPARE(f.Label11->text(), "V. Mín.");
        QCOMPARE(f.Label12->text(), "V. Máx.");
        QVERIFY(!f.Label4->isVisible());
        QVERIFY(!f.Edit6->isVisible());
        QVERIFY(!f.Timer1->isActive());
        QCOMPARE(f.Timer1->interval(), 1000);
        QCOMPARE(f.menu->actions().size(), 2);
        QCOMPARE(f.mnSobre->text(), "&Sobre");
        QCOMPARE(f.findChild<QGroupBox*>("GroupBox1")->title(), "Ajustes");
        QCOMPARE(f.findChild<QGroupBox*>("GroupBox1")->font().bold(), true);
        QVERIFY(!f.windowIcon().isNull());
    }

    void failedConnectCanBeRetried()
    {
        WindowRig w;
        w.device.setFault(Fault::Unplugged);
        w.form.StatusBar1->setPanelText(1, "x");
        w.click(w.form.btConectar);
        QCOMPARE(w.messages.messages, QStringList{kOpenFailed});
        QCOMPARE(w.panel(0), "Desconectado");
        QCOMPARE(w.panel(1), "");
        QCOMPARE(w.form.btConectar->text(), "Conectar");
        QVERIFY(!w.form.transmite->isEnabled());
        w.device.setFault(Fault::None);
        w.click(w.form.btConectar);
        QCOMPARE(w.panel(0), "Conectado");
        QCOMPARE(w.form.btConectar->text(), "Desconectar");
        QVERIFY(w.form.transmite->isEnabled());
        QVERIFY(!w.form.Button2->isEnabled());
        QVERIFY(!w.form.RadioGroup1->isEnabled());
    }

    void firstReadingAfterConnectShowsTheDevice()
    {
        WindowRig w;
        w.connectAndRead();
        TForm1& f = w.form;
        QCOMPARE(w.framesSent(), size_t(1));
        QCOMPARE(w.device.receivedFrames().front(), QByteArray::fromHex("0103000000258411"));
        QCOMPARE(f.RadioGroup1->itemIndex(), 0);
        QCOMPARE(f.Edit28->text(), "23,5");
        QCOMPARE(f.Label8->text(), "°C");
        QCOMPARE(f.MaskEdit1->maskedText(), " 0,0");
        QCOMPARE(f.Edit7->text(), "-200");
        QCOMPARE(f.Edit8->text(), "650");
        QCOMPARE(f.Label5->text(), "1,01");
        QCOMPARE(f.Label4->text(), "TRV-A");
        QVERIFY(!f.Label4->isVisible());
        QCOMPARE(f.RadioGroup3->items(), (QStringList{"4 a 20 mA", "20 a 4 mA"}));
        QCOMPARE(f.RadioGroup2->itemIndex(), 0);
        QCOMPARE(f.Label6->text(), " ");
        QCOMPARE(w.panel(0), "Conectado");
        QCOMPARE(w.panel(1), kArrow0);
        QCOMPARE(f.transmite->text(), "Parar Leitura");
        QVERIFY(!f.btConectar->isEnabled());
        QVERIFY(!f.Button2->isEnabled());
        QVERIFY(f.Timer1->isActive());
    }

    void activityTextsAndAFailedReading()
    {
        WindowRig w;
        w.connectAndRead();
        w.poll();
        QCOMPARE(w.panel(1), kArrow1);
        w.device.setFault(Fault::NoReply);
        w.device.setRegister(2, 999);
        w.poll();
        QCOMPARE(w.panel(1), "Erro de leitura");
        QCOMPARE(w.form.Label6->text(), "* Falha de comunicação *");
        QCOMPARE(w.form.Edit28->text(), "23,5"); // the last reading stays
        w.device.setFault(Fault::None);
        w.poll();
        QCOMPARE(w.panel(1), kArrow2);
        QCOMPARE(w.form.Label6->text(), " ");
        QCOMPARE(w.form.Edit28->text(), "99,9");
        w.poll();
        QCOMPARE(w.panel(1), kArrow3);
        w.poll();
        QCOMPARE(w.panel(1), kArrow0);
    }

    void sensorTypeFromTheDeviceRunsTheClickOnceAndKeepsItsRange()
    {
        WindowRig w;
        w.connectAndRead();
        QSignalSpy clicks(w.form.RadioGroup1, &quorva::ui::RadioGroup::clicked);
        w.device.setRegister(5, 2); // Termopar K
        w.device.setRegister(6, quint16(-800));
        w.device.setRegister(7, 5000);
        w.poll();
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(w.form.Label14->text(), "-100 a 1370°C");
        QCOMPARE(w.form.Label15->text(), "100°C");
        QCOMPARE(w.form.Edit7->text(), "-80");
        QCOMPARE(w.form.Edit8->text(), "500");
        w.poll();
        QCOMPARE(clicks.count(), 1);
    }

    void usersSensorChoiceShowsDefaultsUntilTheNextReading()
    {
        WindowRig w;
        w.connectAndRead();
        w.clickItem(w.form.RadioGroup1, 8);
        QCOMPARE(w.form.Label14->text(), " 500 a 1820°C");
        QCOMPARE(w.form.Edit7->text(), "500");
        QCOMPARE(w.form.Edit8->text(), "1820");
        QCOMPARE(w.form.Label19->text(), "°C");
        w.poll();
        QCOMPARE(w.form.RadioGroup1->itemIndex(), 0);
        QCOMPARE(w.form.Edit7->text(), "-200");
        QCOMPARE(w.form.Label14->text(), "-200 a 650°C");
    }

    void modelCodeChoosesTheOptionTexts()
    {
        WindowRig w;
        w.device.setRegister(11, fixtures::kModelTrvC);
        w.connectAndRead();
        QCOMPARE(w.form.RadioGroup2->items(),
                 (QStringList{"Nenhum", "Sinal de Saída Mínimo", "Sinal de Saída Máximo"}));
        QCOMPARE(w.form.RadioGroup3->items(), (QStringList{"0 a 10 V", "10 a 0 V"}));
        QCOMPARE(w.form.Label4->text(), "TRV-C");
        w.device.setRegister(11, fixtures::kModelTrvA);
        w.poll(); // lists stay while the sensor-error choice has a selection
        QCOMPARE(w.form.RadioGroup3->items(), (QStringList{"0 a 10 V", "10 a 0 V"}));
        QCOMPARE(w.form.Label4->text(), "TRV-C");
    }

    void noSensorErrorSelectionRebuildsOnTheNextReading()
    {
        WindowRig w;
        w.connectAndRead();
        w.device.setRegister(8, 0xFFFF);
        w.poll();
        QCOMPARE(w.form.RadioGroup2->itemIndex(), -1);
        w.device.setRegister(8, 2);
        w.device.setRegister(9, 1);
        w.device.setRegister(11, fixtures::kModelTrvC);
        w.poll();
        QCOMPARE(w.form.RadioGroup3->items(), (QStringList{"0 a 10 V", "10 a 0 V"}));
        QCOMPARE(w.form.Label4->text(), "TRV-C");
        QCOMPARE(w.form.RadioGroup2->itemIndex(), 2);
        QCOMPARE(w.form.RadioGroup3->itemIndex(), 1);
    }

    void valuesAtTheirEdges()
    {
        WindowRig w;
        w.device.setRegister(10, 151);
        w.device.setRegister(4, quint16(-25));
        w.device.setRegister(2, quint16(-1999));
        w.connectAndRead();
        QCOMPARE(w.form.Label5->text(), "");
        QCOMPARE(w.form.MaskEdit1->maskedText(), "-2,5");
        QCOMPARE(w.form.Edit28->text(), "-199,9");
        // A zero adjustment too wide for the field is not shown as another number.
        w.device.setRegister(4, quint16(-150));
        w.device.setRegister(2, 0x8000);
        w.poll();
        QCOMPARE(w.form.MaskEdit1->maskedText(), "");
        QCOMPARE(w.form.Edit28->text(), "3277,0");
        // A sensor type with no item (pressure) shows as no choice, the value unscaled.
        w.device.setRegister(5, 9);
        w.device.setRegister(2, 235);
        w.poll();
        QCOMPARE(w.form.RadioGroup1->itemIndex(), -1);
        QCOMPARE(w.form.Edit28->text(), "235");
        QCOMPARE(w.form.Label8->text(), "");
    }

    void ticksWhileReadingInFlightQueueOneReading()
    {
        WindowRig w;
        w.connectAndRead();
        for (int tick = 0; tick < 3; ++tick)
            w.form.Timer1Timer(w.form.Timer1);
        QCOMPARE(w.framesSent(), size_t(2));
        // A poll leaves the activity text alone until its reading completes.
        QCOMPARE(w.panel(1), kArrow0);
        w.settle();
        QCOMPARE(w.framesSent(), size_t(3));
        QCOMPARE(w.panel(1), kArrow2);
    }

    void stopDiscardsTheReadingInFlight()
    {
        WindowRig w;
        w.click(w.form.btConectar);
        w.click(w.form.transmite);
        w.form.Timer1Timer(w.form.Timer1);
        QCOMPARE(w.panel(1), ""); // no "Comando enviado" flash on a poll
        w.click(w.form.transmite);
        w.settle();
        for (int i = 0; i < 300; ++i) {
            w.clock.advanceMs(1);
            w.master.service();
        }
        QCOMPARE(w.panel(1), "");
        QCOMPARE(w.form.Edit28->text(), "");
        QCOMPARE(w.form.transmite->text(), "Ler");
        QVERIFY(w.form.btConectar->isEnabled());
        QVERIFY(w.form.Button2->isEnabled());
        QVERIFY(!w.form.Timer1->isActive());
        QVERIFY(w.form.Edit7->isEnabled()); // what the start enabled stays enabled
    }

    void configurationWriteTable()
    {
        WindowRig w;
        w.connectAndRead();
        w.click(w.form.transmite);
        QVERIFY(w.form.Button2->isEnabled());
        w.typeZero("-05");
        WindowRig::type(w.form.Edit7, "-200");
        WindowRig::type(w.form.Edit8, "650");
        w.clickItem(w.form.RadioGroup2, 1);
        w.device.clearReceivedFrames();
        w.click(w.form.Button2);
        QCOMPARE(w.panel(1), "Comando enviado");
        w.settle();
        const QByteArray expected =
            QByteArray::fromHex("01 10 00 00 00 0B 16 00 00 00 00 00 00 FF FB 00 00 F8 30 19 64 00 "
                                "01 00 00 00 00 00 00 DC 39");
        QCOMPARE(w.framesSent(), size_t(2)); // the write, then its read-back
        const auto& sent = w.device.receivedFrames().front();
        QCOMPARE(
            QByteArray(reinterpret_cast<const char*>(sent.data()), int(sent.size())).toHex(' '),
            expected.toHex(' '));
        QCOMPARE(w.panel(0), "Conectado");
        QCOMPARE(w.panel(1), "Enviado...");
        QCOMPARE(w.form.Edit6->text(), "-05");
        QCOMPARE(w.device.reg(4), quint16(0xFFFB));
        QCOMPARE(w.device.reg(8), quint16(1));

        for (auto [keys, word] : {std::pair{" 99", 0x0063}, std::pair{"-99", 0xFF9D}}) {
            w.typeZero(QString::fromLatin1(keys));
            w.click(w.form.Button2);
            w.settle();
            QCOMPARE(w.device.reg(4), quint16(word));
        }
        QVERIFY(w.messages.messages.isEmpty());
    }

    void refusedConfigurationsSendNothing_data()
    {
        QTest::addColumn<QString>("zero");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("exception");
        QTest::newRow("zero 10,0") << "10,0"
                                   << "1"
                                   << "2" << kZeroRange << "";
        QTest::newRow("minimum 12,5") << "0,0"
                                      << "12,5"
                                      << "100"
                                      << ""
                                      << "'12,5' não é um valor inteiro válido";
        QTest::newRow("empty maximum") << "1,0"
                                       << "1"
                                       << "" << kInvalid << "";
        QTest::newRow("maximum tenfold too large") << "1,0"
                                                   << "1"
                                                   << "4000" << kInvalid << "";
        QTest::newRow("zero not filled in") << "typed 5"
                                            << "1"
                                            << "2"
                                            << ""
                                            << "'5 , ' não é um valor de ponto flutuante válido";
    }
    void refusedConfigurationsSendNothing()
    {
        QFETCH(QString, zero);
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QFETCH(QString, message);
        QFETCH(QString, exception);
        WindowRig w;
        w.connectAndRead();
        w.click(w.form.transmite);
        w.click(w.form.transmite); // reading on again: the write stops it itself
        if (zero == "typed 5")
            w.typeZero("5");
        else
            w.form.MaskEdit1->setMaskedText(zero);
        w.form.Edit7->setText(lower);
        w.form.Edit8->setText(upper);
        const size_t before = w.framesSent();
        // Called while reading is on: the handler stops it before its checks.
        QString thrown;
        try {
            w.form.Button2Click(w.form.Button2);
        } catch (const std::exception& e) {
            thrown = QString::fromUtf8(e.what());
        }
        QCOMPARE(thrown, exception);
        QCOMPARE(w.messages.messages, message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(w.form.transmite->text(), "Ler");
        QVERIFY(!w.form.Timer1->isActive());
        QCOMPARE(w.framesSent(), before);
    }

    void conversionErrorIsShownAndTheWindowGoesOn()
    {
        WindowRig w;
        w.connectAndRead();
        w.click(w.form.transmite);
        WindowRig::type(w.form.Edit7, "12,5");
        const size_t before = w.framesSent();
        w.click(w.form.Button2);
        QCOMPARE(w.messages.exceptions, QStringList{"'12,5' não é um valor inteiro válido"});
        QCOMPARE(w.framesSent(), before);
        WindowRig::type(w.form.Edit7, "-100");
        w.click(w.form.Button2);
        w.settle();
        QCOMPARE(w.panel(1), "Enviado...");
    }

    void unselectedChoiceIsRefused()
    {
        WindowRig w;
        w.click(w.form.btConectar); // connecting clears the three choices
        w.click(w.form.transmite);
        w.click(w.form.transmite);
        w.form.MaskEdit1->setMaskedText("0,0");
        w.form.Edit7->setText("1");
        w.form.Edit8->setText("2");
        w.click(w.form.Button2);
        QCOMPARE(w.messages.messages, QStringList{kInvalid});
        QCOMPARE(w.framesSent(), size_t(0));
    }

    // On a Termopar K: a reversed range is refused; one the sensor cannot
    // measure goes out only after "Sim".
    void rangeChecksBeforeSending_data()
    {
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("sent");
        const auto row = [](const char* name, const char* lower, const char* upper, bool answer,
                            const char* message, const char* question, bool sent) {
            QTest::newRow(name) << lower << upper << answer << message << question << sent;
        };
        const char* below = "V. Mín. -150°C fora da Faixa do Sensor (-100 a 1370°C).\n"
                            "Enviar assim mesmo?";
        row("1000 to 10 refused", "1000", "10", true, "Erro: V. Mín. deve ser menor que V. Máx.",
            "", false);
        row("below the range, Não", "-150", "1370", false, "", below, false);
        row("below the range, Sim", "-150", "1370", true, "", below, true);
    }
    void rangeChecksBeforeSending()
    {
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QFETCH(bool, answer);
        QFETCH(QString, message);
        QFETCH(QString, question);
        QFETCH(bool, sent);
        WindowRig w;
        w.connectAndRead();
        w.click(w.form.transmite);
        w.clickItem(w.form.RadioGroup1, 2);
        QCOMPARE(w.form.Label14->text(), "-100 a 1370°C");
        WindowRig::type(w.form.Edit7, lower);
        WindowRig::type(w.form.Edit8, upper);
        w.messages.answer = answer;
        w.device.clearReceivedFrames();
        w.click(w.form.Button2);
        w.settle();
        QCOMPARE(w.messages.messages, message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(w.messages.questions, question.isEmpty() ? QStringList{} : QStringList{question});
        QCOMPARE(w.framesSent(), size_t(sent ? 2 : 0)); // a write is read back
        QCOMPARE(w.panel(1) == "Enviado...", sent);
        if (sent)
            QCOMPARE(w.device.reg(6), quint16(0xFA24)); // -1500 tenths
    }

    void failedSendReturnsToDisconnectedAndCanReconnect()
    {
        WindowRig w;
        w.connectAndRead();
        w.device.setFault(Fault::WriteRefused);
        size_t framesDuringMessages = 0;
        w.messages.whileShown = [&] {
            // Ticks still come inside a modal box; they must send nothing.
            w.form.Timer1Timer(w.form.Timer1);
            framesDuringMessages = w.framesSent();
        };
        w.poll();
        QCOMPARE(w.messages.messages, (QStringList{kSendFailed, kOpenFailed}));
        QCOMPARE(framesDuringMessages, size_t(1));
        QCOMPARE(w.panel(0), "Desconectado");
        QCOMPARE(w.panel(1), kArrow0); // a failed send writes no activity text
        QCOMPARE(w.form.btConectar->text(), "Conectar");
        QVERIFY(w.form.btConectar->isEnabled());
        QVERIFY(!w.form.transmite->isEnabled());
        QVERIFY(!w.form.Button2->isEnabled());
        QCOMPARE(w.form.transmite->text(), "Ler");
        QVERIFY(!w.form.Timer1->isActive());
        QCOMPARE(w.form.Edit28->text(), "23,5");
        // The port was released, so the same device opens again.
        w.messages.whileShown = nullptr;
        w.device.setFault(Fault::None);
        w.click(w.form.btConectar);
        QCOMPARE(w.panel(0), "Conectado");
        w.click(w.form.transmite);
        w.poll();
        QCOMPARE(w.panel(1), kArrow1);
    }

    void writeMustBeConfirmed_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("label6");
        QTest::newRow("no echo") << int(Fault::NoReply) << "* Falha de comunicação *";
        QTest::newRow("exception")
            << int(Fault::ExceptionReply) << "* Exceção 4: falha no transmissor *";
        QTest::newRow("spoilt echo") << int(Fault::BadCrc) << " ";
        QTest::newRow("echo from another slave") << int(Fault::OtherSlave) << " ";
        QTest::newRow("echoed, not stored") << int(Fault::IgnoreWrites) << " ";
    }
    void writeMustBeConfirmed()
    {
        QFETCH(int, fault);
        QFETCH(QString, label6);
        WindowRig w;
        w.connectAndRead();
        w.click(w.form.transmite);
        WindowRig::type(w.form.Edit8, "600");
        w.device.setFault(Fault(fault), 4);
        w.click(w.form.Button2);
        w.settle();
        QCOMPARE(w.messages.messages, QStringList{kNotConfirmed});
        QVERIFY(w.panel(1) != "Enviado...");
        QCOMPARE(w.form.Label6->text(), label6);
        QVERIFY(w.form.btConectar->isEnabled());
    }

    void writeFailures()
    {
        WindowRig w;
        w.connectAndRead();
        w.click(w.form.transmite);
        w.device.setFault(Fault::WriteRefused);
        w.click(w.form.Button2);
        QCOMPARE(w.messages.messages, (QStringList{kSendFailed, kOpenFailed}));
        QVERIFY(w.panel(1) != "Enviado...");
        QVERIFY(!w.form.Button2->isEnabled());
        w.messages.messages.clear();
        w.device.setFault(Fault::None);
        w.click(w.form.btConectar);
        w.click(w.form.transmite);
        w.poll();
        w.click(w.form.transmite);
        w.device.setFault(Fault::ReadRefused);
        w.click(w.form.Button2);
        w.settle();
        QCOMPARE(w.messages.messages, (QStringList{kReceiveFailed, kOpenFailed}));
        QCOMPARE(w.panel(0), "Desconectado");
    }

    void clicksWaitForTheWriteInFlight()
    {
        WindowRig w;
        w.connectAndRead();
        w.click(w.form.transmite);
        w.click(w.form.Button2);
        QVERIFY(w.form.writeInFlight());
        w.click(w.form.transmite);
        w.click(w.form.btConectar);
        w.click(w.form.Button2);
        QCOMPARE(w.form.transmite->text(), "Ler");
        QCOMPARE(w.panel(0), "Conectado");
        QCOMPARE(w.framesSent(), size_t(2));
        w.settle();
        QVERIFY(!w.form.writeInFlight());
        QCOMPARE(w.panel(1), "Enviado...");
        w.click(w.form.transmite);
        QCOMPARE(w.form.transmite->text(), "Parar Leitura");
    }

    void disconnectKeepsValuesAndConnectClearsThem()
    {
        WindowRig w;
        w.connectAndRead();
        w.click(w.form.transmite);
        w.click(w.form.btConectar);
        QCOMPARE(w.panel(0), "Desconectado");
        QCOMPARE(w.form.btConectar->text(), "Conectar");
        QCOMPARE(w.form.Edit28->text(), "23,5");
        QCOMPARE(w.form.RadioGroup1->itemIndex(), 0);
        QVERIFY(!w.form.RadioGroup1->isEnabled());
        QVERIFY(!w.form.Edit7->isEnabled());
        QVERIFY(!w.form.Button2->isEnabled());
        QVERIFY(!w.device.isOpen());
        w.click(w.form.btConectar);
        QCOMPARE(w.form.Edit28->text(), "");
        QCOMPARE(w.form.Label14->text(), "");
        QCOMPARE(w.form.RadioGroup1->itemIndex(), -1);
        QVERIFY(!w.form.Edit7->isEnabled()); // enabled again by the next start
    }

    void keyboardOrder()
    {
        WindowRig w;
        w.connectAndRead();
        WindowRig::click(w.form.transmite); // reading off: every control enabled
        w.form.activateWindow();
        w.form.btConectar->setFocus();
        QStringList order;
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            QWidget* group = focus->parentWidget();
            order << (qobject_cast<quorva::ui::RadioGroup*>(group) ? group : focus)->objectName();
        }
        QCOMPARE(order, (QStringList{"RadioGroup1", "RadioGroup2", "RadioGroup3", "Edit28", "Edit7",
                                     "Edit8", "transmite", "Button2", "MaskEdit1", "btConectar"}));
    }

    // Return answers the question with its default, "Não"; only a click on "Sim" sends.
    void questionBoxDefaultsToNao()
    {
        quorva::ui::DialogMessageSink sink;
        for (const char* key : {"Return", "Sim"}) {
            QString seen;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                seen = box->windowTitle() + "|" + box->text();
                for (QAbstractButton* b : box->buttons())
                    seen += "|" + b->text();
                if (QByteArray(key) == "Sim")
                    box->buttons().constFirst()->click();
                else
                    QTest::keyClick(box, Qt::Key_Return);
            });
            QCOMPARE(sink.ask("Enviar assim mesmo?"), QByteArray(key) == "Sim");
            QCOMPARE(seen, "QUORVA-V1.01|Enviar assim mesmo?|Sim|Não");
        }
    }

    void aboutBoxOpensTwiceTheSame()
    {
        WindowRig w;
        QStringList seen;
        for (int i = 0; i < 2; ++i) {
            QTimer::singleShot(0, &w.about, [&] {
                seen << w.about.windowTitle() + "|" + w.about.Version->text() + "|" +
                            w.about.OKButton->text();
                QVERIFY(!w.about.Copyright->text().isEmpty());
                QTest::keyClick(&w.about, Qt::Key_Return);
            });
            w.form.mnSobre->trigger();
        }
        QCOMPARE(seen,
                 (QStringList{"Sobre QUORVA| Versão: 1.01|OK", "Sobre QUORVA| Versão: 1.01|OK"}));
        QCOMPARE(w.about.size(), QSize(268, 125));
    }

    void sairClosesInEveryState()
    {
        auto w = std::make_unique<WindowRig>();
        w->connectAndRead();
        w->form.Timer1Timer(w->form.Timer1); // a reading in flight
        w->form.btSair->trigger();
        QVERIFY(!w->form.isVisible());
        w.reset();
        QTest::qWait(10); // the master's timer must be gone with it
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
