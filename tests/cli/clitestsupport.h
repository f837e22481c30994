// What the command line's, the campaign's and the report's tests share: the
// program they run, files written whole and read back, programs run to their
// end, and a report's text as a reader sees it.
#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTextDocument>

inline const QString cli = qEnvironmentVariable("QUORVA_CLI");

inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

// Empty when the file cannot be read.
inline QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Run
{
    int status = -1; // -1: killed, or still running when no longer waited for
    QString out, err;
};

// `program` run to its end, from `folder` when one is given, waited for `waitMs`.
inline Run run(const QString& program, const QStringList& args, const QString& folder = {},
               int waitMs = 30000)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, args);
    const bool exited = p.waitForFinished(waitMs) && p.exitStatus() == QProcess::NormalExit;
    return {exited ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The text a reader sees: a PDF's through pdftotext (`raw`: each cell whole,
// in the order drawn), a page's through its markup.
inline QString shownText(const QString& path, bool raw = false)
{
    if (path.endsWith(".pdf")) {
        const QStringList args = raw ? QStringList{"-raw", path, "-"} : QStringList{path, "-"};
        return run("pdftotext", args).out.simplified();
    }
    QTextDocument page;
    page.setHtml(QString::fromUtf8(contentOf(path)));
    return page.toPlainText().simplified();
}
