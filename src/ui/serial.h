#pragma once

#include "link/devicelink.h"
#include "link/modbusmaster.h"
#include "transmitter/registermap.h"
#include "transmitter/trendseries.h"
#include "transmitter/writeprocedure.h"
#include "ui/messagesink.h"

#include <QDateTime>
#include <QMainWindow>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QTimer;
class TAboutBox1;

namespace quorva::transmitter {
struct ReadingReport;
} // namespace quorva::transmitter

namespace quorva::ui {
class MaskEdit;
class RadioGroup;
class StatusPanels;
class TrendWindow;
} // namespace quorva::ui

// What lives for the whole program beside the device link. Whether reading
// is on and whether the option lists are built are the window's own state
// (its phase, and the lists it shows).
struct ProgramFlags
{
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

    // Event handlers.
    void FormShow(QObject* Sender);
    void btConectarClick(QObject* Sender);
    void transmiteClick(QObject* Sender);
    void Timer1Timer(QObject* Sender);
    void RadioGroup1Click(QObject* Sender);
    void Button2Click(QObject* Sender);
    void btSairClick(QObject* Sender);
    void mnSobreClick(QObject* Sender);
    void mnTendenciaClick(QObject* Sender);

    void UpdateRangeCaptions();
    void LinkFailureReset();

    // A configuration write waits for its echo or reads back: the write's own step.
    bool writeInFlight() const { return m_write.active(); }

    // Every reading the window takes, failed ones and the time readings were
    // stopped as gaps, across connections, until the trend window's "Limpar";
    // it keeps collecting while the trend window is closed.
    const quorva::transmitter::TrendSeries& trend() const { return m_trend; }
    quorva::ui::TrendWindow* trendWindow() const { return m_trendWindow; }

signals:
    void trendChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
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
    QAction* mnTendencia;
    QTimer* Timer1;

    quorva::transmitter::WriteImage WriteImage{};
    // The status of the last open, write or read, which gates every request.
    quorva::link::DriverStatus LinkStatus = quorva::link::DriverStatusCode::Ok;

    // What the window is doing: the one source of every enable state and of
    // the captions of btConectar and transmite, and of Timer1. A write in
    // flight keeps the phase it starts from (reading stopped); its own step
    // says where it is.
    enum class Phase {
        Disconnected, // the port closed: "Conectar" is the way on
        LinkLost,     // the link just failed: the way out is shown once its message is read
        Connected,    // open, not read since the connect
        Stopped,      // reading stopped: the configuration may be sent
        Reading,      // reading once a second
    };
    struct WindowState
    {
        Phase phase = Phase::Disconnected;
        // The configuration's fields open with the first reading and close
        // only at a disconnect by the button: a lost link leaves them as they are.
        bool fieldsOpen = false;
    };
    void enter(Phase phase);
    void showState();
    bool linkUp() const
    {
        return m_state.phase != Phase::Disconnected && m_state.phase != Phase::LinkLost;
    }

    void buildComponents();
    void buildReadingAge();
    void buildMenu();
    void buildChoices(QWidget* client);
    void buildReadings(QWidget* client);
    void buildButtons(QWidget* client);
    void fitLabels();
    void connectHandlers();
    void applyKeyboardOrder();
    template <typename Handler> void dispatch(Handler&& handler);

    void openLink();
    void closeLink();
    void returnToDisconnected(const QString& failureMessage);
    void onTransactionFinished(const quorva::link::TransactionResult& result);
    void showReceiveStatus(const quorva::link::TransactionResult& result);
    void DecodeReadReply(const quorva::link::TransactionResult& result);
    void showReading(const quorva::transmitter::ReadingReport& reading);
    void addFailedReading(const quorva::link::TransactionResult& result);
    // The measured value as of the last good reading: greyed, with its time,
    // while readings fail; as it is again with the next good one.
    void showReadingAge(bool stale);
    void showOptionLists(const quorva::transmitter::ReadingReport& reading);
    bool prepareWrite();
    void showWriteSent();
    void showEchoed(const quorva::link::TransactionResult& echo);
    void showConfigurationWritten(const quorva::transmitter::WriteReport& report);

    quorva::link::DeviceLink& m_link;
    quorva::link::ModbusMaster& m_master;
    ProgramFlags& m_flags;
    quorva::ui::MessageSink& m_messages;
    // Connected to the master's results after the window's own handler, per write.
    quorva::transmitter::ConfigurationWrite m_write{m_master};
    TAboutBox1* m_aboutBox = nullptr;
    quorva::transmitter::TrendSeries m_trend;
    quorva::ui::TrendWindow* m_trendWindow = nullptr; // made at its first opening, a child
    bool m_shown = false;
    WindowState m_state;
    // A reading being shown sets the sensor type: its captions follow, but the
    // range fields take the device's range, not the type's default.
    bool m_showingReading = false;
    qint32 m_optionListsModel = 0; // the model code the option lists were built for
    QLabel* m_readingAge = nullptr; // "última leitura às ..." beneath Edit28
    QDateTime m_lastGoodReading;    // since the connect
};
