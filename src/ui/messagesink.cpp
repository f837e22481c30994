#include "messagesink.h"

#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace quorva::ui {

void DialogMessageSink::showMessage(const QString& text)
{
    showMessageWithReason(text, QString());
}

void DialogMessageSink::showMessageWithReason(const QString& text, const QString& reason)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kApplicationTitle), text,
                    QMessageBox::Ok, m_parent);
    // A command in the reason (the dialout one) can be selected and copied.
    box.setInformativeText(reason);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
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

void PrintedMessageSink::showMessageWithReason(const QString& text, const QString& reason)
{
    showMessage(reason.isEmpty() ? text : text + u'\n' + reason);
}

bool PrintedMessageSink::ask(const QString& text)
{
    showMessage(text);
    return false;
}

} // namespace quorva::ui
