// libFuzzer target for the list page's list-file reader: any bytes as a list
// file, read into the step table of one page (a fresh page per input would
// cost far more than the reading). Afterwards the table holds at most 100
// rows, and after a file of a known mode every cell is a number inside the
// range of its column for the limits in force and every row comes from a
// step line of the file.
//
// Input: byte 0 chooses the limits and the AC flag before the reading (see
// prepare()); the rest is the file as it lies on disk.

#include "FuzzCheck.h"
#include "FuzzQt.h"

#include "ListPage.h"
#include "ReplyRules.h"
#include "elcLimitParam.h"

#include <QFile>
#include <QTableWidget>
#include <QTimer>

#include <cmath>
#include <cstdint>
#include <memory>

namespace {

ListPage *g_page = nullptr;
QString g_path;

// The limits the page reads with: its own defaults, a model's, AC operation
// with a smaller AC current, and a small model whose slope limits are odd.
void prepare(ListPage &page, uint8_t select)
{
    fuzzqt::resetModelFlags();
    elcLimitParam l;
    switch (select % 4) {
    case 0: // the page's defaults: 40 A, 0.02..2000 A/ms
        l.limitMaxCurr = 40;
        l.limitMinSlope = 0.02f;
        l.limitMaxSlope = 2000;
        break;
    case 1: // a model as the window sends it
        break;
    case 2: // AC operation: the AC current word rules
        l.limitMaxAcCurr = 12.5f;
        acModeFlag = true;
        break;
    default:
        l.limitMaxCurr = 0.3f;
        l.limitMinSlope = 0.001f;
        l.limitMaxSlope = 1234.5678f;
        break;
    }
    page.recvLimitParam(l);
}

// At most `hi`, allowing for the six significant digits a capped cell is
// written with.
bool within(double v, double lo, double hi)
{
    const double slack = 1e-5 * std::max(1.0, std::fabs(hi));
    return v >= lo - 1e-5 * std::max(1.0, std::fabs(lo)) && v <= hi + slack;
}

void checkTable(ListPage &page)
{
    QTableWidget *t = page.stepTable();
    FUZZ_CHECK(t->rowCount() <= ListPage::kMaxSteps, "more than 100 rows");
    FUZZ_CHECK(t->columnCount() == 3, "three columns");
    const double currMax = double(page.currentCurrMax());
    const double slopeMax = std::min(double(page.limits().limitMaxSlope), 2000.0);
    const double slopeMin = double(page.limits().limitMinSlope);
    for (int r = 0; r < t->rowCount(); ++r) {
        double v[3] = {0, 0, 0};
        for (int c = 0; c < 3; ++c) {
            QTableWidgetItem *item = t->item(r, c);
            FUZZ_CHECK(item, "a cell without an item");
            FUZZ_CHECK(toFiniteDouble(item->text(), &v[c]), "a cell that is no number");
        }
        FUZZ_CHECK(within(v[0], 0, currMax), "current out of range");
        FUZZ_CHECK(within(v[1], std::min(slopeMin, slopeMax), slopeMax), "slope out of range");
        FUZZ_CHECK(within(v[2], 0.5, 9999.999), "time out of range");
    }
    FUZZ_CHECK(page.listMode() >= 0 && page.listMode() <= 2, "list mode");
}

QStringList cells(ListPage &page)
{
    QStringList out;
    QTableWidget *t = page.stepTable();
    for (int r = 0; r < t->rowCount(); ++r)
        for (int c = 0; c < 3; ++c)
            out << (t->item(r, c) ? t->item(r, c)->text() : QString());
    return out;
}

// The step lines a plain ASCII file has: lines that start with '#' and are
// no head line. Every row read comes from one of them (the rest of an
// over-long line is no line); -1 when the bytes are not plain ASCII (a
// byte-order mark or another encoding may decode to other lines).
int asciiStepLines(const uint8_t *data, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (data[i] == 0 || data[i] > 0x7f)
            return -1;
    int n = 0;
    // The file is read in text mode, which drops every carriage return
    // before lines are split: "\n\r#..." is a line that starts with "#".
    const QList<QByteArray> lines =
        QByteArray(reinterpret_cast<const char *>(data), int(size)).replace('\r', QByteArray()).split('\n');
    for (const QByteArray &l : lines)
        if (l.startsWith('#') && !l.startsWith("#TotalCounts") && !l.startsWith("#Cycles") && !l.startsWith("#Mode"))
            ++n;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    fuzzqt::start((*argv)[0]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    if (!g_page) {
        g_page = new ListPage;
        g_page->pollTimer()->stop();
        g_path = fuzzqt::environment().dir->filePath(QStringLiteral("fuzz-list.csv"));
    }
    fuzzqt::environment().dialogs->clear();
    prepare(*g_page, data[0]);
    {
        QFile f(g_path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
    }
    // A file without a known mode leaves the table as it was (whose slopes
    // need not fit the limits: only the current column follows them).
    ListFileContent content;
    const bool read = ListPage::parseListFile(g_path, &content);
    const QString mode = content.modeText.toLower();
    const bool known = read && (mode == QLatin1String("auto") || mode == QLatin1String("manual")
                                || mode == QLatin1String("trigger"));
    g_page->readListFile(g_path);
    if (known) {
        checkTable(*g_page);
        const int stepLines = asciiStepLines(data + 1, size - 1);
        FUZZ_CHECK(stepLines < 0 || g_page->stepTable()->rowCount() <= stepLines, "a row from no step line");
    }
    FUZZ_CHECK(g_page->stepTable()->rowCount() <= ListPage::kMaxSteps, "more than 100 rows");
    // Reading again from the state the file left gives the same table.
    const QStringList first = cells(*g_page);
    g_page->readListFile(g_path);
    FUZZ_CHECK(cells(*g_page) == first, "the same file read twice gives another table");
    return 0;
}
