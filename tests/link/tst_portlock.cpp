// The port lock and the note beside it: any two names of one device are one
// port, another device is not, a note outlives its holder but only for the
// node it was written for, and the note's text reads as written out here.
#include "link/linenote.h"
#include "link/portlock.h"

#include <QtTest>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorva::link;

namespace {
// A pseudo-terminal of its own, closed as it goes: `name` is its node. Its
// number may be one that another program, its own gone, still holds the lock
// of (a test run beside this one): such numbers are passed over.
struct Pty
{
    int master = -1, slave = -1;
    QString name;
    Pty()
    {
        std::vector<std::pair<int, int>> passed;
        for (int tries = 0; tries < 16 && name.isEmpty(); ++tries) {
            char path[128] = {};
            if (::openpty(&master, &slave, path, nullptr, nullptr) != 0)
                break;
            if (PortLock().take(QString::fromLatin1(path)) == PortLock::Outcome::Taken)
                name = QString::fromLatin1(path);
            else
                passed.emplace_back(master, slave);
        }
        for (const auto& [m, s] : passed)
            ::close(s), ::close(m);
    }
    ~Pty()
    {
        ::close(slave);
        ::close(master);
    }
};
} // namespace

class TestPortLock : public QObject
{
    Q_OBJECT

private slots:
    void anyNameOfTheDeviceIsOneLock()
    {
        Pty pty, other;
        QVERIFY(!pty.name.isEmpty() && !other.name.isEmpty());
        QTemporaryDir dir;
        const QString link = dir.filePath("transmitter");
        QVERIFY(QFile::link(pty.name, link));
        PortLock first, second, third;
        QCOMPARE(first.take(link), PortLock::Outcome::Taken);
        QCOMPARE(second.take(pty.name), PortLock::Outcome::Busy);
        QCOMPARE(second.take(link), PortLock::Outcome::Busy);
        QCOMPARE(third.take(other.name), PortLock::Outcome::Taken);
        first.release();
        QCOMPARE(second.take(pty.name), PortLock::Outcome::Taken);
        // No device to lock: a file, a name that leads nowhere, and the
        // multiplexer that makes a new pseudo-terminal at every open.
        for (const QString& none : {dir.filePath("missing"), QCoreApplication::applicationFilePath(),
                                    QStringLiteral("/dev/ptmx")}) {
            QCOMPARE(first.take(none), PortLock::Outcome::Unguarded);
            QVERIFY(!first.held());
        }
    }

    void noteFollowsTheNode()
    {
        Pty pty;
        QByteArray kept;
        {
            PortLock lock;
            QCOMPARE(lock.take(pty.name), PortLock::Outcome::Taken);
            lock.keepNote("quorva-line 1\n");
        }
        PortLock next;
        QCOMPARE(next.take(pty.name), PortLock::Outcome::Taken);
        QCOMPARE(next.note(), "quorva-line 1\n");
        next.release();
        // The node made again (its change time moves, as for a new
        // pseudo-terminal of the same number or an adapter plugged in again).
        QTest::qWait(10);
        QVERIFY(::chmod(QFile::encodeName(pty.name).constData(), 0620) == 0);
        QCOMPARE(next.take(pty.name), PortLock::Outcome::Taken);
        QCOMPARE(next.note(), "");
    }

    // The note as another master wrote it, read at monotonic time 1500.
    void lineNoteReads_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("read"); // "ageMs [in-use] [readings-only] | function start
                                           // quantity ageMs [resync]..." or "none"
        const auto row = [](const char* name, const char* text, const char* read) {
            QTest::newRow(name) << QByteArray(text) << QString::fromLatin1(read);
        };
        row("quiet", "quorva-line 1\nwritten 1000\n", "500");
        row("a reading and a resync unanswered",
            "quorva-line 1\nwritten 1200\nunanswered 3 0 37 200\nunanswered 3 0 5 40 resync\n",
            "300 | 3 0 37 500 | 3 0 5 340 resync");
        row("a write unanswered, the device answering readings alone",
            "quorva-line 1\nwritten 1500\nunanswered 16 0 11 0\nreadings-only\n",
            "0 readings-only | 16 0 11 0");
        row("held, never let go", "quorva-line 1\nwritten 100\nin-use\n", "1400 in-use");
        row("written after now (the machine started again)", "quorva-line 1\nwritten 1600\n",
            "none");
        row("another form", "quorva-line 2\nwritten 1000\n", "none");
        row("a word not understood", "quorva-line 1\nwritten 1000\nunanswered 3 0 x 5\n", "none");
        row("empty", "", "none");
    }
    void lineNoteReads()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, read);
        const std::optional<LineNote> note = decodeLineNote(text, 1500);
        QString shown = QStringLiteral("none");
        if (note) {
            shown = QString::number(note->ageMs) + (note->inUse ? " in-use" : "") +
                    (note->readingsOnly ? " readings-only" : "");
            for (const LineNote::Request& r : note->unanswered)
                shown += QString::asprintf(" | %d %d %d %lld%s", r.function, r.startAddress,
                                           r.quantity, r.ageMs, r.resync ? " resync" : "");
        }
        QCOMPARE(shown, read);
    }

    void lineNoteWritten()
    {
        LineNote note;
        note.unanswered = {{3, 0, 37, 250, false}, {3, 0, 2, 10, true}};
        note.readingsOnly = true;
        note.ageMs = 50;
        QCOMPARE(encodeLineNote(note, 2000), "quorva-line 1\nwritten 1950\nunanswered 3 0 37 250\n"
                                             "unanswered 3 0 2 10 resync\nreadings-only\n");
    }
};

QTEST_GUILESS_MAIN(TestPortLock)
#include "tst_portlock.moc"
