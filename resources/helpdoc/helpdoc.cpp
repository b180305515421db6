// Typesets a help document from an HTML source into a PDF:
//   QT_QPA_PLATFORM=offscreen quellon_helpdoc SOURCE.html OUTPUT.pdf
// Images in the source are taken relative to the source's folder. The text is
// set in a CJK font so that Chinese comes out as real, searchable text.
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRawFont>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextStream>
#include <QUrl>

namespace {

const char *kFontFamily = "Noto Sans CJK SC";

QString titleOf(const QString &html)
{
    const QRegularExpression re(QStringLiteral("<title>(.*?)</title>"),
                                QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = re.match(html);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

quint32 glyphOf(const QRawFont &font, uint codePoint)
{
    const QVector<quint32> g = font.glyphIndexesForString(QString(QChar(codePoint)));
    return g.isEmpty() ? 0 : g.first();
}

// CJK fonts draw a Kangxi radical (U+2F00..) and the ideograph it stands for
// with one glyph. The PDF writer maps every glyph back to the lowest code
// point that uses it, so "子" would be extracted, searched and copied as the
// radical "⼦". Build the map radical -> ideograph from the font itself.
QHash<uint, uint> radicalMap(const QRawFont &font)
{
    QHash<quint32, uint> ideographOfGlyph;
    for (uint uc = 0x4E00; uc <= 0x9FFF; ++uc) {
        const quint32 g = glyphOf(font, uc);
        if (g != 0 && !ideographOfGlyph.contains(g))
            ideographOfGlyph.insert(g, uc);
    }
    QHash<uint, uint> map;
    for (uint uc = 0x2E80; uc <= 0x2FDF; ++uc) {
        const quint32 g = glyphOf(font, uc);
        if (g != 0 && ideographOfGlyph.contains(g))
            map.insert(uc, ideographOfGlyph.value(g));
    }
    return map;
}

// Rewrites the targets of the ToUnicode maps in place. Each target is a
// four-digit hex code, so the replacement keeps every byte offset of the
// file (and thus its cross-reference table) valid.
int fixToUnicodeMaps(QByteArray &pdf, const QHash<uint, uint> &map)
{
    int fixed = 0;
    int from = 0;
    for (;;) {
        const int begin = pdf.indexOf("beginbfrange", from);
        const int beginChar = pdf.indexOf("beginbfchar", from);
        int start = begin;
        QByteArray endTag("endbfrange");
        if (start < 0 || (beginChar >= 0 && beginChar < start)) {
            start = beginChar;
            endTag = "endbfchar";
        }
        if (start < 0)
            break;
        const int end = pdf.indexOf(endTag, start);
        if (end < 0)
            break;
        // Line by line: "<src> <src2> [<dst> ...]", "<src> <src2> <dst>" or
        // "<src> <dst>"; only the destination codes are touched.
        int line = pdf.indexOf('\n', start) + 1;
        while (line > 0 && line < end) {
            int eol = pdf.indexOf('\n', line);
            if (eol < 0 || eol > end)
                eol = end;
            int tokenIndex = 0;
            const bool isRange = endTag == "endbfrange";
            for (int i = line; i < eol; ++i) {
                if (pdf.at(i) != '<')
                    continue;
                const int close = pdf.indexOf('>', i);
                if (close < 0 || close > eol)
                    break;
                const bool destination = isRange ? tokenIndex >= 2 : tokenIndex >= 1;
                if (destination && close - i == 5) {
                    bool ok = false;
                    const uint code = pdf.mid(i + 1, 4).toUInt(&ok, 16);
                    if (ok && map.contains(code)) {
                        const QByteArray hex = QByteArray::number(map.value(code), 16).toUpper().rightJustified(4, '0');
                        pdf.replace(i + 1, 4, hex);
                        ++fixed;
                    }
                }
                ++tokenIndex;
                i = close;
            }
            line = eol + 1;
        }
        from = end;
    }
    return fixed;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 3) {
        err << "usage: quellon_helpdoc SOURCE.html OUTPUT.pdf\n";
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        err << "cannot read " << source << ": " << in.errorString() << '\n';
        return 1;
    }
    const QString html = QString::fromUtf8(in.readAll());
    in.close();

    if (!QFontDatabase().families().contains(QString::fromLatin1(kFontFamily))) {
        err << "font \"" << kFontFamily << "\" not found (install fonts-noto-cjk); "
            << "Chinese text would not render\n";
        return 1;
    }
    QFont bodyFont(QString::fromLatin1(kFontFamily));
    bodyFont.setPointSizeF(10.5);
    // A non-zero letter spacing turns the "fi"/"fl" ligatures off, whose
    // glyphs would extract as U+FB01/U+FB02 and defeat searching for "file".
    bodyFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.02);

    {
        QPdfWriter writer(output);
        writer.setResolution(300);
        // No printer margins: print() adds 2 cm margins and page numbers itself.
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        writer.setTitle(titleOf(html));
        writer.setCreator(QStringLiteral("Quellon help builder"));

        QTextDocument doc;
        doc.setDefaultFont(bodyFont);
        const QUrl folder = QUrl::fromLocalFile(QFileInfo(source).absolutePath() + QLatin1Char('/'));
        doc.setBaseUrl(folder);
        doc.setMetaInformation(QTextDocument::DocumentUrl, folder.toString());
        doc.setHtml(html);
        doc.print(&writer);
    } // the writer finishes the file here

    QFile pdfFile(output);
    if (!pdfFile.open(QIODevice::ReadWrite) || pdfFile.size() == 0) {
        err << "failed to write " << output << '\n';
        return 1;
    }
    QByteArray pdf = pdfFile.readAll();
    if (fixToUnicodeMaps(pdf, radicalMap(QRawFont::fromFont(bodyFont))) > 0) {
        pdfFile.seek(0);
        pdfFile.write(pdf);
    }
    pdfFile.close();
    return 0;
}
