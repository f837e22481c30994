// The reasons a technician reads when the cable will not open or stops
// working: each one's code and words as the command line prints them, and
// the texts beneath the window's message that its tests do not meet on a
// real port (tests/ui/tst_mainwindow_serial.cpp meets the others).
#include "link/linkfailure.h"

#include <QtTest>

using namespace quorva::link;

class TestLinkFailure : public QObject
{
    Q_OBJECT
private slots:
    void codesAndReasons()
    {
        // Each row: the kind, its code, its reason.
        const std::tuple<FailureKind, const char*, const char*> rows[] = {
            {FailureKind::None, "", ""},
            {FailureKind::NoCable, "port-not-found", "nenhum cabo USB-serial encontrado"},
            {FailureKind::PortNotFound, "port-not-found", "porta não encontrada"},
            {FailureKind::PermissionDenied, "permission-denied",
             "sem permissão para abrir a porta (grupo dialout)"},
            {FailureKind::PortBusy, "port-busy", "porta em uso por outro programa"},
            {FailureKind::PortGone, "port-gone",
             "a porta deixou de responder (cabo desconectado?)"},
            {FailureKind::OpenFailed, "open-failed", "erro de entrada e saída"},
        };
        for (const auto& [kind, code, reason] : rows) {
            const LinkFailure failure{kind, "/dev/ttyUSB0", {}, "Input/output error"};
            QCOMPARE(failureCode(kind), QString::fromUtf8(code));
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
