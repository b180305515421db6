// Decimal boxes under the system's number conventions: run under the C
// locale and again under a decimal-comma one (LANG=de_DE.UTF-8). Whatever the
// system says, "2.5" and "2,5" both set 2.5, and the box shows it with '.'.

#include "DecimalPointInput.h"

#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QLocale>
#include <QtTest>

class tst_DecimalPointInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void typedValue_data();
    void typedValue();
    void otherWidgetsKeepTheirComma();
};

void tst_DecimalPointInput::initTestCase()
{
    qInfo("system locale %s, decimal point '%s'", qPrintable(QLocale::system().name()),
          qPrintable(QString(QLocale::system().decimalPoint())));
    DecimalPointInput::install(qApp);
    QCOMPARE(QLocale().decimalPoint(), QChar('.'));
}

void tst_DecimalPointInput::typedValue_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("point") << "2.5" << 2.5 << "2.500";
    QTest::newRow("comma") << "2,5" << 2.5 << "2.500";
    QTest::newRow("two places") << "12.75" << 12.75 << "12.750";
    QTest::newRow("comma, two places") << "12,75" << 12.75 << "12.750";
    // Neither a thousands separator nor a second point is taken.
    QTest::newRow("grouped") << "1,000" << 1.0 << "1.000";
    QTest::newRow("second point") << "1.2.5" << 1.25 << "1.250";
    QTest::newRow("whole") << "30" << 30.0 << "30.000";
}

void tst_DecimalPointInput::typedValue()
{
    QFETCH(QString, typed);
    QFETCH(double, value);
    QFETCH(QString, shown);
    QDoubleSpinBox box;
    box.setRange(0, 40);
    box.setDecimals(3);
    box.setValue(1);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setFocus();
    box.selectAll();
    QTest::keyClicks(&box, typed);
    QTest::keyClick(&box, Qt::Key_Return);
    QCOMPARE(box.value(), value);
    QCOMPARE(box.text(), shown);
}

// A text field is not a number box: its comma stays a comma.
void tst_DecimalPointInput::otherWidgetsKeepTheirComma()
{
    QLineEdit edit;
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QTest::keyClicks(&edit, "a,b");
    QCOMPARE(edit.text(), QString("a,b"));
}

QTEST_MAIN(tst_DecimalPointInput)
#include "tst_decimalpointinput.moc"
