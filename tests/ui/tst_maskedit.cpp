// The zero-adjustment field: four positions, its text form, and typing.
#include "ui/widgets/maskedit.h"

#include <QtTest>

using quorva::ui::MaskEdit;

class TestMaskEdit : public QObject
{
    Q_OBJECT
private slots:
    void textForms_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("negative") << "-0,5"
                                  << "-0,5"
                                  << "-0,5";
        QTest::newRow("three characters get a leading blank") << "0,0"
                                                              << " 0,0"
                                                              << " 0,0";
        QTest::newRow("two digits") << "15,0"
                                    << "15,0"
                                    << "15,0";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("too wide empties the field") << "-15,0"
                                                    << ""
                                                    << "";
        QTest::newRow("decimal point does not fit") << "0.5"
                                                    << ""
                                                    << "";
    }
    void textForms()
    {
        QFETCH(QString, set);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        MaskEdit edit;
        edit.setMaskedText(set);
        QCOMPARE(edit.maskedText(), text);
        QCOMPARE(edit.displayText(), shown);
    }

    void typing()
    {
        MaskEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        edit.setFocus();
        QCOMPARE(edit.displayText(), "__,_");
        QTest::keyClicks(&edit, "-05");
        QCOMPARE(edit.maskedText(), "-0,5");
        QTest::keyClick(&edit, Qt::Key_Home);
        QTest::keyClicks(&edit, "x 9"); // letters are refused; a blank clears the sign
        QCOMPARE(edit.maskedText(), " 9,5");
        QTest::keyClick(&edit, Qt::Key_End);
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QCOMPARE(edit.maskedText(), " 9, ");
        QCOMPARE(edit.displayText(), " 9,_");
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QCOMPARE(edit.maskedText(), "");
        QTest::keyClicks(&edit, "1,2"); // one digit, then the comma: units
        QCOMPARE(edit.maskedText(), " 1,2");
        QTest::keyClick(&edit, Qt::Key_Home);
        QTest::keyClicks(&edit, "-");
        QCOMPARE(edit.maskedText(), "-1,2");
    }
};

QTEST_MAIN(TestMaskEdit)
#include "tst_maskedit.moc"
