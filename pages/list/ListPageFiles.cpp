// The list page's list files (writer and reader) and its file table.

#include "ListPage.h"
#include "ui_ListPage.h"

#include "AppDirectory.h"
#include "Dialogs.h"
#include "ListCells.h"
#include "PageTools.h"
#include "ReplyRules.h"

#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTextStream>
#include <QUrl>

#include <algorithm>

namespace {

// What the reader keeps of a file: lines are cut at kMaxLineChars (the rest
// of a longer line is dropped), and step lines beyond kMaxStepLines are
// dropped (the table takes 100; the rest are only counted off with the
// row-limit warning).
const int kMaxLineChars = 4096;
const int kMaxStepLines = 200;
const int kMaxLines = 100000;

// Reads a text stream line by line, keeping at most `maxChars` of a line:
// the rest of a longer line is read past and thrown away, so that it never
// comes back as a line of its own. Holds no more than one chunk and one
// line, however long the lines of the file are.
class LineReader
{
public:
    LineReader(QTextStream &in, int maxChars)
        : m_in(in), m_max(maxChars)
    {
    }

    // The next line without its end; false at the end of the stream.
    bool next(QString *line)
    {
        line->clear();
        bool any = false;
        for (;;) {
            if (m_pos >= m_chunk.size()) {
                m_chunk = m_in.read(kChunkChars);
                m_pos = 0;
                if (m_chunk.isEmpty())
                    break;
            }
            any = true;
            const int nl = m_chunk.indexOf(QLatin1Char('\n'), m_pos);
            const int end = nl < 0 ? m_chunk.size() : nl;
            const int take = std::min(end - m_pos, m_max - line->size());
            if (take > 0)
                line->append(m_chunk.midRef(m_pos, take));
            m_pos = end;
            if (nl >= 0) {
                m_pos = nl + 1;
                break;
            }
        }
        if (line->endsWith(QLatin1Char('\r')))
            line->chop(1);
        return any;
    }

private:
    static const int kChunkChars = 16384;
    QTextStream &m_in;
    const int m_max;
    QString m_chunk;
    int m_pos = 0;
};

using ListCells::number;
using ListCells::sixDigits;

// A cell of a file is a number when the reply rule takes it and it has a
// value: the rule alone also takes "." and "e5", which have none.
bool isNumberCell(const QString &text)
{
    double v = 0;
    return isNumeric(text) && toFiniteDouble(text, &v);
}

} // namespace

QString ListPage::modeWord() const
{
    return m_listMode == AutoMode ? QStringLiteral("auto")
                                  : m_listMode == ManualMode ? QStringLiteral("manual") : QStringLiteral("trigger");
}

QTableWidget *ListPage::fileTable() const
{
    return ui->tableFile;
}

QStringList ListPage::listFileLines(QTableWidget *table, int stepCount, const QString &mode, int cycles) const
{
    QStringList lines;
    const QString notePath = AppDirectory::filePath(QStringLiteral("编辑注意.txt"));
    qDebug() << "note file" << notePath;
    QFile note(notePath);
    if (note.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QByteArray bytes = note.read(1 << 20);
        const int nul = bytes.indexOf('\0');
        if (nul >= 0)
            bytes.truncate(nul);
        lines << QString::fromUtf8(bytes);
        note.close();
    } else {
        qDebug() << "sdsdsd";
    }
    const QString empty = QStringLiteral(",,,");
    lines << empty << empty;
    lines << QStringLiteral("#TotalCounts,%1,,,").arg(stepCount);
    lines << QStringLiteral("#Cycles,%1,,,").arg(cycles);
    lines << QStringLiteral("#Mode,%1,,,").arg(mode);
    lines << empty << empty;
    lines << QStringLiteral("STEP,    CURR(A),    SLOPE(A/ms),    TIME(s),");
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 3; ++c) {
            QTableWidgetItem *item = table->item(r, c);
            cells << (item ? item->text() : QString());
        }
        lines << QStringLiteral("#%1,").arg(r + 1) + cells.join(QLatin1Char(','));
    }
    return lines;
}

