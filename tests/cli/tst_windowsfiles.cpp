// The command line's files on Windows (systemfiles_windows.cpp), run under
// wine: the names Windows keeps for devices are never taken for files, a
// record line reaches the disk with its bare line feed, and the system's
// reasons read in Portuguese. The reserved names are Microsoft's ("Naming
// Files, Paths, and Namespaces"), written out here.
#include "cli/outputfile.h"
#include "cli/systemfiles.h"
#include "link/systemerror_platform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

using namespace quorva::cli;

class TestWindowsFiles : public QObject
{
    Q_OBJECT

private slots:
    void deviceNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("refused");
        for (const char* name :
             {"NUL", "nul.txt", "CON", "con.pdf", "PRN", "AUX", "COM1", "C:\\dados\\COM1.log",
              "c:/dados/lpt9.html", "CONOUT$", "COM1:", "NUL .jsonl", "\\\\.\\COM5", "\\\\?\\COM5"})
            QTest::newRow(name) << QString::fromLatin1(name) << true;
        QTest::newRow("COM superscript one") << QStringLiteral("COM¹.txt") << true;
        for (const char* name : {"console.txt", "COM10.csv", "nulo.jsonl", "C:\\dados\\lote.jsonl",
                                 "\\\\?\\C:\\dados\\lote.jsonl", "relatório.pdf", "CON-01.csv"})
            QTest::newRow(name) << QString::fromLatin1(name) << false;
    }
    void deviceNames()
    {
        QFETCH(QString, path);
        QFETCH(bool, refused);
        QCOMPARE(!deviceNameRefusal(path).isEmpty(), refused);
    }

    // What is not a regular file of the disk is refused by name before it is
    // opened, or by what it is once opened; a missing file says so.
    void opensOnlyRegularFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("reason");
        QTest::newRow("NUL") << "NUL" << int(O_WRONLY | O_APPEND | O_CREAT)
                             << "é um nome de dispositivo do Windows (NUL), não um arquivo";
        QTest::newRow("COM1 with extension")
            << "com1.jsonl" << int(O_RDONLY)
            << "é um nome de dispositivo do Windows (COM1), não um arquivo";
        QTest::newRow("folder") << "pasta" << int(O_RDONLY) << "é uma pasta";
        QTest::newRow("missing") << "falta.json" << int(O_RDONLY) << "não existe";
        QTest::newRow("missing folder")
            << "falta\\lote.jsonl" << int(O_WRONLY | O_CREAT) << "a pasta não existe";
    }
    void opensOnlyRegularFiles()
    {
        QFETCH(QString, name);
        QFETCH(int, flags);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("pasta"));
        const QString path = name == "NUL" ? name : dir.filePath(name);
        QString why;
        QCOMPARE(openRegularFile(path, flags, &why), -1);
        QCOMPARE(why, reason);
    }

    // A record line lands whole, with a bare line feed, after what the file
    // held; the descriptor names its file.
    void appendsWholeLines()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lote.jsonl");
        {
            QFile earlier(path);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("{\"row\":1}\n");
        }
        LineFile record;
        QVERIFY2(record.open(path), qPrintable(record.errorText()));
        QVERIFY(record.appendLine("{\"row\":2,\"tag\":\"TT-101\"}"));
        QVERIFY(record.appendLine("{\"row\":3}"));
        QVERIFY(record.close());
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(),
                 QByteArray("{\"row\":1}\n{\"row\":2,\"tag\":\"TT-101\"}\n{\"row\":3}\n"));

        QString why;
        const int fd = openRegularFile(path, O_RDONLY, &why);
        QVERIFY2(fd >= 0, qPrintable(why));
        QCOMPARE(QFileInfo(descriptorPath(fd)).canonicalFilePath(),
                 QFileInfo(path).canonicalFilePath());
        ::_close(fd);
    }

    // Another program holding the record's lock is waited for, then named.
    void waitsForAnotherProgramsLock()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lote.jsonl");
        LineFile first;
        QVERIFY(first.open(path));
        QString why;
        const int other = openRegularFile(path, O_WRONLY | O_APPEND, &why);
        QVERIFY2(other >= 0, qPrintable(why));
        QCOMPARE(tryLockFile(other), FileLock::Taken);
        QVERIFY(!first.appendLine("{\"row\":1}"));
        QCOMPARE(first.errorText(), "bloqueado por outro programa");
        unlockFile(other);
        ::_close(other);
        QVERIFY(first.appendLine("{\"row\":1}"));
    }

    // The system's reasons in Portuguese: by code, and from the words Qt
    // gives a file that failed.
    void systemReasonsInPortuguese_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("sharing") << int(ERROR_SHARING_VIOLATION) << "em uso por outro programa";
        QTest::newRow("disk full") << int(ERROR_DISK_FULL) << "sem espaço no disco";
        QTest::newRow("access") << int(ERROR_ACCESS_DENIED) << "acesso negado";
        QTest::newRow("removed") << int(ERROR_DEVICE_REMOVED) << "o dispositivo foi removido";
        QTest::newRow("no text of its own") << 4242 << "erro do Windows 4242";
    }
    void systemReasonsInPortuguese()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(systemErrorText(quorva::link::windowsError(DWORD(code))), text);
    }

    void qtsWordsOfAFailedFile()
    {
        QTemporaryDir dir;
        QFile missing(dir.filePath("falta.json"));
        QVERIFY(!missing.open(QIODevice::ReadOnly));
        QCOMPARE(systemErrorText(errorNumberOfText(missing.errorString())), "não existe");
    }
};

QTEST_GUILESS_MAIN(TestWindowsFiles)
#include "tst_windowsfiles.moc"
