// The window program's end with the user's Windows session
// (quitsignals_windows.cpp), under wine with Windows' own platform on a
// virtual display: WM_ENDSESSION, as Windows sends it to each top-level
// window when the session ends, is heard once; one that says the session
// goes on (wParam FALSE) is not.
#include "ui/quitsignals.h"

#include <QSignalSpy>
#include <QWidget>
#include <QtTest>
#include <windows.h>

class TestQuitSignals : public QObject
{
    Q_OBJECT

private slots:
    void sessionEndIsHeardOnce()
    {
        QWidget first;
        QWidget second;
        first.show();
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QVERIFY(QTest::qWaitForWindowExposed(&second));
        quorva::ui::QuitSignals quit;
        QSignalSpy received(&quit, &quorva::ui::QuitSignals::received);
        const auto send = [](QWidget& window, WPARAM ending) {
            ::SendMessageW(reinterpret_cast<HWND>(window.winId()), WM_ENDSESSION, ending, 0);
        };
        send(first, FALSE);
        QCOMPARE(received.count(), 0);
        send(first, TRUE);
        QCOMPARE(received.count(), 1); // at once: the process may end right after
        send(second, TRUE);
        QCOMPARE(received.count(), 1);
    }
};

QTEST_MAIN(TestQuitSignals)
#include "tst_quitsignals_windows.moc"
