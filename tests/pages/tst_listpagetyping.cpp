// The step table typed into as an operator does, through its own editor,
// under the C and a decimal-comma locale, then loaded into the simulator:
// what reaches the instrument is what the table shows.

#include "ListPageE2E.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QLocale>
#include <QPointer>

namespace {

enum class Ending { ClickOtherCell, Return, Tab, FocusLeaves };

struct TypedCell
{
    int row;
    int column;
    QString keys;
    Ending ending;
    QString shown; // the cell's text afterwards
};

const char *endingName(Ending e)
{
    switch (e) {
    case Ending::ClickOtherCell: return "click on another cell";
    case Ending::Return: return "Return";
    case Ending::Tab: return "Tab";
    case Ending::FocusLeaves: return "focus leaving the table";
    }
    return "";
}

// The instrument's value of a cell as the load sends it: current up to 85,
// slope up to 31, time not below 0; false when the text is no number with
// '.' as its point.
bool wireValue(const QString &shown, int column, QString *value)
{
    bool ok = false;
    double v = QLocale::c().toDouble(shown, &ok);
    if (!ok)
        return false;
    if (column == 0)
        v = qBound(0.0, v, 85.0);
    else if (column == 1)
        v = qBound(0.0, v, 31.0);
    else
        v = qMax(0.0, v);
    *value = QString::number(v, 'g', -1);
    return true;
}

} // namespace

class TestListPageTyping : public ListPageE2E
{
    Q_OBJECT
private:
    QLocale m_startLocale;
    std::unique_ptr<QWidget> m_otherWindow;

    QTableWidget *table() const { return page->stepTable(); }
    QPoint cellCentre(int row, int column) const
    {
        table()->scrollToItem(table()->item(row, column));
        return table()->visualItemRect(table()->item(row, column)).center();
    }
    void clickCell(int row, int column)
    {
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cellCentre(row, column));
    }
    // The open editor of a cell, if any.
    QLineEdit *openEditor(int row, int column) const
    {
        auto *edit = qobject_cast<QLineEdit *>(table()->indexWidget(table()->model()->index(row, column)));
        return edit && edit->isVisible() ? edit : nullptr;
    }
    // A double click opens the cell's editor; the operator selects its text
    // and types over it.
    QLineEdit *typeInto(int row, int column, const QString &keys)
    {
        clickCell(row, column);
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, cellCentre(row, column));
        QLineEdit *edit = openEditor(row, column);
        if (!edit)
            return nullptr;
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, keys);
        return edit;
    }
    // Another cell of another row, for the click that ends an edit.
    void clickElsewhere(int row, int column)
    {
        clickCell((row + 1) % table()->rowCount(), (column + 1) % 3);
    }

