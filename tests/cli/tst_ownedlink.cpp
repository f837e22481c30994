// Simulators started together on the path of a link that a killed simulator
// left: exactly one takes it over, the others are refused.
#include "cli/ownedlink.h"

#include <QtTest>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using quorva::cli::OwnedLink;

class TestOwnedLink : public QObject
{
    Q_OBJECT
private slots:
    void oneOfManyTakesOverAStaleLink()
    {
        constexpr int kTrials = 150, kContenders = 4;
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.filePath("transmitter"));
        for (int trial = 0; trial < kTrials; ++trial) {
            ::unlink(path.constData());
            // A pseudo-terminal that no longer exists.
            QCOMPARE(::symlink("/dev/pts/99999", path.constData()), 0);
            // Children wait at `start`, race, report on `done`, and hold their
            // pseudo-terminals (as running simulators do) until `end` closes.
            int start[2], done[2], end[2];
            QVERIFY(::pipe(start) == 0 && ::pipe(done) == 0 && ::pipe(end) == 0);
            std::vector<pid_t> children;
            for (int i = 0; i < kContenders; ++i) {
                const pid_t pid = ::fork();
                if (pid == 0) {
                    for (const int fd : {start[1], done[0], end[1]})
                        ::close(fd);
                    const int pty = ::posix_openpt(O_RDWR | O_NOCTTY);
                    ::grantpt(pty);
                    ::unlockpt(pty);
                    const QString target = QString::fromLatin1(::ptsname(pty));
                    char byte = 0;
                    (void)::read(start[0], &byte, 1);
                    auto* link = new OwnedLink; // kept, as by a simulator still running
                    QString error;
                    const int outcome =
                        link->create(QFile::decodeName(path), target, &error) ? 10 + i
                        : error.endsWith("já existe e não será substituído; escolha outro "
                                         "caminho")
                            ? 0
                            : 1;
                    (void)::write(done[1], &byte, 1);
                    (void)::read(end[0], &byte, 1);
                    ::_exit(outcome);
                }
                children.push_back(pid);
            }
            for (const int fd : {start[0], start[1], done[1], end[0]})
                ::close(fd);
            char byte;
            for (int i = 0; i < kContenders; ++i)
                QCOMPARE(::read(done[0], &byte, 1), 1);
            const QString linked = QFile::symLinkTarget(QFile::decodeName(path));
            ::close(done[0]);
            ::close(end[1]);
            QList<int> winners;
            for (const pid_t pid : children) {
                int status = 0;
                ::waitpid(pid, &status, 0);
                QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) != 1);
                if (WEXITSTATUS(status) >= 10)
                    winners << WEXITSTATUS(status) - 10;
            }
            QCOMPARE(winners.size(), 1);
            QVERIFY(linked.startsWith("/dev/pts/"));
        }
    }
};

QTEST_APPLESS_MAIN(TestOwnedLink)
#include "tst_ownedlink.moc"
