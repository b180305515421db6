// The list page on its own: form, step table, list files, status and
// replies, the record log's columns and wiring, and the chart export.

#include "AppDirectory.h"
#include "DialogRecorder.h"
#include "ListPage.h"
#include "ModelFlags.h"
#include "PackCapture.h"
#include "RecordLog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCommandLinkButton>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

QStringList rowsOf(QTableWidget *t)
{
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 3; ++c)
            cells << (t->item(r, c) ? t->item(r, c)->text() : QStringLiteral("<none>"));
        out << cells.join(QLatin1Char(','));
    }
    return out;
}

QStringList times(int n, const QString &s)
{
    QStringList l;
    for (int i = 0; i < n; ++i)
        l << s;
    return l;
}

const QString kRowLimit = QStringLiteral("最大步数为100");
const QString kPickRow = QStringLiteral("请选对应择行");

} // namespace

class TestListPage : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<DialogRecorder> rec;
    std::unique_ptr<ListPage> page;
    std::unique_ptr<PackCapture> sent;

    template <typename T>
    T *w(const char *name) const
    {
        T *o = page->findChild<T *>(QLatin1String(name));
        if (!o)
            qFatal("no widget %s", name);
        return o;
    }
    QTableWidget *table() const { return page->stepTable(); }
    void call(const char *slot) { QVERIFY(QMetaObject::invokeMethod(page.get(), slot)); }
    void reply(const QString &key, const QString &data, int status = 0)
    {
        page->LISTrecvSerialFun(makeReplyPack(key, 0, 1, status, data, DataPack::ListPageId));
    }
    void makeReady() { page->LISTreceDevFun(true, 1, QStringLiteral("STATUS")); }
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir->filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        f.write(bytes);
        return path;
    }
    QByteArray readFile(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray();
        return f.readAll();
    }
    void fillRows(int n)
    {
        table()->setRowCount(0);
        for (int k = 0; k < n; ++k)
            page->addStepRow(table(), QString::number(k % 10), QStringLiteral("1"), QStringLiteral("1"));
        page->updateStepCounts();
    }
    QString headOf(int count, int cycles, const char *mode)
    {
        return QStringLiteral(",,,\n,,,\n#TotalCounts,%1,,,\n#Cycles,%2,,,\n#Mode,%3,,,\n,,,\n,,,\n"
                              "STEP,    CURR(A),    SLOPE(A/ms),    TIME(s),\n")
            .arg(count)
            .arg(cycles)
            .arg(QLatin1String(mode));
    }

