// The list page's step table: set-up, clamps, rows, copy and paste, context
// menu, step counts and the row highlight of a running list.

#include "ListPage.h"
#include "ui_ListPage.h"

#include "Dialogs.h"
#include "ListCells.h"
#include "PageTools.h"
#include "NumberDelegate.h"

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QSignalBlocker>
#include <QTableWidget>

#include <algorithm>

namespace {

using ListCells::number;
using ListCells::sixDigits;

QTableWidgetItem *centredItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

} // namespace

void ListPage::initStepTable()
{
    m_listMode = AutoMode;
    QTableWidget *t = ui->tableAUTO;
    t->setColumnCount(3);
    t->setItemDelegate(new NumberDelegate(t));
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    updateStepHeaders();
    QFont headerFont(QStringLiteral("微软雅黑"), 8);
    t->horizontalHeader()->setFont(headerFont);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    t->setContextMenuPolicy(Qt::CustomContextMenu);
    t->installEventFilter(this);
}

void ListPage::updateStepHeaders()
{
    const QString curr = QStringLiteral("Current\n(0-%0.00(A))")
                             .replace(QLatin1String("%0"), sixDigits(double(currentCurrMax())));
    const QString slope = QStringLiteral("Rise Slope\n(0.02-%0(A/ms))")
                              .replace(QLatin1String("%0"), sixDigits(double(m_limits.limitMaxSlope)));
    ui->tableAUTO->setHorizontalHeaderLabels({curr, slope, QStringLiteral("Time\n(0.5-9999(s))")});
}

void ListPage::addStepRow(QTableWidget *table, const QString &current, const QString &slope, const QString &time)
{
    if (table->rowCount() > kMaxSteps - 1) {
        Dialogs::warning(nullptr, tr("提示"), tr("最大步数为100"));
        return;
    }
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, 0, centredItem(current));
    table->setItem(row, 1, centredItem(slope));
    table->setItem(row, 2, centredItem(time));
}

void ListPage::insertStepRow(QTableWidget *table, int row, const QString &current, const QString &slope,
                             const QString &time)
{
    if (m_stepTable->rowCount() > kMaxSteps - 1)
        return;
    row = qBound(0, row, table->rowCount());
    table->insertRow(row);
    table->setItem(row, 0, centredItem(current));
    table->setItem(row, 1, centredItem(slope));
    table->setItem(row, 2, centredItem(m_listMode == AutoMode ? time : QString()));
}

void ListPage::updateStepCounts()
{
    const int n = ui->tableAUTO->rowCount();
    m_autoStepCount = m_manualStepCount = m_triggerStepCount = n;
    ui->labelAutoStepNum->setNum(n);
    ui->labelManualStepNum->setNum(n);
    ui->labelTriggerStepNum->setNum(n);
}

