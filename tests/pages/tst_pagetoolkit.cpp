#include "ClickOutsideFilter.h"
#include "InstrumentCommands.h"
#include "MyEventFilter.h"
#include "PageTools.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QtTest>

// A page with one double and one integer spin box and some background.
class FilterPage : public QWidget
{
public:
    FilterPage()
    {
        auto *l = new QHBoxLayout(this);
        dbl = new QDoubleSpinBox(this);
        dbl->setRange(0, 100);
        dbl->setValue(5);
        num = new QSpinBox(this);
        num->setRange(0, 100);
        num->setValue(7);
        l->addWidget(dbl);
        l->addWidget(num);
        l->addWidget(new QLabel(QStringLiteral("background"), this), 1);
        edit = new MyEventFilter(this);
        click = new ClickOutsideFilter(this);
        storeOriginalValues(this, edit, click);
        installEventFilter(click);
        resize(400, 60);
    }
    QPoint background() const { return QPoint(width() - 20, height() / 2); }

    QDoubleSpinBox *dbl;
    QSpinBox *num;
    MyEventFilter *edit;
    ClickOutsideFilter *click;
};

// Commands with sample values, in the order of the table in commandTexts_data.
static QList<InstrumentCommand> sampleCommands()
{
    using namespace InstrumentCommands;
    return {setCurr(2.5), setCurr(0.1), setCurr(10), setCurr(0), setCurr(-0.5), setCurr(1234567),
            setVoltRange(0), setVoltRange(1), setVoltRange(2), setCurrRange(1), setVoltSlewRise(3),
            setVoltSlewRise(-1), setPowSlewFall(2), setFunc(4), setFunc(5), setDcAcMode(1), setDcAcMode(0),
            setOutMode(1), setOutMode(0), setInput(true), setInput(false), setDynLow(3), setDynLowDwell(3),
            setShort(1), measureAll(),
            // The rest of the command set, one sample each.
            setCurrSlewRise(0.5), setCurrSlewFall(1.25), setVolt(48), setRes(7500), setPow(250.5),
            setDynHigh(7), setDynHighDwell(2000), setDynSlewRise(2.5), setDynSlewFall(0.01), setOvp(65),
            setOcp(15), setOpp(420), setVoltSlewFall(1), setResSlewRise(2), setResSlewFall(0), setPowSlewRise(1),
            setDynMode(1), setDynMode(2), setCurrRange(0), setShort(0), setShort(2), setFunc(0), setFunc(-1),
            queryCurr(), queryCurrSlewRise(), queryCurrSlewFall(), queryVolt(), queryVoltSlewRise(),
            queryVoltSlewFall(), queryRes(), queryResSlewRise(), queryResSlewFall(), queryPow(), queryPowSlewRise(),
            queryPowSlewFall(), queryDynMode(), queryDynLow(), queryDynHigh(), queryDynLowDwell(),
            queryDynHighDwell(), queryDynSlewRise(), queryDynSlewFall(), queryVoltRange(), queryCurrRange(),
            queryDcAcMode(), queryShort(), queryFunc(), measureCurr(), measureVolt(), queryOvp(), queryOcp(),
            queryOpp(), queryInput()};
}

