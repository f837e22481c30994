#include "messagesink.h"

#include <QMessageBox>

namespace quorva::ui {

void DialogMessageSink::showMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kApplicationTitle), text,
                    QMessageBox::Ok, m_parent);
    box.exec();
}

void DialogMessageSink::showException(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle), text,
                    QMessageBox::Ok, m_parent);
    box.exec();
}

} // namespace quorva::ui
