#pragma once

// The main window with its messages recorded instead of shown, and what it
// shows as plain text rows; on the virtual transmitter in simulated time, or
// on a port.
#include "scripteddriver.h"
#include "sim/virtualtransmitter.h"
#include "ui/serial.h"
#include "ui/sobre.h"
#include "ui/widgets/maskedit.h"
#include "ui/widgets/radiogroup.h"
#include "ui/widgets/statuspanels.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <functional>

using Fault = quorva::sim::Fault;
using RadioGroup = quorva::ui::RadioGroup;

// Every message as shown, a question marked "? " and an error "! ".
class RecordingMessages final : public quorva::ui::MessageSink
{
public:
    void showMessage(const QString& text) override { showMessageWithReason(text, QString()); }
    void showMessageWithReason(const QString& text, const QString& reason) override
    {
        told << text;
        reasons << reason;
        if (whileShown)
            whileShown();
    }
    bool ask(const QString& text) override
    {
        told << "? " + text;
        return answer;
    }
    void showException(const QString& text) override { told << "! " + text; }

    QStringList told;
    QStringList reasons; // beside each message in `told`, empty for none
    bool answer = false; // "Não", the default button
    // Runs while a message is "open", as the nested loop of a modal box would.
    std::function<void()> whileShown;
};

// A component as the technician sees it: "<name>: <text>", a radio group as
// its items with "*" before the selected one, " (off)" when disabled and
// " (hidden)" when not shown.
inline QString seen(const QWidget* w)
{
    QString text;
    if (auto* g = qobject_cast<const RadioGroup*>(w)) {
        QStringList items = g->items();
        if (g->itemIndex() >= 0)
            items[g->itemIndex()].prepend(u'*');
        text = items.join(u'|');
    } else if (const QVariant shown = w->property("text"); shown.isValid()) {
        text = shown.toString(); // a label's, a button's, a field's
    } else if (auto* s = qobject_cast<const quorva::ui::StatusPanels*>(w)) {
        text = s->panelText(0) + " | " + s->panelText(1);
    } else {
        text = w->windowTitle();
    }
    return w->objectName() + ": " + text + (w->isEnabled() ? "" : " (off)") +
           (w->isVisible() ? "" : " (hidden)");
}

// A component of the window by its designer name, as the tests reach it
// (the window keeps its components to itself).
template <typename W> W* part(const QObject& form, const char* name)
{
    W* found = form.findChild<W*>(QLatin1String(name));
    if (!found)
        qFatal("the window has no component %s", name);
    return found;
}

// Rows written one after the other.
template <typename... Texts> QStringList lines(const Texts&... texts)
{
    return {QString(texts)...};
}

// The rows of `expected` as the window shows them now, by component name.
inline QStringList shownBy(const TForm1& form, const QStringList& expected)
{
    QStringList rows;
    for (const QString& row : expected) {
        const QString name = row.section(u':', 0, 0);
        const QWidget* w = name == form.objectName() ? &form : form.findChild<QWidget*>(name);
        rows << (w ? seen(w) : name + ": no such component");
    }
    return rows;
}

// Compares the rows given with those `form` shows, by component name.
#define COMPARE_SHOWN(form, ...) QCOMPARE(shownBy(form, lines(__VA_ARGS__)), lines(__VA_ARGS__))

// The number on the "key:" line of a /proc/self file, -1 without one.
inline qint64 procNumber(const QString& file, const QByteArray& key)
{
    QFile f("/proc/self/" + file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The window on a line of its own, started as the program starts it, and
// the components the tests reach.
template <typename Line> struct WindowOn : Line
{
    using Line::Line;
    ProgramFlags flags;
    RecordingMessages messages;
    TForm1 form{this->link, this->master, flags, messages};

    static void click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
    static void clickItem(RadioGroup* group, int index)
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
    QPushButton* button(const char* name) const { return part<QPushButton>(form, name); }
    QLineEdit* edit(const char* name) const { return part<QLineEdit>(form, name); }
    RadioGroup* group(const char* name) const { return part<RadioGroup>(form, name); }
    QTimer* timer() const { return part<QTimer>(form, "Timer1"); }
    // One timer tick, as the timer gives it.
    void tick() { form.Timer1Timer(timer()); }
    // "Conectar", then "Ler".
    void clickConnectAndRead()
    {
        click(button("btConectar"));
        click(button("transmite"));
    }
    QString panel(int index) const
    {
        return part<quorva::ui::StatusPanels>(form, "StatusBar1")->panelText(index);
    }
};

// On the virtual transmitter, in simulated time.
struct WindowRig : WindowOn<MasterOn<quorva::sim::VirtualTransmitter>>
{
    quorva::sim::VirtualTransmitter& device = driver;
    TAboutBox1 about{&form};

    WindowRig()
    {
        device.setDrift(false); // the temperature holds still at 23,5 °C
        form.setAboutBox(&about);
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            qWarning("the window was not exposed");
    }

    // Lets simulated time run until the transaction in flight completes.
    void settle()
    {
        for (int ms = 0; ms < 3000 && master.pending(); ++ms)
            runMs(1);
    }
    // Ticks come a second apart, as the timer gives them.
    void toNextSecond()
    {
        clock.advanceMs(1000 - clock.nowUs() / 1000 % 1000);
        master.service();
    }
    // One timer tick and whatever it brings.
    void poll()
    {
        tick();
        settle();
    }
    void connectAndRead()
    {
        clickConnectAndRead();
        poll();
    }
    int framesSent() const { return int(device.requestCount()); }
};
