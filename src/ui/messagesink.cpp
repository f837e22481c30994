#include "messagesink.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace quorva::ui {

namespace {
constexpr int kReasonWidth = 440;
}

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
    // Wide enough that the command stays on one line: the box otherwise
    // wraps its texts to the width of the short message above them.
    if (!reason.isEmpty())
        if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
            grid->addItem(
                new QSpacerItem(kReasonWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                grid->rowCount(), 0, 1, grid->columnCount());
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