class TestPageToolkit : public QObject
{
    Q_OBJECT
private:
    void typeInto(QAbstractSpinBox *box, const QString &text)
    {
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    bool focusOn(QWidget *page, QWidget *w)
    {
        page->show();
        page->activateWindow();
        if (!QTest::qWaitForWindowActive(page))
            return false;
        w->setFocus();
        return QTest::qWaitFor([w] { return w->hasFocus(); }, 2000);
    }

private slots:
    void formatHMS_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "00:00:00";
        QTest::newRow("1h2m5s") << qint64(3725) << "01:02:05";
        QTest::newRow("59s") << qint64(59) << "00:00:59";
        QTest::newRow("one day") << qint64(86400) << "24:00:00";
        QTest::newRow("100 hours") << qint64(360000) << "100:00:00";
    }
    void formatHMS()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(::formatHMS(seconds), text);
    }

    void escapeRestoresConfirmedValue_data()
    {
        QTest::addColumn<bool>("integerBox");
        QTest::newRow("double") << false;
        QTest::newRow("integer") << true;
    }
    void escapeRestoresConfirmedValue()
    {
        QFETCH(bool, integerBox);
        FilterPage page;
        QAbstractSpinBox *box = integerBox ? static_cast<QAbstractSpinBox *>(page.num) : page.dbl;
        const QString before = box->text();
        typeInto(box, QStringLiteral("12"));
        QVERIFY(box->text() != before);

        // The Escape is consumed by the filter: the box itself never sees it.
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QVERIFY(page.edit->eventFilter(box, &esc) == true);
        QCOMPARE(box->text(), before);
    }

    void enterConfirms_data()
    {
        QTest::addColumn<bool>("integerBox");
        QTest::addColumn<int>("key");
        QTest::newRow("double return") << false << int(Qt::Key_Return);
        QTest::newRow("double enter") << false << int(Qt::Key_Enter);
        QTest::newRow("integer return") << true << int(Qt::Key_Return);
        QTest::newRow("integer enter") << true << int(Qt::Key_Enter);
    }
    void enterConfirms()
    {
        QFETCH(bool, integerBox);
        QFETCH(int, key);
        FilterPage page;
        QAbstractSpinBox *box = integerBox ? static_cast<QAbstractSpinBox *>(page.num) : page.dbl;
        typeInto(box, QStringLiteral("12"));
        QTest::keyClick(box, Qt::Key(key));
        QCOMPARE(box->property("originalValue").toDouble(), 12.0);
        QTest::keyClick(box, Qt::Key_Escape);
        QCOMPARE(box->property("originalValue").toDouble(), 12.0);
        QCOMPARE(integerBox ? double(page.num->value()) : page.dbl->value(), 12.0);
    }

    void focusOutRestores_data()
    {
        QTest::addColumn<bool>("integerBox");
        QTest::newRow("double") << false;
        QTest::newRow("integer") << true;
    }
    void focusOutRestores()
    {
        QFETCH(bool, integerBox);
        FilterPage page;
        QAbstractSpinBox *box = integerBox ? static_cast<QAbstractSpinBox *>(page.num) : page.dbl;
        const double before = integerBox ? page.num->value() : page.dbl->value();
        typeInto(box, QStringLiteral("12"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(box, &out);
        QCOMPARE(integerBox ? double(page.num->value()) : page.dbl->value(), before);
    }

    void clickOnBackgroundEndsEditing_data()
    {
        QTest::addColumn<bool>("confirmFirst");
        QTest::addColumn<double>("expected");
        QTest::newRow("unconfirmed value goes back") << false << 5.0;
        QTest::newRow("confirmed value stays") << true << 12.0;
    }
    void clickOnBackgroundEndsEditing()
    {
        QFETCH(bool, confirmFirst);
        QFETCH(double, expected);
        FilterPage page;
        QVERIFY(focusOn(&page, page.dbl));
        typeInto(page.dbl, QStringLiteral("12"));
        if (confirmFirst)
            QTest::keyClick(page.dbl, Qt::Key_Return);
        QTest::mouseClick(&page, Qt::LeftButton, Qt::NoModifier, page.background());
        QVERIFY(!page.dbl->hasFocus());
        QCOMPARE(page.dbl->value(), expected);
    }

    void pressSeenByPage_data()
    {
        QTest::addColumn<bool>("insideBox");
        QTest::addColumn<bool>("keepsFocus");
        QTest::newRow("inside the box, near its corner") << true << true;
        QTest::newRow("just right of the box") << false << false;
    }
    // Whether a press lies in the box is decided in the box's own coordinates.
    void pressSeenByPage()
    {
        QFETCH(bool, insideBox);
        QFETCH(bool, keepsFocus);
        FilterPage page;
        QVERIFY(focusOn(&page, page.dbl));
        const QRect g = page.dbl->geometry();
        QVERIFY(g.x() > 2 && g.y() > 0);
        // Outside: right of the box, at a spot whose box coordinates fall inside
        // the box's geometry rectangle (as seen from its parent).
        const QPoint at = insideBox ? page.dbl->mapTo(&page, QPoint(1, 1)) : QPoint(g.right() + 2, g.y() + g.y());
        QMouseEvent press(QEvent::MouseButtonPress, at, page.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(&page, &press);
        QCOMPARE(page.dbl->hasFocus(), keepsFocus);
    }

    void arrowClickConfirmsAndFinishesOnce()
    {
        FilterPage page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QSignalSpy finished(page.dbl, &QAbstractSpinBox::editingFinished);
        QStyleOptionSpinBox opt;
        opt.initFrom(page.dbl);
        opt.subControls = QStyle::SC_SpinBoxUp;
        opt.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
        const QRect up = page.dbl->style()->subControlRect(QStyle::CC_SpinBox, &opt, QStyle::SC_SpinBoxUp, page.dbl);
        QTest::mouseClick(page.dbl, Qt::LeftButton, Qt::NoModifier, up.center());
        QCOMPARE(page.dbl->value(), 6.0);
        QCOMPARE(page.dbl->property("originalValue").toDouble(), 6.0);
        QCOMPARE(finished.count(), 1);
    }

    void integerBoxIgnoresMouse()
    {
        FilterPage page;
        page.num->setValue(9); // not confirmed
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QSignalSpy finished(page.num, &QAbstractSpinBox::editingFinished);
        QVERIFY(!page.edit->eventFilter(page.num, &release));
        QCOMPARE(page.num->property("originalValue").toInt(), 7);
        QCOMPARE(finished.count(), 0);
    }

    void storeOriginalValuesRefreshesWithoutDuplicates()
    {
        FilterPage page;
        QCOMPARE(page.click->doubleSpinBoxes().size(), 1);
        QCOMPARE(page.click->spinBoxes().size(), 1);
        page.dbl->setValue(33);
        storeOriginalValues(&page, page.edit, page.click);
        QCOMPARE(page.click->doubleSpinBoxes().size(), 1);
        QCOMPARE(page.click->spinBoxes().size(), 1);
        QCOMPARE(page.dbl->property("originalValue").toDouble(), 33.0);
        QCOMPARE(page.dbl->property("originalValue").type(), QVariant::Double);
        QCOMPARE(page.num->property("originalValue").type(), QVariant::Int);
        // A second call does not stack the filter: one Escape, one restore.
        page.dbl->setValue(40);
        QTest::keyClick(page.dbl, Qt::Key_Escape);
        QCOMPARE(page.dbl->value(), 33.0);
    }

    void pageWithoutSpinBoxes()
    {
        QWidget page;
        new QLabel(QStringLiteral("x"), &page);
        MyEventFilter edit;
        ClickOutsideFilter click;
        storeOriginalValues(&page, &edit, &click);
        QVERIFY(click.doubleSpinBoxes().isEmpty());
        QVERIFY(click.spinBoxes().isEmpty());
    }

    void deletedBoxLeavesFilterSafe()
    {
        FilterPage page;
        delete page.num;
        QVERIFY(page.click->spinBoxes().isEmpty());
        QTest::mouseClick(&page, Qt::LeftButton, Qt::NoModifier, page.background());
    }

    void commandPack()
    {
        const DataPack p = pageCommandPack(QStringLiteral("CC:CURR:L"), 1, 0, 0, QStringLiteral("CURR 2.5\n"), 1);
        QCOMPARE(p.key, QStringLiteral("CC:CURR:L"));
        QCOMPARE(p.isRequest, 1);
        QCOMPARE(p.needReply, 0);
        QCOMPARE(p.status, 0);
        QCOMPARE(p.data, QStringLiteral("CURR 2.5\n"));
        QCOMPARE(p.pageId, 1);
        QCOMPARE(p.link, 0);
    }

    void commandTexts_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("valid");
        const QList<InstrumentCommand> cmds = sampleCommands();
        const QList<QStringList> expected = {
            {"CURR 2.5\n", "CC:CURR:L", "1"}, {"CURR 0.1\n", "CC:CURR:L", "1"}, {"CURR 10\n", "CC:CURR:L", "1"},
            {"CURR 0\n", "CC:CURR:L", "1"}, {"", "CC:CURR:L", "0"}, {"CURR 1.23457e+06\n", "CC:CURR:L", "1"},
            {"VOLT:RANG 1\n", "LOAD:VOLT:RANG:L", "1"}, {"VOLT:RANG 0\n", "LOAD:VOLT:RANG:L", "1"},
            {"", "LOAD:VOLT:RANG:L", "0"}, {"CURR:RANG 0\n", "LOAD:CURR:RANG:L", "1"},
            {"", "CV:SLEW:RISE:L", "0"}, {"", "CV:SLEW:RISE:L", "0"}, {"POW:SLEW:FALL 2\n", "CP:SLEW:FALL:L", "1"},
            {"FUNC 4\n", "SYS:FUNC:M", "1"}, {"", "SYS:FUNC:M", "0"}, {"DCAC:MODE AC\n", "DCAC:MODE:L", "1"},
            {"DCAC:MODE DC\n", "DCAC:MODE:L", "1"}, {"MODE 4\n", "SYS:OutMode", "1"},
            {"MODE 0\n", "SYS:OutMode", "1"}, {"INP ON\n", "SYS:ON", "1"}, {"INP OFF\n", "SYS:OFF", "1"},
            {"DYN:LOW 3\n", "CCD:LOW:DWEL:L", "1"}, {"DYN:LOW:DWEL 3\n", "CCD:LOW:L", "1"},
            {"INP:SHOR 1\n", "SYS:SHOUT:M", "1"}, {"MEAS:ALL:INFO?\n", "SYS:ALL:M", "1"},
            {"CURR:SLEW:RISE 0.5\n", "CC:SLEW:RISE:L", "1"}, {"CURR:SLEW:FALL 1.25\n", "CC:SLEW:FALL:L", "1"},
            {"VOLT 48\n", "CV:VOLT:L", "1"}, {"RES 7500\n", "CR:RES:L", "1"}, {"POW 250.5\n", "CP:POW:L", "1"},
            {"DYN:HIGH 7\n", "CCD:HIGH:DWEL:L", "1"}, {"DYN:HIGH:DWEL 2000\n", "CCD:HIGH:L", "1"},
            {"DYN:SLEW:RISE 2.5\n", "CCD:SLEW:RISE:L", "1"}, {"DYN:SLEW:FALL 0.01\n", "CCD:SLEW:FALL:L", "1"},
            {"VOLT:PROT 65\n", "SYS:OVP:M", "1"}, {"CURR:PROT 15\n", "SYS:OCP:M", "1"},
            {"POW:PROT 420\n", "SYS:OPP:M", "1"}, {"VOLT:SLEW:FALL 1\n", "CV:SLEW:FALL:L", "1"},
            {"RES:SLEW:RISE 2\n", "CR:SLEW:RISE:L", "1"}, {"RES:SLEW:FALL 0\n", "CR:SLEW:FALL:L", "1"},
            {"POW:SLEW:RISE 1\n", "CP:SLEW:RISE:L", "1"}, {"DYN:MODE 1\n", "CCD:MODE:L", "1"},
            {"", "CCD:MODE:L", "0"}, {"CURR:RANG 1\n", "LOAD:CURR:RANG:L", "1"},
            {"INP:SHOR 0\n", "SYS:SHOUT:M", "1"}, {"", "SYS:SHOUT:M", "0"}, {"FUNC 0\n", "SYS:FUNC:M", "1"},
            {"", "SYS:FUNC:M", "0"},
            {"CURR?\n", "CC:CURR:L", "1"}, {"CURR:SLEW:RISE?\n", "CC:SLEW:RISE:L", "1"},
            {"CURR:SLEW:FALL?\n", "CC:SLEW:FALL:L", "1"}, {"VOLT?\n", "CV:VOLT:L", "1"},
            {"VOLT:SLEW:RISE?\n", "CV:SLEW:RISE:L", "1"}, {"VOLT:SLEW:FALL?\n", "CV:SLEW:FALL:L", "1"},
            {"RES?\n", "CR:RES:L", "1"}, {"RES:SLEW:RISE?\n", "CR:SLEW:RISE:L", "1"},
            {"RES:SLEW:FALL?\n", "CR:SLEW:FALL:L", "1"}, {"POW?\n", "CP:POW:L", "1"},
            {"POW:SLEW:RISE?\n", "CP:SLEW:RISE:L", "1"}, {"POW:SLEW:FALL?\n", "CP:SLEW:FALL:L", "1"},
            {"DYN:MODE?\n", "CCD:MODE:L", "1"}, {"DYN:LOW?\n", "CCD:LOW:DWEL:L", "1"},
            {"DYN:HIGH?\n", "CCD:HIGH:DWEL:L", "1"}, {"DYN:LOW:DWEL?\n", "CCD:LOW:L", "1"},
            {"DYN:HIGH:DWEL?\n", "CCD:HIGH:L", "1"}, {"DYN:SLEW:RISE?\n", "CCD:SLEW:RISE:L", "1"},
            {"DYN:SLEW:FALL?\n", "CCD:SLEW:FALL:L", "1"}, {"VOLT:RANG?\n", "LOAD:VOLT:RANG:L", "1"},
            {"CURR:RANG?\n", "LOAD:CURR:RANG:L", "1"}, {"DCAC:MODE?\n", "DCAC:MODE:L", "1"},
            {"INP:SHOR?\n", "SYS:SHOUT:M", "1"}, {"FUNC?\n", "SYS:FUNC:M", "1"},
            {"MEAS:CURR?\n", "SYS:CURR:M", "1"}, {"MEAS:VOLT?\n", "SYS:VOLT:M", "1"},
            {"VOLT:PROT?\n", "SYS:OVP:M", "1"}, {"CURR:PROT?\n", "SYS:OCP:M", "1"},
            {"POW:PROT?\n", "SYS:OPP:M", "1"}, {"INP?\n", "SYS:OUT:M", "1"}};
        QCOMPARE(expected.size(), cmds.size());
        for (int i = 0; i < cmds.size(); ++i)
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(i).arg(expected[i][0].trimmed())))
                << i << expected[i][0] << expected[i][1] << (expected[i][2] == QLatin1String("1"));
    }
    void commandTexts()
    {
        QFETCH(int, which);
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(bool, valid);
        const QList<InstrumentCommand> cmds = sampleCommands();
        const InstrumentCommand &c = cmds[which];
        QCOMPARE(c.valid, valid);
        QCOMPARE(c.key, key);
        if (valid) {
            QCOMPARE(c.text, text);
            QCOMPARE(c.query, text.endsWith(QLatin1String("?\n")));
        }
    }

    void floatSettingFromFloatRecord()
    {
        // Record fields are floats: 0.1f must still go out as "0.1".
        QCOMPARE(InstrumentCommands::setCurr(double(0.1f)).text, QStringLiteral("CURR 0.1\n"));
        QCOMPARE(InstrumentCommands::setCurr(double(2.675f)).text, QStringLiteral("CURR 2.675\n"));
    }
};

QTEST_MAIN(TestPageToolkit)
#include "tst_pagetoolkit.moc"
