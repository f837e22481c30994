#pragma once

// The main window on the virtual transmitter in simulated time, with its
// messages recorded instead of shown.
#include "fixtures.h"
#include "link/devicelink.h"
#include "transmitter/configwrite.h"
#include "transmitter/reading.h"
#include "transmitter/sensortable.h"
#include "ui/messagesink.h"
#include "ui/serial.h"
#include "ui/sobre.h"
#include "ui/widgets/maskedit.h"
#include "ui/widgets/radiogroup.h"
#include "ui/widgets/statuspanels.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <functional>

class RecordingMessages final : public quorva::ui::MessageSink
{
public:
    void showMessage(const QString& text) override
    {
        messages << text;
        if (whileShown)
            whileShown();
    }
    bool ask(const QString& text) override
    {
        questions << text;
        return answer;
    }
    void showException(const QString& text) override { exceptions << text; }

    QStringList messages;
    QStringList questions;
    QStringList exceptions;
    bool answer = false; // "Não", the default button
    // Runs while a message is "open", as the nested loop of a modal box would.
    std::function<void()> whileShown;
};

struct WindowRig
{
    quorva::link::ManualClock clock;
    quorva::sim::VirtualTransmitter device{clock};
    quorva::link::DeviceLink link{device};
    quorva::link::ModbusMaster master{link, clock};
    ProgramFlags flags;
    RecordingMessages messages;
    TForm1 form{link, master, flags, messages};
    TAboutBox1 about{&form};

    WindowRig()
    {
        fixtures::holdStill(device);
        form.setAboutBox(&about);
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            qWarning("the window was not exposed");
    }

    static void click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void clickItem(quorva::ui::RadioGroup* group, int index)
    {
        auto* item = group->findChild<QRadioButton*>(
            QStringLiteral("%1_item%2").arg(group->objectName()).arg(index));
        QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(5, item->height() / 2));
    }
    static void type(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    void typeZero(const QString& keys)
    {
        form.MaskEdit1->setMaskedText(QString());
        form.MaskEdit1->setFocus();
        QTest::keyClick(form.MaskEdit1, Qt::Key_Home);
        QTest::keyClicks(form.MaskEdit1, keys);
    }

    // Lets simulated time run until the transaction in flight completes.
    void settle()
    {
        for (int ms = 0; ms < 2000 && master.pending(); ++ms) {
            clock.advanceMs(1);
            master.service();
        }
    }
    // One timer tick and whatever it brings.
    void poll()
    {
        form.Timer1Timer(form.Timer1);
        settle();
    }
    void connectAndRead()
    {
        click(form.btConectar);
        click(form.transmite);
        poll();
    }
    QString panel(int index) const { return form.StatusBar1->panelText(index); }
    size_t framesSent() const { return size_t(device.requestCount()); }
};

// The device data a window shows: its value texts and its three choices.
struct ShownValues
{
    QStringList texts;
    std::array<int, 3> choices{};
    bool operator==(const ShownValues& o) const { return texts == o.texts && choices == o.choices; }
    QString describe() const
    {
        return texts.join('|') +
               QStringLiteral(" [%1 %2 %3]").arg(choices[0]).arg(choices[1]).arg(choices[2]);
    }
};

inline ShownValues shownBy(const TForm1& f)
{
    return {{f.Edit28->text(), f.Label8->text(), f.Edit7->text(), f.Edit8->text(),
             f.MaskEdit1->maskedText().trimmed(), f.Label5->text()},
            {f.RadioGroup1->itemIndex(), f.RadioGroup2->itemIndex(), f.RadioGroup3->itemIndex()}};
}

// What the window must show for the device's registers as they stand.
inline ShownValues sentBy(const quorva::sim::VirtualTransmitter& d)
{
    using namespace quorva::transmitter;
    auto value = [&d](int number) { return wordToValue(d.reg(number)); };
    const int sensor = shownChoice(value(5), int(kSensorTypes.size()));
    const MeasuredText measured = measuredValueText(sensor, value(2));
    const QString zero = zeroAdjustText(value(4));
    return {{measured.value, measured.unit, rangeValueText(value(6)), rangeValueText(value(7)),
             isZeroFieldText(zero) || isZeroFieldText(zero.trimmed()) ? zero.trimmed() : QString(),
             firmwareText(value(10))},
            {sensor, shownChoice(value(8), 3), shownChoice(value(9), 2)}};
}
