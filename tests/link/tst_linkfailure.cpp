// The reasons a technician reads when the cable will not open or stops
// working: each one's words as the command line prints them (its outcome
// code is the command line's, tests/cli/tst_records.cpp), and
// the texts beneath the window's message that its tests do not meet on a
// real port (tests/ui/tst_mainwindow_serial.cpp meets the others).
#include "link/linkfailure.h"

#include <QtTest>

using namespace quorva::link;

class TestLinkFailure : public QObject
{
    Q_OBJECT
private slots:
    void reasons()
    {
        // Each row: the kind, its reason.
        const std::pair<FailureKind, const char*> rows[] = {
            {FailureKind::None, ""},
            {FailureKind::NoCable, "nenhum cabo USB-serial encontrado"},
            {FailureKind::PortNotFound, "porta não encontrada"},
            {FailureKind::PermissionDenied, "sem permissão para abrir a porta (grupo dialout)"},
            {FailureKind::PortBusy, "porta em uso por outro programa"},
            {FailureKind::PortGone, "a porta deixou de responder (cabo desconectado?)"},
            {FailureKind::OpenFailed, "erro de entrada e saída"},
        };
        for (const auto& [kind, reason] : rows) {
            const LinkFailure failure{kind, "/dev/ttyUSB0", {}, "Input/output error"};
            QCOMPARE(failureReason(failure), QString::fromUtf8(reason));
        }
    }

    void explanations()
    {
        QCOMPARE(failureExplanation({FailureKind::NoCable, {}, {"/dev/ttyS0", "/dev/ttyACM0"}, {}}),
                 "Nenhum cabo USB-serial encontrado.\nPortas seriais presentes: /dev/ttyS0, "
                 "/dev/ttyACM0; para usar uma delas: quorva --port NOME.\n"
                 "Conecte o cabo do transmissor e clique em Conectar.");
        QCOMPARE(failureExplanation({FailureKind::NoCable, {}, {}, {}}),
                 "Nenhum cabo USB-serial encontrado.\nNenhuma porta serial presente.\n"
                 "Conecte o cabo do transmissor e clique em Conectar.");
        QCOMPARE(
            failureExplanation({FailureKind::OpenFailed, "/dev/ttyUSB0", {}, "Input/output error"}),
            "/dev/ttyUSB0: erro de entrada e saída.");
        QCOMPARE(failureExplanation({}), QString());
    }
};

QTEST_GUILESS_MAIN(TestLinkFailure)
#include "tst_linkfailure.moc"