void ListPage::on_pushButtonAdd_clicked()
{
    addStepRow(m_stepTable, QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1"));
    updateStepCounts();
}

void ListPage::on_pushButtonDeleteRow_clicked()
{
    qDebug() << "rowCount" << m_stepTable->rowCount();
    if (m_stepTable->rowCount() > 0)
        m_stepTable->removeRow(m_stepTable->rowCount() - 1);
    updateStepCounts();
}

void ListPage::on_tableAUTO_itemChanged(QTableWidgetItem *item)
{
    if (!item)
        return;
    if (ListCells::columnRule(item->column())) {
        // A cell keeps its number with the decimal point, so that it reads,
        // loads and saves as it shows; the kept text comes back here to be
        // capped.
        const QString kept = ListCells::kept(item->text());
        if (kept != item->text()) {
            item->setText(kept);
            return;
        }
    }
    const double v = number(item->text());
    QString capped;
    switch (item->column()) {
    case 0:
        if (v >= double(currentCurrMax()))
            capped = sixDigits(double(currentCurrMax()));
        break;
    case 1:
        if (v >= 2000)
            capped = QStringLiteral("2000");
        break;
    case 2:
        if (v >= 9999.999)
            capped = QStringLiteral("9999.999");
        break;
    default: break;
    }
    if (!capped.isEmpty() && capped != item->text())
        item->setText(capped);
}

void ListPage::clampCurrentColumn(float maximum)
{
    QTableWidget *t = ui->tableAUTO;
    if (t->rowCount() == 0) {
        qDebug() << "表格为空，无需更新";
        return;
    }
    for (int r = 0; r < t->rowCount(); ++r) {
        QTableWidgetItem *item = t->item(r, 0);
        if (!item)
            continue;
        QString text = item->text();
        text.remove(QLatin1Char('A'));
        if (number(text) > double(maximum))
            item->setText(sixDigits(double(maximum)));
    }
    t->viewport()->update();
    qDebug() << "电流列更新完成，共检查" << t->rowCount() << "行";
}

void ListPage::highlightStepRow(int row)
{
    QTableWidget *t = m_stepTable;
    if (row < 0 || row >= t->rowCount())
        return;
    const QSignalBlocker block(t); // colours are no edits
    for (int r = 0; r < t->rowCount(); ++r)
        for (int c = 0; c < t->columnCount(); ++c)
            if (QTableWidgetItem *item = t->item(r, c))
                item->setBackground(r == row ? Qt::yellow : Qt::white);
    if (QTableWidgetItem *first = t->item(row, 0))
        t->scrollToItem(first);
}

void ListPage::clearRowHighlight()
{
    QTableWidget *t = m_stepTable;
    const QSignalBlocker block(t);
    for (int r = 0; r < t->rowCount(); ++r)
        for (int c = 0; c < t->columnCount(); ++c)
            if (QTableWidgetItem *item = t->item(r, c))
                item->setBackground(Qt::white);
}

ListPage::StepValues ListPage::readStepRow(QTableWidget *table, int row) const
{
    StepValues s;
    if (row < 0 || row >= table->rowCount())
        return s;
    auto cell = [&](int c) {
        QTableWidgetItem *item = table->item(row, c);
        return item ? number(item->text()) : 0.0;
    };
    s.current = cell(0);
    s.slope = cell(1);
    if (m_listMode == AutoMode)
        s.time = cell(2);
    return s;
}

void ListPage::copySelection()
{
    QModelIndexList cells = m_stepTable->selectionModel()->selectedIndexes();
    std::sort(cells.begin(), cells.end(), [](const QModelIndex &a, const QModelIndex &b) {
        return a.row() != b.row() ? a.row() < b.row() : a.column() < b.column();
    });
    QString text;
    int lastRow = -1;
    for (int k = 0; k < cells.size(); ++k) {
        const QModelIndex &i = cells.at(k);
        if (k > 0)
            text += i.row() != lastRow ? QLatin1Char('\n') : QLatin1Char('\t');
        lastRow = i.row();
        text += i.data(Qt::DisplayRole).toString();
    }
    QApplication::clipboard()->setText(text);
}

void ListPage::pasteRows()
{
    const QString text = QApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
    qDebug() << "paste lines" << lines.size();
    const int before = m_stepTable->rowCount();
    int inserted = 0;
    QStringList refused;
    int refusedCount = 0;
    for (const QString &raw : lines) {
        if (m_stepTable->rowCount() >= kMaxSteps)
            break;
        QString line = raw;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        // The empty line after a final newline is no row.
        if (line.isEmpty())
            continue;
        // A pasted cell follows the rule of a typed one: text the column's
        // editor would not take is not taken, the cell keeps what a new row
        // holds, and so does a cell the line leaves out; the caps of
        // on_tableAUTO_itemChanged then apply. The time counts in auto mode
        // only (the other modes leave it empty).
        const QStringList f = line.split(QLatin1Char('\t'), Qt::KeepEmptyParts);
        const QString fresh[3] = {QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1")};
        const int row = before + inserted;
        QString cells[3];
        for (int c = 0; c < 3; ++c) {
            if (c >= f.size()) {
                cells[c] = fresh[c];
                continue;
            }
            if (NumberDelegate::accepts(c, f.at(c), &cells[c]))
                continue;
            cells[c] = fresh[c];
            if (c == 2 && m_listMode != AutoMode)
                continue;
            ++refusedCount;
            if (refused.size() < kRefusedCellsShown)
                refused << refusedCellLine(row, c, f.at(c));
        }
        insertStepRow(m_stepTable, row, cells[0], cells[1], cells[2]);
        ++inserted;
    }
    updateStepCounts();
    if (refusedCount > 0) {
        QString message = tr("以下粘贴的单元格不是该列可取的数字，未被采用，改为新行的值：");
        message += QLatin1Char('\n') + refused.join(QLatin1Char('\n'));
        if (refusedCount > refused.size())
            message += QLatin1Char('\n') + tr("……共%1个单元格未被采用").arg(refusedCount);
        Dialogs::warning(this, tr("提示"), message);
    }
}

QString ListPage::refusedCellLine(int row, int column, const QString &text) const
{
    static const char *const names[3] = {"Current", "Rise Slope", "Time"};
    // A cell from a clipboard may be anything and any length.
    QString shown = text.left(kRefusedCellChars);
    if (text.size() > kRefusedCellChars)
        shown += QStringLiteral("…");
    return tr("第%1行 %2: \"%3\"").arg(row + 1).arg(QLatin1String(names[column])).arg(shown);
}

bool ListPage::eventFilter(QObject *obj, QEvent *event)
{
    if (obj == ui->tableAUTO && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Copy)) {
            copySelection();
            return true;
        }
        if (key->matches(QKeySequence::Paste)) {
            pasteRows();
            return true;
        }
    }
    return QWidget::eventFilter(obj, event);
}

