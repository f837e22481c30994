#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The about box: the program's name and version.
class TAboutBox1 : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutBox1(QWidget* parent = nullptr);

    QFrame* Sobre;
    QLabel* Version;
    QLabel* Copyright;
    QPushButton* OKButton;

    void FormShow(QObject* Sender);

protected:
    void showEvent(QShowEvent* event) override;
};
