// The zero-adjustment field: every way of editing it, by keys or by its
// context menu, ends in its four positions, so what it shows is what it
// sends. (How it shows a reading is the window's tests.)
#include "ui/widgets/maskedit.h"

#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QtTest>
#include <memory>

using quorva::ui::MaskEdit;

class TestMaskEdit : public QObject
{
    Q_OBJECT
private slots:
    // Steps: "menu:<item>" triggers the item of the field's own context menu,
    // "keys:<keys>" presses keys ("Delete", "Ctrl+V"), "type:<text>" types and
    // "clip:<text>" puts text on the clipboard.
    // The field then loses focus; it shows, and gives as its text, the last
    // column ("<shown>|<text>").
    void editingPaths_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("length");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("shownAndText");
        const auto row = [](const char* name, const char* start, int from, int length,
                            QStringList steps, const char* shownAndText) {
            QTest::newRow(name) << start << from << length << steps << shownAndText;
        };
        row("typing a negative", "", 0, 0, {"type:-05"}, "-0,5|-0,5");
        row("a letter refused, a blank clears the sign", "-0,5", 0, 0, {"type:x 9"}, " 9,5| 9,5");
        row("one digit, then the comma: units", "", 0, 0, {"type:1,2"}, " 1,2| 1,2");
        row("a sign typed first", "1,2", 0, 0, {"type:-"}, "-1,2|-1,2");
        row("Delete empties the sign", "-1,2", 0, 0, {"keys:Delete"}, " 1,2| 1,2");
        row("Backspace empties the tenths", "9,5", 4, 0, {"keys:Backspace"}, " 9,_| 9, ");
        row("Backspace steps over the comma", "9,5", 4, 0,
            {"keys:Backspace", "keys:Backspace", "keys:Backspace"}, "__,_|");
        row("menu paste over all", "-0,5", 0, 4, {"clip:2,5", "menu:Paste"}, " 2,5| 2,5");
        row("menu paste of what does not fit changes nothing", "-0,5", 0, 4,
            {"clip:-12,34", "menu:Paste"}, "-0,5|-0,5");
        row("paste keys into the empty field", "", 0, 0, {"clip:-1,5", "keys:Ctrl+V"}, "-1,5|-1,5");
        row("what was shown pastes back as it was", "-0,5", 0, 4, {"clip:-_,5", "keys:Ctrl+V"},
            "-_,5|- ,5");
        row("menu delete of the sign and units", "-0,5", 0, 2, {"menu:Delete"}, " _,5|  ,5");
        row("menu cut of the tenths", "-0,5", 3, 1, {"menu:Cut"}, "-0,_|-0, ");
        row("cut keys over all", "-0,5", 0, 4, {"keys:Ctrl+X"}, "__,_|");
        row("select-all keys, then Delete", "-0,5", 1, 0, {"keys:Ctrl+A", "keys:Delete"}, "__,_|");
        row("select-all keys, then typing", "1,5", 4, 0, {"keys:Ctrl+A", "type:-35"}, "-3,5|-3,5");
    }
    void editingPaths()
    {
        QFETCH(QString, start);
        QFETCH(int, from);
        QFETCH(int, length);
        QFETCH(QStringList, steps);
        QFETCH(QString, shownAndText);
        QWidget window;
        auto* edit = new MaskEdit(&window);
        new QLineEdit(&window); // takes the focus away at the end
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        edit->setMaskedText(start);
        edit->setFocus();
        edit->setSelection(from, length);
        for (const QString& step : steps) {
            const QString kind = step.section(u':', 0, 0), what = step.section(u':', 1);
            if (kind == "clip") {
                QGuiApplication::clipboard()->setText(what);
            } else if (kind == "menu") {
                std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
                QAction* action = nullptr;
                for (QAction* a : menu->actions())
                    if (a->text().remove(u'&').section(u'\t', 0, 0) == what)
                        action = a;
                QVERIFY(action && action->isEnabled());
                action->trigger();
            } else if (kind == "keys") {
                QTest::keySequence(edit, QKeySequence::fromString(what));
            } else {
                QTest::keyClicks(edit, what);
            }
        }
        QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(!edit->hasFocus());
        QCOMPARE(edit->displayText() + "|" + edit->maskedText(), shownAndText);
    }
};

QTEST_MAIN(TestMaskEdit)
#include "tst_maskedit.moc"
