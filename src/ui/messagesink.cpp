#include "messagesink.h"

#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace quorva::ui {

void DialogMessageSink::showMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kApplicationTitle), text,
                    QMessageBox::Ok, m_parent);
    box.exec();
}

bool DialogMessageSink::ask(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kApplicationTitle), text,
                    QMessageBox::NoButton, m_parent);
    QPushButton* yes = box.addButton(QStringLiteral("Sim"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Não"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void DialogMessageSink::showException(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle), text,
                    QMessageBox::Ok, m_parent);
    box.exec();
}

void PrintedMessageSink::showMessage(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

bool PrintedMessageSink::ask(const QString& text)
{
    showMessage(text);
    return false;
}

} // namespace quorva::ui
