#include "sobre.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

TAboutBox1::TAboutBox1(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox1"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(268, 125);
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);
    setFont(font);

    Sobre = new QFrame(this);
    Sobre->setObjectName(QStringLiteral("Sobre"));
    Sobre->setGeometry(8, 8, 252, 73);
    Sobre->setFrameShape(QFrame::Panel);
    Sobre->setFrameShadow(QFrame::Sunken);
    Sobre->setLineWidth(2);

    Version = new QLabel(Sobre);
    Version->setObjectName(QStringLiteral("Version"));
    Version->move(8, 11);
    Copyright = new QLabel(Sobre);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->move(8, 30);

    OKButton = new QPushButton(this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(95, 87, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox1::showEvent(QShowEvent* event)
{
    FormShow(this);
    QDialog::showEvent(event);
}

void TAboutBox1::FormShow(QObject* /*Sender*/)
{
    setWindowTitle(QStringLiteral("Sobre QUORVA"));
    Version->setText(QStringLiteral(" Versão: 1.01"));
    Copyright->setText(QStringLiteral("Copyright © 2016 QUORVA"));
    OKButton->setText(QStringLiteral("OK"));
    Version->adjustSize();
    Copyright->adjustSize();
}