private slots:
    void init()
    {
        acModeFlag = acDcModelFlag = noParallelModelFlag = parallelFlag = false;
        modelSeriesFlag = 0;
        dir.reset(new QTemporaryDir);
        AppDirectory::setOverride(dir->path());
        rec.reset(new DialogRecorder);
        page.reset(new ListPage);
        page->pollTimer()->stop(); // the tests drive the ticks
        page->setSleepFunction([](int) {});
        sent.reset(new PackCapture(page.get(), SIGNAL(LISTsendSriealFun(DataPack))));
    }
    void cleanup()
    {
        sent.reset();
        page.reset();
        rec.reset();
        AppDirectory::setOverride(QString());
        dir.reset();
    }

    // --- Form and construction

    void formTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        auto row = [](const char *n, const char *t) { QTest::newRow(n) << QString::fromLatin1(n) << QString::fromUtf8(t); };
        row("pushButtonAdd", "增加");
        row("pushButtonAdd_Man", "增加");
        row("pushButtonAdd_TRI", "增加");
        row("pushButtonDeleteRow", "删除");
        row("pushButtonDeleteRow_Man", "删除");
        row("pushButtonDeleteRow_TRI", "删除");
        row("pushButtonAdd_ManTrig", "TRIG");
        row("commandLoadToDev", "加载当前列表");
        row("commandLoadToFileLIst_2", "导出文件(.CSV)");
        row("commandLoadToFileLIst", "导入文件(.CSV)");
        row("commandLoadToList", "加载选择文件");
        row("pushButtonProt", "保护设置");
        row("commandReturnButton", "返回");
        row("commandLoadButton", "导出数据(最大24h)");
        row("pushButtonBrow", "浏览");
        row("pushButtonStart", "开始记录");
        row("pushButtonPause", "暂停记录");
        row("pushButtonStop", "结束记录");
        row("pushButtonClear", "清空记录");
        row("labelVoltage", "0.000V");
        row("labelCurrent", "0.000A");
        row("label_parallel", "并机:");
        row("labelAutoStepNum", "8");
        row("label_log_status", "未开始");
    }
    void formTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QWidget *o = page->findChild<QWidget *>(name);
        QVERIFY2(o, qPrintable(name));
        const QString shown = qobject_cast<QLabel *>(o) ? qobject_cast<QLabel *>(o)->text()
                                                         : qobject_cast<QAbstractButton *>(o)->text();
        QCOMPARE(shown, text);
    }

    void formRangesAndDefaults()
    {
        QCOMPARE(page->size(), QSize(1050, 700));
        auto *cycles = w<QSpinBox>("spinBoolNum");
        QCOMPARE(cycles->minimum(), 0);
        QCOMPARE(cycles->maximum(), 1000);
        QCOMPARE(cycles->value(), 1);
        auto *ovp = w<QDoubleSpinBox>("SpinLimitOVP");
        QCOMPARE(ovp->decimals(), 2);
        QCOMPARE(ovp->maximum(), 9999.0);
        QCOMPARE(ovp->value(), 320.0);
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOCP")->value(), 22.0);
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOCP")->maximum(), 9999.0);
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOPP")->minimum(), 10.0);
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOPP")->maximum(), 9999.0);
        auto *interval = w<QDoubleSpinBox>("doubleSpinBoxInterval");
        QCOMPARE(interval->minimum(), 0.5);
        QCOMPARE(interval->maximum(), 99999.0);
        QCOMPARE(interval->value(), 1.0);
        auto *len = w<QSpinBox>("spinBoxLen");
        QCOMPARE(len->minimum(), 1);
        QCOMPARE(len->maximum(), 72);
        QCOMPARE(len->value(), 1);
        QCOMPARE(w<QLineEdit>("lineEditDir")->text(), dir->path() + QStringLiteral("/LOG"));
        QVERIFY(QDir(dir->filePath(QStringLiteral("LOG"))).exists());
        auto *mode = w<QComboBox>("comMode");
        QCOMPARE(mode->count(), 1);
        QCOMPARE(mode->itemText(0), QStringLiteral("AUTO"));
        auto *modes = w<QStackedWidget>("stackedListMode");
        QCOMPARE(modes->count(), 3);
        QCOMPARE(modes->widget(0)->objectName(), QStringLiteral("AUTOMode"));
        QCOMPARE(modes->widget(1)->objectName(), QStringLiteral("MANUALMode"));
        QCOMPARE(modes->widget(2)->objectName(), QStringLiteral("TRIGGERMode"));
        QCOMPARE(w<QStackedWidget>("stackedWidget")->count(), 2);
        QVERIFY(w<QWidget>("IVChartsView"));
        QVERIFY(w<QWidget>("IVChartsView_M"));
        // Hidden at construction.
        page->show();
        QVERIFY(!w<QWidget>("commandLoadToDev")->isVisible());
        QVERIFY(!w<QWidget>("label_parallel")->isVisible());
        QVERIFY(!w<QWidget>("labelParallelStatus")->isVisible());
        // The log buttons of the idle state.
        QVERIFY(w<QPushButton>("pushButtonStart")->isEnabled());
        QVERIFY(!w<QPushButton>("pushButtonPause")->isEnabled());
        QVERIFY(!w<QPushButton>("pushButtonStop")->isEnabled());
        QVERIFY(!w<QPushButton>("pushButtonClear")->isEnabled());
        QVERIFY(QMetaType::type("FileSaveParamsList") != QMetaType::UnknownType);
    }

    void defaultStepTable()
    {
        QStringList expected;
        for (int k = 0; k < 8; ++k)
            expected << QStringLiteral("%1,2000,1").arg(k);
        QCOMPARE(rowsOf(table()), expected);
        QCOMPARE(page->autoStepCount(), 8);
        QCOMPARE(page->manualStepCount(), 8);
        QCOMPARE(page->triggerStepCount(), 8);
        QCOMPARE(table()->horizontalHeaderItem(0)->text(), QStringLiteral("Current\n(0-40.00(A))"));
        QCOMPARE(table()->horizontalHeaderItem(1)->text(), QStringLiteral("Rise Slope\n(0.02-2000(A/ms))"));
        QCOMPARE(table()->horizontalHeaderItem(2)->text(), QStringLiteral("Time\n(0.5-9999(s))"));
        QCOMPARE(table()->item(0, 0)->textAlignment(), int(Qt::AlignCenter));
        auto *files = w<QTableWidget>("tableFile");
        QCOMPARE(files->columnCount(), 3);
        QCOMPARE(files->horizontalHeaderItem(1)->text(), QStringLiteral("path"));
    }

    // --- Step table

    void rowLimit()
    {
        fillRows(100);
        rec->clear();
        call("on_pushButtonAdd_clicked");
        QCOMPARE(table()->rowCount(), 100);
        QCOMPARE(rec->texts(), QStringList{kRowLimit});
        QCOMPARE(rec->messages.first().title, QStringLiteral("提示"));

        // Insert from the menu: the same warning, no row.
        rec->clear();
        table()->setCurrentCell(3, 0);
        QCOMPARE(page->stepRow(), 3);
        page->stepMenuChosen(ListPage::StepMenuInsertAbove);
        QCOMPARE(table()->rowCount(), 100);
        QCOMPARE(rec->texts(), QStringList{kRowLimit});

        // Paste into 99 rows: one row, the rest dropped silently.
        fillRows(99);
        rec->clear();
        QApplication::clipboard()->setText(QStringLiteral("1\t2\t3\n4\t5\t6\n7\t8\t9"));
        page->pasteRows();
        QCOMPARE(table()->rowCount(), 100);
        QCOMPARE(rowsOf(table()).last(), QStringLiteral("1,2,3"));
        QVERIFY(rec->messages.isEmpty());
        QCOMPARE(page->autoStepCount(), 100);
    }

    void addAndDeleteRows()
    {
        call("on_pushButtonAdd_clicked");
        QCOMPARE(rowsOf(table()).last(), QStringLiteral("0,0,1"));
        QCOMPARE(w<QLabel>("labelAutoStepNum")->text(), QStringLiteral("9"));
        // The manual page's buttons reach the same slots.
        w<QPushButton>("pushButtonAdd_Man")->click();
        QCOMPARE(table()->rowCount(), 10);
        w<QPushButton>("pushButtonDeleteRow_TRI")->click();
        w<QPushButton>("pushButtonDeleteRow")->click();
        QCOMPARE(table()->rowCount(), 8);
        QCOMPARE(w<QLabel>("labelTriggerStepNum")->text(), QStringLiteral("8"));
        table()->setRowCount(0);
        call("on_pushButtonDeleteRow_clicked"); // nothing to delete
        QCOMPARE(page->autoStepCount(), 0);
    }

    void cellCaps_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("current above") << 0 << "45" << "40";
        QTest::newRow("current at") << 0 << "40" << "40";
        QTest::newRow("current at, other text") << 0 << "40.0" << "40";
        QTest::newRow("current below") << 0 << "39.99" << "39.99";
        QTest::newRow("slope above") << 1 << "2500" << "2000";
        QTest::newRow("slope below") << 1 << "1999" << "1999";
        QTest::newRow("time above") << 2 << "10000" << "9999.999";
        QTest::newRow("time at") << 2 << "9999.999" << "9999.999";
        QTest::newRow("time below") << 2 << "9999" << "9999";
        QTest::newRow("not a number") << 0 << "abc" << "abc";
        // A cell keeps the decimal point, whatever put a comma there.
        QTest::newRow("decimal comma") << 0 << "1,5" << "1.5";
        QTest::newRow("decimal comma, capped") << 0 << "45,5" << "40";
        QTest::newRow("time with a comma") << 2 << "2,5" << "2.5";
    }
    void cellCaps()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        table()->item(2, column)->setText(typed);
        QCOMPARE(table()->item(2, column)->text(), shown);
    }

    void lowerMaximumClampsCurrents()
    {
        table()->item(0, 0)->setText(QStringLiteral("35"));
        table()->item(1, 0)->setText(QStringLiteral("35A"));
        table()->item(2, 0)->setText(QStringLiteral("25"));
        elcLimitParam l;
        l.limitMaxCurr = 30;
        l.limitMaxSlope = 1500;
        page->recvLimitParam(l);
        QCOMPARE(table()->item(0, 0)->text(), QStringLiteral("30"));
        QCOMPARE(table()->item(1, 0)->text(), QStringLiteral("30"));
        QCOMPARE(table()->item(2, 0)->text(), QStringLiteral("25"));
        QCOMPARE(table()->horizontalHeaderItem(0)->text(), QStringLiteral("Current\n(0-30.00(A))"));
        QCOMPARE(table()->horizontalHeaderItem(1)->text(), QStringLiteral("Rise Slope\n(0.02-1500(A/ms))"));
    }

    void copyTwoRows()
    {
        table()->selectRow(1);
        table()->selectionModel()->select(table()->model()->index(2, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        table()->item(2, 2)->setText(QStringLiteral("2.5"));
        page->copySelection();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1\t2000\t1\n2\t2000\t2.5"));
        // Ctrl+C on the table does the same.
        QApplication::clipboard()->clear();
        QTest::keyClick(table(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1\t2000\t1\n2\t2000\t2.5"));
    }

    void pasteLines_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("two full lines") << "1\t2\t3\n4\t5\t6" << QStringList{"1,2,3", "4,5,6"};
        QTest::newRow("final newline") << "1\t2\t3\n" << QStringList{"1,2,3"};
        QTest::newRow("spreadsheet line ends") << "1\t2\t3\r\n4\t5\t6\r\n" << QStringList{"1,2,3", "4,5,6"};
        // A cell the line leaves out holds what a new row holds.
        QTest::newRow("short lines") << "5\t100\n7" << QStringList{"5,100,1", "7,0,1"};
        QTest::newRow("decimal commas") << "1,5\t0,5\t2,5" << QStringList{"1.5,0.5,2.5"};
        QTest::newRow("blanks around") << " 1.5\t 3 \t2 " << QStringList{"1.5,3,2"};
        QTest::newRow("empty line inside") << "1\t2\t3\n\n4\t5\t6" << QStringList{"1,2,3", "4,5,6"};
        QTest::newRow("only a newline") << "\n" << QStringList{};
        QTest::newRow("extra fields") << "1\t2\t3\t4" << QStringList{"1,2,3"};
        // Cells follow the editor's rule: what it refuses is a new row's text.
        QTest::newRow("negative current") << "-5\t100\t1" << QStringList{"0,100,1"};
        QTest::newRow("letters") << "abc\tx\t1s" << QStringList{"0,0,1"};
        QTest::newRow("below the minima") << "5\t0.01\t0.4" << QStringList{"5,0,1"};
        QTest::newRow("too many decimals") << "1.234\t1.2345\t2.5" << QStringList{"0,0,2.5"};
        QTest::newRow("beyond the editor") << "10000\t10000\t100000" << QStringList{"0,0,1"};
        QTest::newRow("no finite number") << "inf\tnan\t1e3" << QStringList{"0,0,1"};
        // Taken by the editor, then capped as a typed cell is.
        QTest::newRow("above the caps") << "45\t2500\t10000" << QStringList{"40,2000,9999.999"};
        QTest::newRow("at the editor's limits") << "9999\t0.02\t0.5" << QStringList{"40,0.02,0.5"};
    }
    void pasteLines()
    {
        QFETCH(QString, clipboard);
        QFETCH(QStringList, added);
        QApplication::clipboard()->setText(clipboard);
        QTest::keyClick(table(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(rowsOf(table()).mid(8), added);
        QCOMPARE(page->autoStepCount(), 8 + added.size());
    }

    // A paste names in one message the cells it did not take; a paste that
    // takes every cell says nothing.
    void pasteNamesRefusedCells_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QStringList>("named");
        QTest::newRow("all taken") << "1\t2\t3\n4,5\t0.02\t0.5" << QStringList{};
        QTest::newRow("some refused")
            << "abc\t0.01\t1\n2\t3\t0.4\n-1\t1.2345\t5"
            << QStringList{"第9行 Current: \"abc\"", "第9行 Rise Slope: \"0.01\"", "第10行 Time: \"0.4\"",
                           "第11行 Current: \"-1\"", "第11行 Rise Slope: \"1.2345\""};
        QTest::newRow("long cell cut short")
            << QStringLiteral("%1\t1\t1").arg(QString(200, QLatin1Char('x')))
            << QStringList{QStringLiteral("第9行 Current: \"%1…\"").arg(QString(16, QLatin1Char('x')))};
        QStringList many;
        QStringList named;
        for (int k = 0; k < 40; ++k)
            many << QStringLiteral("x\ty\tz");
        for (int k = 0; k < 10; ++k)
            named << QStringLiteral("第%1行 %2: \"%3\"")
                         .arg(9 + k / 3)
                         .arg(QStringList{"Current", "Rise Slope", "Time"}.at(k % 3))
                         .arg(QStringList{"x", "y", "z"}.at(k % 3));
        named << QStringLiteral("……共120个单元格未被采用");
        QTest::newRow("many refused") << many.join('\n') << named;
    }
    void pasteNamesRefusedCells()
    {
        QFETCH(QString, clipboard);
        QFETCH(QStringList, named);
        QApplication::clipboard()->setText(clipboard);
        QTest::keyClick(table(), Qt::Key_V, Qt::ControlModifier);
        if (named.isEmpty()) {
            QVERIFY(rec->messages.isEmpty());
            return;
        }
        QCOMPARE(rec->messages.size(), 1);
        QCOMPARE(rec->messages.first().title, QStringLiteral("提示"));
        QCOMPARE(rec->messages.first().parent, page.get());
        QStringList lines = rec->lastText().split('\n');
        QCOMPARE(lines.takeFirst(), QStringLiteral("以下粘贴的单元格不是该列可取的数字，未被采用，改为新行的值："));
        QCOMPARE(lines, named);
    }

    void menuEntries()
    {
        // Nothing pressed: delete and insert warn.
        page->stepMenuChosen(ListPage::StepMenuDelete);
        QCOMPARE(rec->texts(), QStringList{kPickRow});
        QCOMPARE(rec->messages.first().title, QStringLiteral("提示"));
        page->stepMenuChosen(ListPage::StepMenuInsertBelow);
        QCOMPARE(rec->texts(), (QStringList{kPickRow, kPickRow}));
        QCOMPARE(table()->rowCount(), 8);

        // Insert below row 2.
        page->stepMenuChosen(-1); // no entry chosen
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, table()->visualItemRect(table()->item(2, 1)).center());
        QCOMPARE(page->stepRow(), 2);
        page->stepMenuChosen(ListPage::StepMenuInsertBelow);
        QCOMPARE(rowsOf(table()).at(3), QStringLiteral("0,0,1"));
        QCOMPARE(page->stepRow(), -1);
        QCOMPARE(page->autoStepCount(), 9);

        // Delete two selected rows.
        table()->setCurrentCell(5, 0);
        table()->selectRow(5);
        table()->selectionModel()->select(table()->model()->index(1, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        page->stepMenuChosen(ListPage::StepMenuDelete);
        QCOMPARE(rowsOf(table()), (QStringList{"0,2000,1", "2,2000,1", "0,0,1", "3,2000,1", "5,2000,1",
                                               "6,2000,1", "7,2000,1"}));
        QCOMPARE(page->autoStepCount(), 7);

        // Clear.
        page->stepMenuChosen(ListPage::StepMenuClear);
        QCOMPARE(table()->rowCount(), 0);
        QCOMPARE(page->autoStepCount(), 0);
        QCOMPARE(w<QLabel>("labelAutoStepNum")->text(), QStringLiteral("0"));
    }

    void delegateRanges_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("current 9999") << 0 << "9999" << true;
        QTest::newRow("current 3 decimals") << 0 << "1.234" << false;
        QTest::newRow("current letters") << 0 << "abc" << false;
        QTest::newRow("slope 0.01") << 1 << "0.01" << false;
        QTest::newRow("slope 0.125") << 1 << "0.125" << true;
        QTest::newRow("time 0.4") << 2 << "0.4" << false;
        QTest::newRow("time 99999") << 2 << "99999" << true;
        QTest::newRow("time 100000") << 2 << "100000" << false;
    }
    void delegateRanges()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(bool, acceptable);
        QStyleOptionViewItem opt;
        std::unique_ptr<QWidget> editor(
            table()->itemDelegate()->createEditor(table()->viewport(), opt, table()->model()->index(0, column)));
        auto *edit = qobject_cast<QLineEdit *>(editor.get());
        QVERIFY(edit && edit->validator());
        int pos = 0;
        QString t = text;
        QCOMPARE(edit->validator()->validate(t, pos) == QValidator::Acceptable, acceptable);
    }

    // The editor's rule has no locale: '.' is the decimal point, a comma
    // becomes one as it is typed.
    void editorRuleWithoutLocale_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("kept");
        const QLocale de(QLocale::German, QLocale::Germany);
        const QLocale c = QLocale::c();
        for (const QLocale &l : {c, de}) {
            const QString n = l == c ? QStringLiteral("C: ") : QStringLiteral("German: ");
            QTest::newRow(qPrintable(n + "point")) << l << 0 << "1.5" << int(QValidator::Acceptable) << "1.5";
            QTest::newRow(qPrintable(n + "comma")) << l << 0 << "1,5" << int(QValidator::Acceptable) << "1.5";
            QTest::newRow(qPrintable(n + "grouped")) << l << 0 << "1.000,5" << int(QValidator::Invalid) << "";
            QTest::newRow(qPrintable(n + "open point")) << l << 2 << "2," << int(QValidator::Acceptable) << "2.";
            QTest::newRow(qPrintable(n + "below the slope minimum"))
                << l << 1 << "0,01" << int(QValidator::Intermediate) << "0.01";
            QTest::newRow(qPrintable(n + "below the time minimum"))
                << l << 2 << "0.4" << int(QValidator::Intermediate) << "0.4";
            QTest::newRow(qPrintable(n + "sign")) << l << 0 << "-1" << int(QValidator::Invalid) << "";
            QTest::newRow(qPrintable(n + "exponent")) << l << 2 << "1e3" << int(QValidator::Invalid) << "";
            QTest::newRow(qPrintable(n + "empty")) << l << 0 << "" << int(QValidator::Intermediate) << "";
        }
    }
    void editorRuleWithoutLocale()
    {
        QFETCH(QLocale, locale);
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(int, state);
        QFETCH(QString, kept);
        const QLocale before;
        QLocale::setDefault(locale);
        QStyleOptionViewItem opt;
        std::unique_ptr<QWidget> editor(
            table()->itemDelegate()->createEditor(table()->viewport(), opt, table()->model()->index(0, column)));
        QLocale::setDefault(before);
        auto *edit = qobject_cast<QLineEdit *>(editor.get());
        QVERIFY(edit && edit->validator());
        int pos = text.size();
        QString t = text;
        QCOMPARE(int(edit->validator()->validate(t, pos)), state);
        if (state != QValidator::Invalid)
            QCOMPARE(t, kept);
    }

    // --- List files

    void saveDefaultRows()
    {
        w<QSpinBox>("spinBoolNum")->setValue(3);
        const QString path = dir->filePath(QStringLiteral("list.csv"));
        rec->answerFile(path);
        call("on_commandLoadToFileLIst_2_clicked");
        QVERIFY(rec->messages.isEmpty());
        QCOMPARE(rec->files.size(), 1);
        QCOMPARE(rec->files.first().caption, QStringLiteral("Save CSV File"));
        QCOMPARE(rec->files.first().filter, QStringLiteral("CSV Files (*.csv)"));
        QString expected = headOf(8, 3, "auto");
        for (int k = 1; k <= 8; ++k)
            expected += QStringLiteral("#%1,%2,2000,1\n").arg(k).arg(k - 1);
        QCOMPARE(QString::fromUtf8(readFile(path)), expected);
    }

    void saveWithNote()
    {
        writeFile(QStringLiteral("编辑注意.txt"), QByteArray("Note line 1\nline 2\0ignored", 26));
        const QString path = dir->filePath(QStringLiteral("n.csv"));
        rec->answerFile(path);
        call("on_commandLoadToFileLIst_2_clicked");
        QVERIFY(QString::fromUtf8(readFile(path)).startsWith(QStringLiteral("Note line 1\nline 2\n,,,\n,,,\n#TotalCounts,8,,,")));
    }

    void saveRefused_data()
    {
        QTest::addColumn<QString>("relative"); // below the scratch folder; "" cancels
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("written");
        QTest::newRow("cancelled") << "" << "文件名不能有中文或者不能为空" << false;
        QTest::newRow("chinese name") << "列表.csv" << "文件名不能有中文或者不能为空" << false;
        QTest::newRow("chinese folder") << "列表/ok.csv" << "" << true;
        QTest::newRow("folder missing") << "missing/ok.csv" << "warning" << false;
    }
    void saveRefused()
    {
        QFETCH(QString, relative);
        QFETCH(QString, message);
        QFETCH(bool, written);
        QDir(dir->path()).mkdir(QStringLiteral("列表"));
        const QString path = relative.isEmpty() ? QString() : dir->filePath(relative);
        rec->answerFile(path);
        call("on_commandLoadToFileLIst_2_clicked");
        QCOMPARE(!path.isEmpty() && QFile::exists(path), written);
        if (message.isEmpty()) {
            QVERIFY(rec->messages.isEmpty());
        } else if (message == QLatin1String("warning")) {
            // The failed save is reported with the file's own error text.
            QCOMPARE(rec->messages.size(), 1);
            QCOMPARE(rec->messages.first().icon, Dialogs::Icon::Warning);
            QFile probe(path);
            QVERIFY(!probe.open(QIODevice::WriteOnly));
            QCOMPARE(rec->messages.first().text, probe.errorString());
        } else {
            QCOMPARE(rec->texts(), QStringList{message});
        }
    }

    void readCases_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("warnings");
        const QString eight = QStringLiteral("#1,1,10,1\n#2,2,10,1\n#3,3,10,1\n#4,4,10,1\n#5,5,10,1\n#6,6,10,1\n"
                                             "#7,7,10,1\n#8,8,10,1\n");
        QStringList eightRows;
        for (int k = 1; k <= 8; ++k)
            eightRows << QStringLiteral("%1,10,1").arg(k);
        QStringList defaults;
        for (int k = 0; k < 8; ++k)
            defaults << QStringLiteral("%1,2000,1").arg(k);
        const QString cjkWarn = QStringLiteral("单元格含有非法字符请检查表格字符格式，自动改为");
        QTest::newRow("AUTO upper case") << headOf(2, 4, "AUTO") + "#1,1.5,100,2\n#2,3,200,4\n" << 0 << 2
                                         << QStringList{"1.5,100,2", "3,200,4"} << QStringList{};
        QTest::newRow("Manual mixed case") << headOf(1, 0, "Manual") + "#1,2,5,\n" << 1 << 1
                                           << QStringList{"2,5,0.5"} << QStringList{};
        QTest::newRow("trigger") << headOf(1, 0, "trigger") + "#1,2,5,abc\n" << 2 << 1
                                 << QStringList{"2,5,0.5"} << QStringList{};
        QTest::newRow("count 5, eight lines") << headOf(5, 1, "auto") + eight << 0 << 5 << eightRows
                                              << QStringList{};
        QTest::newRow("abc current") << headOf(1, 1, "auto") + "#1,abc,10,1\n" << 0 << 1 << QStringList{"1,10,1"}
                                     << QStringList{cjkWarn + "1A！"};
        QTest::newRow("bad slope and time") << headOf(1, 1, "auto") + "#1,2,x,y\n" << 0 << 1
                                            << QStringList{"2,2000,9999"}
                                            << QStringList{cjkWarn + "2000A/ms！", cjkWarn + "9999S！"};
        QTest::newRow("missing cells") << headOf(1, 1, "auto") + "#1\n" << 0 << 1 << QStringList{"1,2000,9999"}
                                       << QStringList{cjkWarn + "1A！", cjkWarn + "2000A/ms！", cjkWarn + "9999S！"};
        QTest::newRow("slope 0.001, time 0.1") << headOf(1, 1, "auto") + "#1,1,0.001,0.1\n" << 0 << 1
                                               << QStringList{"1,0.02,0.5"} << QStringList{};
        QTest::newRow("above the maxima") << headOf(1, 1, "auto") + "#1,90,5000,100000\n" << 0 << 1
                                          << QStringList{"40,2000,9999.999"} << QStringList{}; // the cell's own cap
        QString many = headOf(120, 1, "auto");
        for (int k = 1; k <= 120; ++k)
            many += QStringLiteral("#%1,1,1,1\n").arg(k);
        QTest::newRow("120 lines") << many << 0 << 120 << times(100, "1,1,1") << times(20, kRowLimit);
        QTest::newRow("unknown mode") << headOf(1, 1, "list") + "#1,1,1,1\n" << 0 << 8 << defaults
                                      << QStringList{"没有该模式，请检查文件格式是否正确！"};
        QTest::newRow("no mode line") << QString("#1,1,1,1\n") << 0 << 8 << defaults
                                      << QStringList{"没有该模式，请检查文件格式是否正确！"};
        // A line is read up to 4096 characters; the rest of a longer line is
        // dropped, never read as a line of its own.
        const QString step1 = QStringLiteral("#1,1,10,1,");
        QTest::newRow("over-long step line")
            << headOf(2, 1, "auto") + step1 + QString(40000, 'x') + "#40,2000,9999\n#2,2,10,1\n" << 0 << 2
            << QStringList{"1,10,1", "2,10,1"} << QStringList{};
        QTest::newRow("rest of a long line starts with #")
            << headOf(2, 1, "auto") + step1 + QString(4096 - step1.size(), 'x') + "#40,2000,9999\n#2,2,10,1\n" << 0
            << 2 << QStringList{"1,10,1", "2,10,1"} << QStringList{};
        QTest::newRow("line of exactly 4096")
            << headOf(2, 1, "auto") + step1 + QString(4096 - step1.size(), 'x') + "\n#2,2,10,1\n" << 0 << 2
            << QStringList{"1,10,1", "2,10,1"} << QStringList{};
        QTest::newRow("over-long mode line")
            << QString(",,,\n#TotalCounts,1,,,\n#Mode,auto,,,") + QString(4096 - 13, ' ') + "#Mode,list,,,\n#1,1,1,1\n"
            << 0 << 1 << QStringList{"1,1,1"} << QStringList{};
        QTest::newRow("CR LF, other lines") << QString(headOf(1, 2, "auto") + "junk,1,2\n#1,3,4,5\n").replace("\n", "\r\n")
                                            << 0 << 1 << QStringList{"3,4,5"} << QStringList{};
    }
    void readCases()
    {
        QFETCH(QString, content);
        QFETCH(int, mode);
        QFETCH(int, count);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, warnings);
        const QString path = writeFile(QStringLiteral("in.csv"), content.toUtf8());
        page->readListFile(path);
        QCOMPARE(rowsOf(table()), rows);
        QCOMPARE(rec->texts(), warnings);
        QCOMPARE(page->listMode(), mode);
        QCOMPARE(w<QStackedWidget>("stackedListMode")->currentIndex(), mode);
        const int counts[] = {page->autoStepCount(), page->manualStepCount(), page->triggerStepCount()};
        QCOMPARE(counts[mode], count);
        const char *labels[] = {"labelAutoStepNum", "labelManualStepNum", "labelTriggerStepNum"};
        QCOMPARE(w<QLabel>(labels[mode])->text(), QString::number(count));
        // The combo has the AUTO entry only and keeps it.
        QCOMPARE(w<QComboBox>("comMode")->currentIndex(), 0);
    }

    void readCycles()
    {
        page->readListFile(writeFile(QStringLiteral("c.csv"), (headOf(1, 7, "auto") + "#1,1,1,1\n").toUtf8()));
        QCOMPARE(w<QSpinBox>("spinBoolNum")->value(), 7);
        page->readListFile(dir->filePath(QStringLiteral("absent.csv"))); // only logged
        QVERIFY(rec->messages.isEmpty());
        QCOMPARE(table()->rowCount(), 1);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("cycles");
        QTest::newRow("auto") << "auto" << 5;
        QTest::newRow("manual") << "manual" << 0;
        QTest::newRow("trigger") << "trigger" << 0;
    }
    void roundTrip()
    {
        QFETCH(QString, mode);
        QFETCH(int, cycles);
        const QString steps = QStringLiteral("#1,1.25,0.5,2\n#2,39.5,1999,9999\n#3,0,0.02,0.5\n");
        page->readListFile(writeFile(QStringLiteral("a.csv"), (headOf(3, 5, mode.toLatin1()) + steps).toUtf8()));
        const QStringList rows = rowsOf(table());
        QCOMPARE(rows.size(), 3);
        const QString out = dir->filePath(QStringLiteral("b.csv"));
        rec->answerFile(out);
        call("on_commandLoadToFileLIst_2_clicked");
        QVERIFY(rec->messages.isEmpty());
        // The count written is the auto mode's, whatever the mode (8 default rows).
        QCOMPARE(QString::fromUtf8(readFile(out)), headOf(mode == "auto" ? 3 : 8, cycles, mode.toLatin1()) + steps);

        ListPage other;
        other.pollTimer()->stop();
        other.readListFile(out);
        QCOMPARE(rowsOf(other.stepTable()), rows);
        QCOMPARE(other.modeWord(), mode);
    }

    void fileTable()
    {
        auto *files = w<QTableWidget>("tableFile");
        // Loading with no file chosen.
        call("on_commandLoadToList_clicked");
        QCOMPARE(rec->texts(), QStringList{"请选择文件"});
        rec->clear();

        const QString path = writeFile(QStringLiteral("f.csv"), (headOf(1, 1, "auto") + "#1,9,9,9\n").toUtf8());
        rec->answerFiles({path});
        call("on_commandLoadToFileLIst_clicked");
        QCOMPARE(rec->files.first().kind, Dialogs::FileKind::OpenMany);
        QCOMPARE(rec->files.first().caption, QStringLiteral("选择要导入的CSV文件"));
        QCOMPARE(rec->files.first().filter, QStringLiteral("CSV Files (*.csv)"));
        QCOMPARE(files->rowCount(), 1);
        QCOMPARE(files->item(0, 0)->text(), QStringLiteral("f.csv"));
        QCOMPARE(files->item(0, 1)->text(), path);
        QVERIFY(QDateTime::fromString(files->item(0, 2)->text(), Qt::ISODate).isValid());
        QVERIFY(!(files->item(0, 0)->flags() & Qt::ItemIsEditable));
        call("on_commandLoadToFileLIst_clicked"); // cancelled: nothing added
        QCOMPARE(files->rowCount(), 1);

        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(files->item(0, 0)).center());
        QCOMPARE(page->fileRow(), 0);
        call("on_commandLoadToList_clicked");
        QCOMPARE(rowsOf(table()), QStringList{"9,9,9"});
        QCOMPARE(page->fileRow(), -1);

        // Menu: remove without a row warns; with a row it goes.
        page->fileMenuChosen(ListPage::FileMenuRemove);
        QCOMPARE(rec->texts(), QStringList{"请选择文件"});
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(files->item(0, 0)).center());
        page->fileMenuChosen(ListPage::FileMenuRemove);
        QCOMPARE(files->rowCount(), 0);
        rec->answerFiles({path});
        call("on_commandLoadToFileLIst_clicked");
        QCOMPARE(files->rowCount(), 1);
        page->fileMenuChosen(ListPage::FileMenuClear);
        QCOMPARE(files->rowCount(), 0);
        QCOMPARE(page->fileRow(), -1);
    }

    void importSeveralFiles()
    {
        auto *files = w<QTableWidget>("tableFile");
        const QString a = writeFile(QStringLiteral("b.csv"), QByteArray());
        const QString b = writeFile(QStringLiteral("a.csv"), QByteArray());
        const QString c = dir->filePath(QStringLiteral("sub/c.csv"));
        rec->answerFiles({a, b, c});
        rec->answerFiles({b});
        call("on_commandLoadToFileLIst_clicked");
        call("on_commandLoadToFileLIst_clicked");
        QCOMPARE(rec->files.size(), 2);
        // Every file chosen, in the order given, appended after the rows there.
        QStringList names, paths;
        for (int r = 0; r < files->rowCount(); ++r) {
            names << files->item(r, 0)->text();
            paths << files->item(r, 1)->text();
        }
        QCOMPARE(names, (QStringList{"b.csv", "a.csv", "c.csv", "a.csv"}));
        QCOMPARE(paths, (QStringList{a, b, c, b}));
        QVERIFY(rec->messages.isEmpty());
    }

    // --- Status, limits and replies

    void startNotIdentified()
    {
        page->LISTreceDevFun(false, 0, QStringLiteral("START"));
        QCOMPARE(sent->count(), 0);
        QCOMPARE(w<QLabel>("labelLinkStatus")->text(), QStringLiteral("OFF"));
        QCOMPARE(w<QLabel>("labelLinkStatus")->styleSheet(), QStringLiteral("color: rgb(255, 0, 0);"));
    }

    void startTakesOver_data()
    {
        QTest::addColumn<int>("series");
        QTest::addColumn<QStringList>("datas");
        const QStringList off = times(3, "INP OFF\n");
        QTest::newRow("85/86 series") << 0 << off + QStringList{"FUNC 1\n", "VOLT:PROT?\n", "CURR:PROT?\n", "POW:PROT?\n"};
        QTest::newRow("15/30/60 series") << 1 << off + QStringList{"MODE 0\n", "FUNC 1\n", "VOLT:PROT?\n",
                                                                  "CURR:PROT?\n", "POW:PROT?\n"};
    }
    void startTakesOver()
    {
        QFETCH(int, series);
        QFETCH(QStringList, datas);
        modelSeriesFlag = series;
        page->LISTreceDevFun(true, 1, QStringLiteral("START"));
        QCOMPARE(sent->datas(), datas);
        for (const DataPack &p : sent->packs)
            QCOMPARE(p.pageId, p.data == QLatin1String("MODE 0\n") ? int(DataPack::BatteryPage)
                                                                    : int(DataPack::ListPageId));
        QCOMPARE(sent->packs.at(3).key, series ? QStringLiteral("SYS:OutMode") : QStringLiteral("SYS:FUNC:M"));
        QCOMPARE(w<QLabel>("labelLinkStatus")->text(), QStringLiteral("ON"));
        QCOMPARE(w<QLabel>("labelLinkStatus")->styleSheet(), QStringLiteral("color: rgb(65, 174, 60);"));
    }

    void badge_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("acDcModel");
        QTest::addColumn<bool>("ac");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no link") << false << true << false << "";
        QTest::newRow("DC model") << true << false << false << "";
        QTest::newRow("DC") << true << true << false << "DC";
        QTest::newRow("AC") << true << true << true << "AC";
    }
    void badge()
    {
        QFETCH(bool, connected);
        QFETCH(bool, acDcModel);
        QFETCH(bool, ac);
        QFETCH(QString, shown);
        acDcModelFlag = acDcModel;
        acModeFlag = ac;
        page->show();
        page->LISTreceDevFun(connected, 1, QStringLiteral("STATUS"));
        auto *b = w<QLabel>("labelAcDcBadge");
        QCOMPARE(b->isVisible(), !shown.isEmpty());
        if (!shown.isEmpty()) {
            QCOMPARE(b->text(), shown);
            QVERIFY(b->styleSheet().contains(ac ? "rgb(233, 85, 102)" : "rgb(30, 144, 255)"));
        }
    }

    void effectiveMaxima()
    {
        elcLimitParam l;
        l.limitMaxCurr = 40;
        l.limitMaxAcCurr = 0;
        l.limitMaxAcOvp = 100;
        l.limitMaxAcOcp = 30;
        page->recvLimitParam(l);
        acModeFlag = true;
        QCOMPARE(page->currentCurrMax(), 40.0f); // no AC word: the DC one
        QCOMPARE(page->currentOvpMax(), 100.0f);
        QCOMPARE(page->currentOcpMax(), 30.0f);
        acModeFlag = false;
        QCOMPARE(page->currentOvpMax(), l.limitMaxOvp);
    }

    void limitsClampProtections()
    {
        makeReady();
        w<QDoubleSpinBox>("SpinLimitOPP")->setValue(500);
        elcLimitParam l; // OVP 165, OCP 44, OPP 440
        page->recvLimitParam(l);
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOPP")->value(), 440.0);
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOVP")->value(), 165.0);
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOCP")->value(), 22.0);
        QCOMPARE(sent->datas(), (QStringList{"POW:PROT 440\n", "VOLT:PROT 165\n"}));
    }

    void protectionButton()
    {
        call("on_pushButtonProt_clicked");
        QCOMPARE(sent->count(), 0); // not linked
        makeReady();
        call("on_pushButtonProt_clicked");
        QCOMPARE(sent->datas(), (QStringList{"VOLT:PROT 320\n", "CURR:PROT 22\n", "POW:PROT 10\n"}));
        sent->clear();
        w<QDoubleSpinBox>("SpinLimitOVP")->setValue(200); // above the default maximum 155
        call("on_SpinLimitOVP_editingFinished");
        QCOMPARE(sent->datas(), QStringList{"VOLT:PROT 155\n"});
    }

    void measureAll_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("applied");
        QTest::newRow("six fields") << "12.5,1.25,15.6,OFF,OFF,OFF\n" << true;
        QTest::newRow("five fields") << "12.5,1.25,15.6,OFF,OFF\n" << false;
        QTest::newRow("current no number") << "12.5,abc,15.6,OFF,OFF,OFF\n" << false;
        QTest::newRow("current not finite") << "12.5,nan,15.6,OFF,OFF,OFF\n" << false;
        QTest::newRow("voltage beyond the model") << "160.5,1.25,15.6,OFF,OFF,OFF\n" << false;
        QTest::newRow("current beyond the model") << "12.5,40.5,15.6,OFF,OFF,OFF\n" << false;
    }
    void measureAll()
    {
        QFETCH(QString, text);
        QFETCH(bool, applied);
        elcLimitParam l; // 150 V, 40 A
        page->recvLimitParam(l);
        reply(QStringLiteral("SYS:ALL:M"), text);
        QCOMPARE(page->measuredVolt(), applied ? 12.5f : 0.0f);
        QCOMPARE(page->measuredCurr(), applied ? 1.25f : 0.0f);
        QCOMPARE(w<QLabel>("labelVoltage")->text(), applied ? QStringLiteral("12.500V") : QStringLiteral("0.000V"));
        QCOMPARE(w<QLabel>("labelCurrent")->text(), applied ? QStringLiteral("1.250A") : QStringLiteral("0.000A"));
    }

    void otherReplies()
    {
        reply(QStringLiteral("SYS:VOLT:M"), QStringLiteral("3.5\n"));
        QCOMPARE(w<QLabel>("labelVoltage")->text(), QStringLiteral("3.500V"));
        reply(QStringLiteral("SYS:CURR:M"), QStringLiteral("0.75\n"), DataPack::NoReply); // ignored
        QCOMPARE(page->measuredCurr(), 0.0f);
        reply(QStringLiteral("SYS:OVP:M"), QStringLiteral("60\n"));
        reply(QStringLiteral("SYS:OCP:M"), QStringLiteral("12\n"));
        reply(QStringLiteral("SYS:OPP:M"), QStringLiteral("inf\n"));
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOVP")->value(), 60.0);
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOCP")->value(), 12.0);
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOPP")->value(), 10.0);
        // Keys without a routing suffix are dropped.
        reply(QStringLiteral("SYSVOLT"), QStringLiteral("9\n"));
        reply(QStringLiteral("SYS:VOLT:"), QStringLiteral("9\n"));
        QCOMPARE(page->measuredVolt(), 3.5f);
        QCOMPARE(sent->count(), 0);
        QVERIFY(rec->messages.isEmpty());
    }

    void returnButton()
    {
        QSignalSpy exit(page.get(), &ListPage::ExtiPage);
        w<QAbstractButton>("commandReturnButton")->click();
        QCOMPARE(exit.count(), 1);
    }

    void modeComboIndexes()
    {
        QMetaObject::invokeMethod(page.get(), "on_comMode_currentIndexChanged", Q_ARG(int, 1));
        QCOMPARE(page->listMode(), 1);
        QCOMPARE(w<QStackedWidget>("stackedWidget")->currentIndex(), 1);
        QMetaObject::invokeMethod(page.get(), "on_comMode_currentIndexChanged", Q_ARG(int, 5));
        QCOMPARE(page->listMode(), 1); // only the stacked page follows
        QMetaObject::invokeMethod(page.get(), "on_comMode_currentIndexChanged", Q_ARG(int, 0));
        QCOMPARE(w<QStackedWidget>("stackedWidget")->currentIndex(), 0);
    }

    void firstStatusBlockAsksOnce()
    {
        QSignalSpy status(page.get(), &ListPage::LISTgetDevStatus);
        QSignalSpy limits(page.get(), &ListPage::getLimitValue);
        for (int k = 0; k < 40; ++k)
            page->tick();
        QCOMPARE(status.count(), 1);
        QCOMPARE(limits.count(), 1);
    }

    // --- Record log: this page's columns and wiring

    void logStartRefusedWithoutLink()
    {
        w<QPushButton>("pushButtonStart")->click();
        QCOMPARE(rec->texts(), QStringList{"设备未连接"});
        QCOMPARE(page->fileSaveParams().recordState, 0);
        QCOMPARE(QDir(dir->filePath("LOG")).entryList(QDir::Files).size(), 0);
    }

    void logColumnsAndSlots()
    {
        page->recvLimitParam(elcLimitParam()); // 150 V, 40 A
        makeReady();
        qint64 now = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 80)).toMSecsSinceEpoch();
        page->recordLog()->setClock([&now]() { return now; });
        reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("12.3456,1.5,18.5,OFF,OFF,OFF\n"));
        w<QDoubleSpinBox>("doubleSpinBoxInterval")->setValue(0.5);
        call("on_doubleSpinBoxInterval_editingFinished");
        QCOMPARE(page->fileSaveParams().interval, 0.5);
        w<QSpinBox>("spinBoxLen")->setValue(3);
        call("on_spinBoxLen_editingFinished");
        QCOMPARE(page->fileSaveParams().lengthHours, 3);

        w<QPushButton>("pushButtonStart")->click();
        const FileSaveParamsList p = page->fileSaveParams();
        QCOMPARE(p.recordState, 1);
        QCOMPARE(p.folder, dir->filePath("LOG/20260304_050607.csv"));
        QCOMPARE(page->recordLog()->timer()->interval(), 500);
        QCOMPARE(w<QLabel>("label_log_status")->text(), QStringLiteral("记录中"));
        QVERIFY(!w<QPushButton>("pushButtonStart")->isEnabled());
        QVERIFY(!w<QPushButton>("pushButtonBrow")->isEnabled());
        page->recordLog()->writeLogRow();
        now += 500;
        page->recordLog()->writeLogRow();
        QCOMPARE(w<QLabel>("label_log_sum")->text(), QStringLiteral("0")); // shown at the next status refresh
        for (int k = 0; k < 11; ++k)
            page->tick();
        QCOMPARE(w<QLabel>("label_log_sum")->text(), QStringLiteral("2"));

        w<QPushButton>("pushButtonPause")->click();
        QCOMPARE(page->fileSaveParams().recordState, 2);
        QCOMPARE(w<QPushButton>("pushButtonStart")->text(), QStringLiteral("继续记录"));
        w<QPushButton>("pushButtonClear")->click();
        QCOMPARE(page->fileSaveParams().storeNo, 0);
        w<QPushButton>("pushButtonStart")->click();
        QCOMPARE(page->fileSaveParams().recordState, 1);
        page->recordLog()->writeLogRow();
        w<QPushButton>("pushButtonStop")->click();
        QCOMPARE(page->fileSaveParams().recordState, 0);
        QCOMPARE(QString::fromUtf8(readFile(p.folder)),
                 QStringLiteral("Store No.,Date,Time,Volt(V),Curr(A)\n0,2026-03-04,05:06:07:580,12.346,1.500\n"));

        // Browse puts the chosen folder into the line edit.
        rec->answerFile(dir->path());
        w<QPushButton>("pushButtonBrow")->click();
        QCOMPARE(rec->files.last().caption, QStringLiteral("选择日志目录"));
        QCOMPARE(rec->files.last().kind, Dialogs::FileKind::Directory);
        QCOMPARE(w<QLineEdit>("lineEditDir")->text(), dir->path());
    }

    // --- Chart export

    void exportTenSeconds()
    {
        for (qint64 t = 0; t <= 10000; t += 500)
            page->addChartPoint(t, 12 + t / 1000.0, 1.5);
        const QString path = dir->filePath(QStringLiteral("e.csv"));
        rec->answerFile(path);
        call("on_commandLoadButton_clicked");
        QCOMPARE(rec->texts(), QStringList{"数据已成功导出"});
        const QStringList lines = QString::fromLatin1(readFile(path)).split('\n');
        QCOMPARE(lines.first(), QStringLiteral("Store No.,Time(hh:mm:ss:zzz),Volt(V),Curr(A)"));
        QCOMPARE(lines.size(), 13); // header, 11 rows, the empty text after the last "\n"
        QCOMPARE(lines.at(1), QStringLiteral("1,00:00:00:000,12,1.5"));
        QCOMPARE(lines.at(2), QStringLiteral("2,00:00:01:000,13,1.5"));
        QCOMPARE(lines.at(11), QStringLiteral("11,00:00:10:000,22,1.5"));
    }

    void exportFailures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("points");
        QTest::addColumn<QString>("title");
        QTest::newRow("no data") << "ok.csv" << false << "导出完成";
        QTest::newRow("device full") << "/dev/full" << true << "导出失败";
        QTest::newRow("cannot open") << "missing/x.csv" << true << "无法打开文件";
    }
    void exportFailures()
    {
        QFETCH(QString, path);
        QFETCH(bool, points);
        QFETCH(QString, title);
        if (path.startsWith('/') && !QFileInfo(path).isWritable())
            QSKIP("no writable /dev/full here");
        if (points)
            for (qint64 t = 0; t <= 600000; t += 500)
                page->addChartPoint(t, 12, 1.5, false);
        rec->answerFile(path.startsWith('/') ? path : dir->filePath(path));
        call("on_commandLoadButton_clicked");
        QCOMPARE(rec->messages.size(), 1);
        QCOMPARE(rec->messages.first().title, title);
    }
};

QTEST_MAIN(TestListPage)
#include "tst_listpage.moc"
