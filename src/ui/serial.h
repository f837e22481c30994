#pragma once

#include "link/devicelink.h"
#include "link/modbusmaster.h"
#include "transmitter/registermap.h"
#include "ui/messagesink.h"

#include <QMainWindow>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QTimer;
class TAboutBox1;

namespace quorva::ui {
class MaskEdit;
class RadioGroup;
class StatusPanels;
} // namespace quorva::ui

// Flags that live for the whole program, beside the device link.
struct ProgramFlags
{
    int PollingActive = 0;     // periodic reading on
    int OptionListsBuilt = 0;  // 0: the next reading rebuilds the option lists
    qint8 StatusAnimation = 0; // steps the reading texts of status panel 1
};

// The main window: connect, watch the transmitter live, edit and send its
// configuration. Handlers keep their designer names and call the layers below.
class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    TForm1(quorva::link::DeviceLink& link, quorva::link::ModbusMaster& master, ProgramFlags& flags,
           quorva::ui::MessageSink& messages, QWidget* parent = nullptr);

    void setAboutBox(TAboutBox1* aboutBox) { m_aboutBox = aboutBox; }

    // Components, by their designer names.
    quorva::ui::RadioGroup* RadioGroup1;
    quorva::ui::RadioGroup* RadioGroup2;
    quorva::ui::RadioGroup* RadioGroup3;
    QGroupBox* GroupBox1;
    QGroupBox* GroupBox2;
    QGroupBox* GroupBox9;
    QGroupBox* GroupBox11;
    QGroupBox* GroupBox14;
    QPushButton* btConectar;
    QPushButton* transmite;
    QPushButton* Button2;
    QLineEdit* Edit28;
    QLineEdit* Edit7;
    QLineEdit* Edit8;
    QLineEdit* Edit6;
    quorva::ui::MaskEdit* MaskEdit1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label8;
    QLabel* Label10;
    QLabel* Label11;
    QLabel* Label12;
    QLabel* Label13;
    QLabel* Label14;
    QLabel* Label15;
    QLabel* Label16;
    QLabel* Label18;
    QLabel* Label19;
    quorva::ui::StatusPanels* StatusBar1;
    QMenuBar* menu;
    QAction* btSair;
    QAction* mnSobre;
    QTimer* Timer1;

    quorva::transmitter::WriteImage WriteImage{};
    // The window's own view of the link: connected by its button, and the
    // status of the last open, write or read, which gates every request.
    quint8 Connected = 0;
    quorva::link::DriverStatus LinkStatus = quorva::link::DriverStatusCode::Ok;

    // Event handlers.
    void FormShow(QObject* Sender);
    void btConectarClick(QObject* Sender);
    void transmiteClick(QObject* Sender);
    void Timer1Timer(QObject* Sender);
    void RadioGroup1Click(QObject* Sender);
    void Button2Click(QObject* Sender);
    void btSairClick(QObject* Sender);
    void mnSobreClick(QObject* Sender);

    void UpdateRangeCaptions();
    void LinkFailureReset();

    bool writeInFlight() const { return m_write != WriteStage::Idle; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildComponents();
    void connectHandlers();
    void applyKeyboardOrder();
    template <typename Handler> void dispatch(Handler&& handler);

    void returnToDisconnected(const QString& failureMessage);
    void onTransactionFinished(const quorva::link::TransactionResult& result);
    void showReceiveStatus(const quorva::link::TransactionResult& result);
    void DecodeReadReply(const quorva::link::TransactionResult& result);
    void finishConfigurationWrite(const quorva::link::TransactionResult& result);
    void verifyConfigurationWrite(const quorva::link::TransactionResult& result);

    quorva::link::DeviceLink& m_link;
    quorva::link::ModbusMaster& m_master;
    ProgramFlags& m_flags;
    quorva::ui::MessageSink& m_messages;
    TAboutBox1* m_aboutBox = nullptr;
    bool m_shown = false;
    // A configuration write waits for its echo, then reads the registers back:
    // "Enviado..." only once the transmitter holds what was sent.
    enum class WriteStage { Idle, AwaitingEcho, ReadingBack };
    WriteStage m_write = WriteStage::Idle;
    qint32 m_optionListsModel = 0; // the model code the option lists were built for
};