void ListPage::saveListFile(QTableWidget *table, int stepCount, const QString &mode, int cycles)
{
    const QStringList lines = listFileLines(table, stepCount, mode, cycles);
    const QString path = Dialogs::getSaveFileName(nullptr, QStringLiteral("Save CSV File"), QString(),
                                                  QStringLiteral("CSV Files (*.csv)"));
    const QString name = QFileInfo(path).fileName();
    static const QRegularExpression noChinese(QStringLiteral("^[^\\x{4e00}-\\x{9fa5}]+$"));
    if (name.isEmpty() || !noChinese.match(name).hasMatch()) {
        showMessage(tr("文件名不能有中文或者不能为空"));
        return;
    }
    qDebug() << "File saved as:" << name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        // The operator must not believe the list was saved.
        Dialogs::warning(nullptr, tr("无法打开文件"), file.errorString());
        return;
    }
    QTextStream out(&file);
    for (const QString &l : lines)
        out << l << "\n";
    out.flush();
    const bool ok = out.status() == QTextStream::Ok && file.flush();
    const QString error = file.errorString();
    file.close();
    if (!ok)
        Dialogs::warning(nullptr, tr("无法打开文件"), error);
}

void ListPage::on_commandLoadToFileLIst_2_clicked()
{
    saveListFile(ui->tableAUTO, m_autoStepCount, modeWord(), m_listMode == AutoMode ? ui->spinBoolNum->value() : 0);
}

bool ListPage::parseListFile(const QString &path, ListFileContent *content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "Could not open file";
        return false;
    }
    QTextStream in(&file);
    int lines = 0;
    int dropped = 0;
    auto field1 = [](const QString &line, QString *text) {
        const QStringList f = line.split(QLatin1Char(','), Qt::KeepEmptyParts);
        if (f.size() > 1)
            *text = f.at(1);
    };
    LineReader reader(in, kMaxLineChars);
    QString line;
    while (lines++ < kMaxLines && reader.next(&line)) {
        if (line.startsWith(QLatin1String("#TotalCounts"))) {
            field1(line, &content->countText);
        } else if (line.startsWith(QLatin1String("#Cycles"))) {
            field1(line, &content->cycleText);
        } else if (line.startsWith(QLatin1String("#Mode"))) {
            field1(line, &content->modeText);
            content->modeText = content->modeText.trimmed();
        } else if (line.startsWith(QLatin1Char('#'))) {
            if (content->steps.size() >= kMaxStepLines) {
                ++dropped;
                continue;
            }
            QStringList f = line.split(QLatin1Char(','), Qt::KeepEmptyParts);
            f.removeFirst();
            while (f.size() > 3)
                f.removeLast();
            content->steps.append(f);
        }
    }
    file.close();
    if (dropped > 0)
        qDebug() << "step lines not read:" << dropped;
    return true;
}

void ListPage::readListFile(const QString &path)
{
    ListFileContent c;
    if (!parseListFile(path, &c))
        return;
    qDebug() << "count" << logPrefix(c.countText) << "cycles" << logPrefix(c.cycleText) << "mode"
             << logPrefix(c.modeText);

    const QString mode = c.modeText.toLower();
    const int count = c.countText.toInt();
    if (mode == QLatin1String("auto")) {
        m_listMode = AutoMode;
        ui->stackedListMode->setCurrentIndex(0);
        m_autoStepCount = count;
        ui->spinBoolNum->setValue(c.cycleText.toInt());
        ui->labelAutoStepNum->setNum(count);
    } else if (mode == QLatin1String("manual")) {
        m_listMode = ManualMode;
        ui->stackedListMode->setCurrentIndex(1);
        m_manualStepCount = count;
        ui->labelManualStepNum->setNum(count);
    } else if (mode == QLatin1String("trigger")) {
        m_listMode = TriggerMode;
        ui->stackedListMode->setCurrentIndex(2);
        m_triggerStepCount = count;
        ui->labelTriggerStepNum->setNum(count);
    } else {
        Dialogs::warning(nullptr, tr("错误提示"), tr("没有该模式，请检查文件格式是否正确！"));
        return;
    }
    m_stepTable = ui->tableAUTO;

    m_stepTable->setRowCount(0);
    const double currMax = double(currentCurrMax());
    const double slopeMax = double(m_limits.limitMaxSlope);
    const double slopeMin = double(m_limits.limitMinSlope);
    for (const QStringList &cells : qAsConst(c.steps)) {
        QString curr = cells.value(0), slope = cells.value(1), time = cells.value(2);
        if (!isNumberCell(curr)) {
            Dialogs::warning(nullptr, tr("错误提示"), tr("单元格含有非法字符请检查表格字符格式，自动改为1A！"));
            curr = QStringLiteral("1");
        }
        if (!isNumberCell(slope)) {
            Dialogs::warning(nullptr, tr("错误提示"),
                             tr("单元格含有非法字符请检查表格字符格式，自动改为2000A/ms！"));
            slope = QStringLiteral("2000");
        }
        if (m_listMode == AutoMode && !isNumberCell(time)) {
            Dialogs::warning(nullptr, tr("错误提示"), tr("单元格含有非法字符请检查表格字符格式，自动改为9999S！"));
            time = QStringLiteral("9999");
        }
        if (number(curr) > currMax)
            curr = sixDigits(currMax);
        if (number(slope) > slopeMax)
            slope = sixDigits(slopeMax);
        else if (number(slope) < slopeMin)
            slope = sixDigits(slopeMin);
        if (number(time) > 99999)
            time = QStringLiteral("99999");
        else if (number(time) < 0.5)
            time = QStringLiteral("0.5");
        addStepRow(m_stepTable, curr, slope, time);
    }
    if (m_listMode < ui->comMode->count())
        ui->comMode->setCurrentIndex(m_listMode);
}

