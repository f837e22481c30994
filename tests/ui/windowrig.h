#pragma once

// The main window on the virtual transmitter in simulated time, with its
// messages recorded instead of shown.
#include "fixtures.h"
#include "link/devicelink.h"
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
    void showException(const QString& text) override { exceptions << text; }

    QStringList messages;
    QStringList exceptions;
    // Runs while a message is "open", as the nested loop of a modal box would.
    std::function<void()> whileShown;
};

struct WindowRig
{
    quorva::link::ManualClock clock;
    quorva::link::VirtualTransmitter device{clock};
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
        for (int ms = 0; ms < 2000 && master.busy(); ++ms) {
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
    size_t framesSent() const { return device.receivedFrames().size(); }
};
