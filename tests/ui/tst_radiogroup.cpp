// The radio group's item index and when its click event is raised.
#include "ui/widgets/radiogroup.h"

#include <QRadioButton>
#include <QtTest>

using quorva::ui::RadioGroup;

class TestRadioGroup : public QObject
{
    Q_OBJECT
private slots:
    void clickRaisedOnlyWhenAnItemBecomesSelected()
    {
        RadioGroup group(QStringLiteral("Tipo"));
        group.setItems({"a", "b", "c"});
        QSignalSpy clicks(&group, &RadioGroup::clicked);
        QCOMPARE(group.itemIndex(), -1);
        group.setItemIndex(1);
        QCOMPARE(clicks.count(), 1);
        group.setItemIndex(1); // set again
        QCOMPARE(clicks.count(), 1);
        group.setItemIndex(-1); // cleared
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(group.itemIndex(), -1);
        for (QAbstractButton* b : group.findChildren<QRadioButton*>())
            QVERIFY(!b->isChecked());
        group.setItemIndex(2);
        QCOMPARE(clicks.count(), 2);
    }

    void userClicks()
    {
        RadioGroup group(QStringLiteral("Tipo"));
        group.setItems({"a", "b"});
        group.show();
        QVERIFY(QTest::qWaitForWindowExposed(&group));
        QSignalSpy clicks(&group, &RadioGroup::clicked);
        auto* b = group.findChildren<QRadioButton*>().at(1);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, b->height() / 2));
        QCOMPARE(group.itemIndex(), 1);
        QCOMPARE(clicks.count(), 1);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, b->height() / 2));
        QCOMPARE(clicks.count(), 1); // the selected item clicked again
    }

    void indexBeyondTheItemsSelectsNothing()
    {
        RadioGroup group(QStringLiteral("Tipo"));
        group.setItems({"a", "b"});
        group.setItemIndex(0);
        QSignalSpy clicks(&group, &RadioGroup::clicked);
        group.setItemIndex(9);
        QCOMPARE(group.itemIndex(), -1);
        group.setItemIndex(-7);
        QCOMPARE(group.itemIndex(), -1);
        QCOMPARE(clicks.count(), 0);
    }

    void rebuildingClearsTheSelection()
    {
        RadioGroup group(QStringLiteral("Tipo"));
        group.setItems({"a", "b"});
        group.setItemIndex(1);
        group.clearItems();
        QCOMPARE(group.itemIndex(), -1);
        group.appendItem("x");
        group.appendItem("y");
        QCOMPARE(group.items(), (QStringList{"x", "y"}));
        QCOMPARE(group.itemIndex(), -1);
        QCOMPARE(group.findChildren<QRadioButton*>().size(), 2);
    }
};

QTEST_MAIN(TestRadioGroup)
#include "tst_radiogroup.moc"
