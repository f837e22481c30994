// The reasons a technician reads when the cable will not open or stops
// working: what the serial layer's errors become, and the texts themselves.
#include "link/linkfailure.h"

#include <QtTest>

using quorva::link::FailureKind;
using quorva::link::LinkFailure;

class TestLinkFailure : public QObject
{
    Q_OBJECT
private slots:
    // A port held elsewhere and a forbidden port both come as a permission error.
    void classify_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<bool>("mayReadWrite");
        QTest::addColumn<FailureKind>("kind");
        QTest::newRow("opened") << QSerialPort::NoError << true << FailureKind::None;
        QTest::newRow("missing") << QSerialPort::DeviceNotFoundError << true
                                 << FailureKind::PortNotFound;
        QTest::newRow("locked by another") << QSerialPort::PermissionError << true
                                           << FailureKind::PortBusy;
        QTest::newRow("not in dialout") << QSerialPort::PermissionError << false
                                        << FailureKind::PermissionDenied;
        QTest::newRow("other") << QSerialPort::OpenError << true << FailureKind::OpenFailed;
    }
    void classify()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(bool, mayReadWrite);
        QFETCH(FailureKind, kind);
        QCOMPARE(quorva::link::classifyOpenError(error, mayReadWrite), kind);
    }

    // The code for scripts, the reason inside a line, the box's text beneath.
    void texts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("explanation");
        const auto row = [](const char* name, FailureKind kind,
                            QStringList ports = {}) -> QTestData& {
            return QTest::newRow(name) << int(kind) << ports;
        };
        row("nothing failed", FailureKind::None) << "" << "" << "";
        row("no cable, no port", FailureKind::NoCable)
            << "port-not-found" << "nenhum cabo USB-serial encontrado"
            << "Nenhum cabo USB-serial encontrado.\nNenhuma porta serial presente.\n"
               "Conecte o cabo do transmissor e clique em Conectar.";
        row("no cable, other ports", FailureKind::NoCable, {"/dev/ttyS0", "/dev/ttyACM0"})
            << "port-not-found" << "nenhum cabo USB-serial encontrado"
            << "Nenhum cabo USB-serial encontrado.\nPortas seriais presentes: /dev/ttyS0, "
               "/dev/ttyACM0; para usar uma delas: quorva --port NOME.\n"
               "Conecte o cabo do transmissor e clique em Conectar.";
        row("no permission", FailureKind::PermissionDenied)
            << "permission-denied" << "sem permissão para abrir a porta (grupo dialout)"
            << "/dev/ttyUSB0: sem permissão para abrir a porta (grupo dialout).\n"
               "Adicione o usuário ao grupo dialout e entre de novo na sessão:\n"
               "sudo usermod -aG dialout $USER";
        row("busy", FailureKind::PortBusy)
            << "port-busy" << "porta em uso por outro programa"
            << "/dev/ttyUSB0: porta em uso por outro programa.\nFeche o outro programa (outra "
               "janela do QUORVA, um terminal serial) e tente de novo.";
        row("gone", FailureKind::PortGone)
            << "port-gone" << "a porta deixou de responder (cabo desconectado?)"
            << "/dev/ttyUSB0: a porta deixou de responder (cabo desconectado?).\n"
               "Confira o cabo e clique em Conectar.";
        row("other", FailureKind::OpenFailed)
            << "open-failed" << "Input/output error" << "/dev/ttyUSB0: Input/output error.";
    }
    void texts()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, ports);
        QFETCH(QString, code);
        QFETCH(QString, reason);
        QFETCH(QString, explanation);
        const LinkFailure failure{FailureKind(kind),
                                  kind == int(FailureKind::NoCable) ? QString() : "/dev/ttyUSB0",
                                  ports, "Input/output error"};
        QCOMPARE(quorva::link::failureCode(failure.kind), code);
        QCOMPARE(quorva::link::failureReason(failure), reason);
        QCOMPARE(quorva::link::failureExplanation(failure), explanation);
    }
};

QTEST_GUILESS_MAIN(TestLinkFailure)
#include "tst_linkfailure.moc"