private slots:
    void initTestCase() { m_startLocale = QLocale(); }
    void init()
    {
        setUp();
        QWidget *window = f().window.get();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }
    void cleanup()
    {
        QLocale::setDefault(m_startLocale);
        m_otherWindow.reset();
        tearDown();
    }

    // The program's window active, or another window: then a click on
    // another cell takes no focus from the editor, and the view commits the
    // editor's text as the current cell changes, without asking the
    // validator.
    void typedCellsLoadAsShown_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("windowActive");
        const QList<QPair<const char *, QLocale>> locales{
            {"C locale", QLocale::c()},
            {"German locale", QLocale(QLocale::German, QLocale::Germany)},
            // Whatever the program was started with (LANG=de_DE.UTF-8 in the
            // suite's second run of this test).
            {"system locale", QLocale::system()},
        };
        for (const auto &l : locales) {
            QTest::newRow(qPrintable(QStringLiteral("%1, window active").arg(QLatin1String(l.first))))
                << l.second << true;
            QTest::newRow(qPrintable(QStringLiteral("%1, another window active").arg(QLatin1String(l.first))))
                << l.second << false;
        }
    }
    void typedCellsLoadAsShown()
    {
        QFETCH(QLocale, locale);
        QFETCH(bool, windowActive);
        QLocale::setDefault(locale);
        if (!windowActive) {
            m_otherWindow.reset(new QWidget);
            m_otherWindow->show();
            m_otherWindow->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(m_otherWindow.get()));
            QVERIFY(!f().window->isActiveWindow());
        }
        setRows({"1,10,1", "2,20,1", "3,30,1"});

        const QList<TypedCell> cases{
            // Below the column minima: the cell keeps its number.
            {0, 2, "0.4", Ending::ClickOtherCell, "1"},
            {1, 1, "0.01", Ending::ClickOtherCell, "20"},
            {2, 1, "0.01", Ending::Return, "30"},
            {2, 2, "0.4", Ending::Tab, "1"},
            {0, 1, "0.01", Ending::FocusLeaves, "10"},
            // A decimal comma is the decimal point.
            {0, 0, "1,5", Ending::ClickOtherCell, "1.5"},
            {1, 0, "2,25", Ending::Return, "2.25"},
            {1, 2, "2,5", Ending::Tab, "2.5"},
            {2, 1, "12,5", Ending::FocusLeaves, "12.5"},
            // So is the point itself, whatever the locale.
            {2, 0, "3.75", Ending::Return, "3.75"},
            {0, 2, "1.5", Ending::ClickOtherCell, "1.5"},
            // Taken as typed.
            {2, 2, "0.5", Ending::FocusLeaves, "0.5"},
            {1, 1, "0.02", Ending::Tab, "0.02"},
        };
        for (const TypedCell &c : cases) {
            const QString what = QStringLiteral("%1 into (%2,%3), %4")
                                     .arg(c.keys)
                                     .arg(c.row)
                                     .arg(c.column)
                                     .arg(QLatin1String(endingName(c.ending)));
            const QPointer<QLineEdit> edit = typeInto(c.row, c.column, c.keys);
            QVERIFY2(edit, qPrintable(what));
            switch (c.ending) {
            case Ending::ClickOtherCell: clickElsewhere(c.row, c.column); break;
            case Ending::Return: QTest::keyClick(edit, Qt::Key_Return); break;
            case Ending::Tab: QTest::keyClick(edit, Qt::Key_Tab); break;
            case Ending::FocusLeaves:
                page->findChild<QDoubleSpinBox *>(QStringLiteral("SpinLimitOVP"))->setFocus(Qt::MouseFocusReason);
                break;
            }
            QCoreApplication::processEvents();
            // An editor the ending left open (its text not taken) goes with
            // the operator's next click on another cell.
            if (edit && edit->isVisible())
                clickElsewhere(c.row, c.column);
            QTRY_VERIFY2_WITH_TIMEOUT(!edit || !edit->isVisible(), qPrintable(what), kMustComeMs);
            QVERIFY2(table()->item(c.row, c.column)->text() == c.shown,
                     qPrintable(what + QStringLiteral(": shows ") + table()->item(c.row, c.column)->text()));
        }

        // The whole table as the instrument gets it.
        const int before = wire().size();
        QVERIFY(QMetaObject::invokeMethod(page, "on_commandLoadToDev_clicked"));
        QTRY_VERIFY_WITH_TIMEOUT(wireFrom(before).contains(QStringLiteral("LIST:LOAD")), kMustComeMs);
        QStringList expected;
        for (int r = 0; r < table()->rowCount(); ++r) {
            const char *commands[3] = {"LIST:VOLTage", "LIST:CURRent", "LIST:TIMEr"};
            for (int c = 0; c < 3; ++c) {
                QString value;
                const QString shown = table()->item(r, c)->text();
                QVERIFY2(wireValue(shown, c, &value), qPrintable(shown));
                expected << QStringLiteral("LIST:INDex %1").arg(r + 1)
                         << QStringLiteral("%1 %2").arg(QLatin1String(commands[c]), value);
            }
        }
        const QStringList sent = wireFrom(before).filter(QRegularExpression("^LIST:(INDex|VOLTage|CURRent|TIMEr)"));
        QCOMPARE(sent, expected);
        // The instrument holds the numbers the table shows.
        QTRY_COMPARE_WITH_TIMEOUT(sim->controlQuery("LIST:LOAD?\n"), QStringLiteral("ON"), kMustComeMs);
        for (int r = 0; r < table()->rowCount(); ++r) {
            QVERIFY(sim->controlApply(QStringLiteral("LIST:INDex %1").arg(r + 1).toLatin1()));
            const char *queries[3] = {"LIST:VOLTage?\n", "LIST:CURRent?\n", "LIST:TIMEr?\n"};
            for (int c = 0; c < 3; ++c) {
                QString value;
                QVERIFY(wireValue(table()->item(r, c)->text(), c, &value));
                QCOMPARE(sim->controlQuery(queries[c]).toDouble(), value.toDouble());
            }
        }
    }
};

QTEST_MAIN(TestListPageTyping)
#include "tst_listpagetyping.moc"