void ListPage::on_commandLoadToList_clicked()
{
    if (m_fileRow == -1) {
        Dialogs::warning(nullptr, tr("提示"), tr("请选择文件"));
        return;
    }
    QTableWidgetItem *item = ui->tableFile->item(m_fileRow, 1);
    const QString path = item ? item->text() : QString();
    readListFile(path);
    m_fileRow = -1;
}

// ---------------------------------------------------------------------------
// File table

void ListPage::initFileTable()
{
    QTableWidget *t = ui->tableFile;
    t->setColumnCount(3);
    t->setHorizontalHeaderLabels({QStringLiteral("file"), QStringLiteral("path"), QStringLiteral("time")});
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setContextMenuPolicy(Qt::CustomContextMenu);
}

void ListPage::importListFiles(QTableWidget *table)
{
    const QStringList paths = Dialogs::getOpenFileNames(nullptr, tr("选择要导入的CSV文件"), QString(),
                                                        QStringLiteral("CSV Files (*.csv)"));
    for (const QString &p : paths) {
        const int row = table->rowCount();
        table->insertRow(row);
        const QString when = QDateTime::currentDateTime().toString(Qt::ISODate);
        const QStringList cells{QFileInfo(p).fileName(), p, when};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            table->setItem(row, c, item);
        }
    }
}

void ListPage::on_commandLoadToFileLIst_clicked()
{
    importListFiles(ui->tableFile);
}

void ListPage::on_tableFile_cellClicked(int row, int)
{
    m_fileRow = row;
    qDebug() << "file row" << row;
}

void ListPage::on_tableFile_cellPressed(int row, int)
{
    m_fileRow = row;
}

void ListPage::on_tableFile_customContextMenuRequested(QPoint pos)
{
    QMenu menu(this);
    QAction *open = menu.addAction(tr("打开文件路径"));
    QAction *remove = menu.addAction(tr("从文件列表中移除"));
    QAction *clear = menu.addAction(tr("清空文件列表"));
    QAction *chosen = menu.exec(ui->tableFile->viewport()->mapToGlobal(pos));
    qDebug() << "musicListMenu";
    const QList<QAction *> entries{open, remove, clear};
    if (chosen)
        fileMenuChosen(entries.indexOf(chosen));
}

void ListPage::fileMenuChosen(int entry)
{
    QTableWidget *t = ui->tableFile;
    switch (entry) {
    case FileMenuOpenFolder: {
        if (m_fileRow == -1) {
            Dialogs::warning(nullptr, tr("提示"), tr("请选择文件"));
            return;
        }
        QTableWidgetItem *item = t->item(m_fileRow, 1);
        const QString path = item ? item->text() : QString();
        qDebug() << "open folder of" << path;
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
        m_fileRow = -1;
        break;
    }
    case FileMenuRemove: {
        if (m_fileRow == -1) {
            Dialogs::warning(nullptr, tr("提示"), tr("请选择文件"));
            return;
        }
        removeSelectedRows(t);
        m_fileRow = -1;
        break;
    }
    case FileMenuClear:
        t->setRowCount(0);
        m_fileRow = -1;
        break;
    default: break;
    }
}