void ListPage::on_tableAUTO_customContextMenuRequested(QPoint pos)
{
    QMenu menu(this);
    QAction *del = menu.addAction(tr("删除"));
    QAction *copy = menu.addAction(tr("复制(Ctrl+C)"));
    QAction *paste = menu.addAction(tr("粘贴(Ctrl+V)"));
    QAction *above = menu.addAction(tr("在上方插入行"));
    QAction *below = menu.addAction(tr("在下方插入行"));
    QAction *clear = menu.addAction(tr("清空文件列表"));
    QAction *chosen = menu.exec(ui->tableAUTO->viewport()->mapToGlobal(pos));
    qDebug() << "musicListMenu";
    const QList<QAction *> entries{del, copy, paste, above, below, clear};
    if (chosen)
        stepMenuChosen(entries.indexOf(chosen));
}

void ListPage::stepMenuChosen(int entry)
{
    QTableWidget *t = m_stepTable;
    switch (entry) {
    case StepMenuDelete: {
        if (m_stepRow == -1) {
            Dialogs::warning(nullptr, tr("提示"), tr("请选对应择行"));
            return;
        }
        removeSelectedRows(t);
        m_stepRow = -1;
        updateStepCounts();
        break;
    }
    case StepMenuCopy: copySelection(); break;
    case StepMenuPaste: pasteRows(); break;
    case StepMenuInsertAbove:
    case StepMenuInsertBelow:
        if (m_stepRow == -1) {
            Dialogs::warning(nullptr, tr("提示"), tr("请选对应择行"));
            return;
        }
        if (t->rowCount() >= kMaxSteps) {
            Dialogs::warning(nullptr, tr("提示"), tr("最大步数为100"));
            return;
        }
        insertStepRow(t, entry == StepMenuInsertAbove ? m_stepRow : m_stepRow + 1, QStringLiteral("0"),
                      QStringLiteral("0"), QStringLiteral("1"));
        updateStepCounts();
        m_stepRow = -1;
        break;
    case StepMenuClear:
        t->setRowCount(0);
        m_autoStepCount = m_manualStepCount = m_triggerStepCount = 0;
        ui->labelAutoStepNum->setNum(0);
        m_stepRow = 0;
        break;
    default: break;
    }
}

void ListPage::on_tableAUTO_cellPressed(int row, int)
{
    m_stepRow = row;
    qDebug() << "cellPressed LTabCurrentRow" << row;
}

void ListPage::on_tableAUTO_currentCellChanged(int currentRow, int, int, int)
{
    m_stepRow = currentRow;
    qDebug() << "CellChanged LTabCurrentRow" << currentRow;
}

void ListPage::on_tableAUTO_cellChanged(int, int)
{
}

void ListPage::on_spinBoolNum_valueChanged(int)
{
}

void ListPage::on_tableMANUAL_cellDoubleClicked(int, int)
{
}

void ListPage::on_tableMANUAL_cellClicked(int, int)
{
}
