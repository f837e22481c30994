// The window end to end: a named serial port on one end of a socat
// pseudo-terminal pair, Debian's pymodbus serving slave 1 on the other.
#include "link/usbserialdriver.h"
#include "ptypair.h"
#include "windowrig.h"

class TestMainWindowPymodbus : public QObject
{
    Q_OBJECT
private slots:
    void connectReadWriteAgainstPymodbus()
    {
        PtyPair pty;
        QVERIFY2(pty.startPymodbusSlave(), "socat and python3-pymodbus are needed");
        quorva::link::UsbSerialDriver driver(pty.masterEnd());
        quorva::link::DeviceLink link(driver);
        quorva::link::SteadyClock clock;
        quorva::link::ModbusMaster master(link, clock);
        ProgramFlags flags;
        RecordingMessages messages;
        TForm1 form(link, master, flags, messages);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        WindowRig::click(form.btConectar);
        QCOMPARE(form.StatusBar1->panelText(0), "Conectado");
        WindowRig::click(form.transmite);
        form.Timer1Timer(form.Timer1);
        QTRY_COMPARE_WITH_TIMEOUT(form.StatusBar1->panelText(1), "Leitura efetuada -->>", 3000);
        // The slave's registers, as the window shows them.
        QCOMPARE(form.RadioGroup1->itemIndex(), 2); // Termopar K
        QCOMPARE(form.Edit28->text(), "21,7");
        QCOMPARE(form.MaskEdit1->maskedText(), "-0,3");
        QCOMPARE(form.Edit7->text(), "-100");
        QCOMPARE(form.Edit8->text(), "1370");
        QCOMPARE(form.RadioGroup2->itemIndex(), 2);
        QCOMPARE(form.RadioGroup3->itemIndex(), 1);
        QCOMPARE(form.RadioGroup3->items(), (QStringList{"0 a 10 V", "10 a 0 V"}));
        QCOMPARE(form.Label5->text(), "1,23");
        QCOMPARE(form.Label4->text(), "TRV-C");
        QCOMPARE(form.Label14->text(), "-100 a 1370°C");

        WindowRig::click(form.transmite);
        form.MaskEdit1->setFocus();
        QTest::keyClick(form.MaskEdit1, Qt::Key_Home);
        QTest::keyClicks(form.MaskEdit1, " 05");
        WindowRig::type(form.Edit7, "-50");
        auto* item = form.RadioGroup3->findChild<QRadioButton*>("RadioGroup3_item0");
        QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(5, item->height() / 2));
        WindowRig::click(form.Button2);
        QTRY_COMPARE_WITH_TIMEOUT(form.StatusBar1->panelText(1), "Enviado...", 3000);
        QVERIFY(messages.messages.isEmpty());
        const QList<int> registers = pty.slaveRegisters();
        QCOMPARE(registers.mid(0, 11), (QList<int>{0, 0, 0, 5, 2, 0xFE0C, 13700, 2, 0, 0, 0}));
    }
};

QTEST_MAIN(TestMainWindowPymodbus)
#include "tst_mainwindow_pymodbus.moc"
