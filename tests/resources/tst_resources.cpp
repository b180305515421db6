#include "QuellonResources.h"

#include <QtTest>

#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>

// The files the program relies on beside and inside the executable: the
// compiled-in images, the English translation and the help documents.
class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void imagesLoad_data();
    void imagesLoad();
    void referencedImagesExist_data();
    void referencedImagesExist();

    void translationComplete_data();
    void translationComplete();
    void sourceTextsTranslated_data();
    void sourceTextsTranslated();

    void helpDocuments_data();
    void helpDocuments();

private:
    QTranslator m_translator;
};

namespace {

const QString kSource = QStringLiteral(QUELLON_SOURCE_DIR);
const QString kBin = QStringLiteral(QUELLON_BIN_DIR);
const char *kHelpName = "KTR软件使用帮助.pdf";

// Chinese, Japanese and Korean scripts and their full-width punctuation.
bool hasCjk(const QString &s)
{
    static const QRegularExpression re(
        QStringLiteral("[\\x{2E80}-\\x{9FFF}\\x{F900}-\\x{FAFF}\\x{FE30}-\\x{FE4F}\\x{FF00}-\\x{FFEF}]"));
    return re.match(s).hasMatch();
}

struct Message
{
    QString context, source, comment;
};

QList<Message> readTs(const QString &path)
{
    QList<Message> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    QXmlStreamReader xml(&f);
    QString context;
    Message m;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("message"))
            m = Message{context, QString(), QString()};
        else if (xml.name() == QLatin1String("source"))
            m.source = xml.readElementText();
        else if (xml.name() == QLatin1String("comment"))
            m.comment = xml.readElementText();
        else if (xml.name() == QLatin1String("translation"))
            out.append(m);
    }
    return out;
}

QString shortName(const QString &s)
{
    return s.length() > 40 ? s.left(40) + QStringLiteral("...") : s;
}

} // namespace

void TestResources::initTestCase()
{
    initQuellonResources();
    initQuellonResources(); // a second call must be harmless
    QVERIFY2(m_translator.load(kBin + QStringLiteral("/translator/lang_en.qm")),
             "build/bin/translator/lang_en.qm missing or unreadable");
}

// The images that code and forms of the program name by path.
void TestResources::imagesLoad_data()
{
    QTest::addColumn<QString>("path");
    for (const char *p : {":/mianPage/Darviklogo.jpg", ":/mianPage/title.png", ":/mianPage/product.png",
                          ":/mianPage/minButton.jpg", ":/FristImage/cccv.png", ":/FristImage/list.png",
                          ":/FristImage/battery.png", ":/CCCVImage/On.png", ":/CCCVImage/Off.png",
                          ":/listImage/On.png", ":/listImage/Off.png"})
        QTest::newRow(p) << QString::fromLatin1(p);
}

void TestResources::imagesLoad()
{
    QFETCH(QString, path);
    const QImage img(path);
    QVERIFY2(!img.isNull(), qPrintable(path + QStringLiteral(" does not load")));
    QVERIFY(img.width() >= 16 && img.height() >= 16);
}

// Every resource path written in a form or source file of the program must
// be compiled in: a typo shows up as an empty label or button, not as an error.
void TestResources::referencedImagesExist_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("file");
    static const QRegularExpression ref(
        QStringLiteral(":/(?:mianPage|CCCVImage|listImage|FristImage)/[A-Za-z0-9_.\\-]+"));
    QSet<QString> seen;
    for (const char *dir : {"app", "mainwindow", "pages", "landialog"}) {
        QDirIterator it(kSource + QLatin1Char('/') + QLatin1String(dir),
                        {QStringLiteral("*.ui"), QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QFile f(file);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(f.readAll());
            auto m = ref.globalMatch(text);
            while (m.hasNext()) {
                const QString path = m.next().captured(0);
                const QString key = path + QLatin1Char('@') + file;
                if (seen.contains(key))
                    continue;
                seen.insert(key);
                const QString rel = QDir(kSource).relativeFilePath(file);
                QTest::newRow(qPrintable(rel + QLatin1Char(' ') + path)) << path << rel;
            }
        }
    }
    if (seen.isEmpty())
        QTest::newRow("no references yet") << QString() << QString();
}

void TestResources::referencedImagesExist()
{
    QFETCH(QString, path);
    QFETCH(QString, file);
    if (path.isEmpty())
        QSKIP("no form or source names a resource image yet");
    QVERIFY2(QFile::exists(path), qPrintable(path + QStringLiteral(" named in ") + file + QStringLiteral(" is not compiled in")));
}

// Every entry of the translation source has an English text in the compiled file.
void TestResources::translationComplete_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("comment");
    const QList<Message> msgs = readTs(kSource + QStringLiteral("/resources/lang_en.ts"));
    QVERIFY(msgs.size() > 50);
    for (const Message &m : msgs)
        QTest::newRow(qPrintable(m.context + QLatin1Char(':') + shortName(m.source))) << m.context << m.source << m.comment;
}

void TestResources::translationComplete()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, comment);
    const QString en = m_translator.translate(context.toUtf8().constData(), source.toUtf8().constData(),
                                              comment.isEmpty() ? nullptr : comment.toUtf8().constData());
    QVERIFY2(!en.trimmed().isEmpty(), "no translation in lang_en.qm");
    QVERIFY2(!hasCjk(en), qPrintable(QStringLiteral("translation still Chinese: ") + en));
    // Placeholders survive the translation.
    static const QRegularExpression arg(QStringLiteral("%\\d"));
    QStringList srcArgs, enArgs;
    for (auto it = arg.globalMatch(source); it.hasNext();)
        srcArgs << it.next().captured(0);
    for (auto it = arg.globalMatch(en); it.hasNext();)
        enArgs << it.next().captured(0);
    srcArgs.sort();
    enArgs.sort();
    QCOMPARE(enArgs, srcArgs);
}

// Switching to English leaves no Chinese behind: every Chinese text that the
// forms and the code of the main window and the static mode page pass through
// the translator (as lupdate finds them) has an English text.
void TestResources::sourceTextsTranslated_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("comment");
    QStringList dirs;
    for (const char *dir : {"mainwindow", "pages/common", "pages/cccv", "pages/list", "pages/battery", "landialog"}) {
        const QString path = kSource + QLatin1Char('/') + QLatin1String(dir);
        if (QDir(path).exists())
            dirs << path;
    }
    const QString lupdate = QStringLiteral(QUELLON_LUPDATE);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString ts = tmp.filePath(QStringLiteral("extracted.ts"));
    QProcess p;
    p.start(lupdate, QStringList{QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none")}
                         << dirs << QStringLiteral("-ts") << ts);
    QVERIFY2(p.waitForFinished(60000), "lupdate did not finish");
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    int rows = 0;
    for (const Message &m : readTs(ts)) {
        if (!hasCjk(m.source))
            continue;
        ++rows;
        QTest::newRow(qPrintable(m.context + QLatin1Char(':') + shortName(m.source))) << m.context << m.source << m.comment;
    }
    if (rows == 0)
        QTest::newRow("no Chinese texts yet") << QString() << QString() << QString();
}

void TestResources::sourceTextsTranslated()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, comment);
    if (source.isEmpty())
        QSKIP("no form or code with Chinese texts yet");
    const QString en = m_translator.translate(context.toUtf8().constData(), source.toUtf8().constData(),
                                              comment.isEmpty() ? nullptr : comment.toUtf8().constData());
    QVERIFY2(!en.isEmpty(), qPrintable(QStringLiteral("not in lang_en.ts (context ") + context + QStringLiteral("): ") + source));
    QVERIFY2(!hasCjk(en), qPrintable(QStringLiteral("translation still Chinese: ") + en));
}

// The help button opens tr("KTR软件使用帮助.pdf") beside the executable, so
// both the Chinese name and its English translation must be there as PDFs
// whose text (not just pictures of it) is readable.
void TestResources::helpDocuments_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Chinese") << QString::fromUtf8(kHelpName)
                             << QStringList{QStringLiteral("使用帮助"), QStringLiteral("串口"),
                                            QStringLiteral("列表文件"), QStringLiteral("电池测试"),
                                            QStringLiteral("数据记录"), QStringLiteral("LAN TOOL")};
    QTest::newRow("English") << m_translator.translate("Quellon", kHelpName)
                             << QStringList{QStringLiteral("User Guide"), QStringLiteral("Serial (USB)"),
                                            QStringLiteral("List files"), QStringLiteral("Battery Test Mode"),
                                            QStringLiteral("Record logs"), QStringLiteral("LAN TOOL")};
}

void TestResources::helpDocuments()
{
    QFETCH(QString, fileName);
    QFETCH(QStringList, expected);
    QVERIFY(!fileName.isEmpty());
    const QString path = kBin + QLatin1Char('/') + fileName;
    QFile f(path);
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path + QStringLiteral(" missing")));
    QVERIFY(f.read(5) == "%PDF-");
    f.close();

    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) not installed");
    QProcess p;
    p.start(pdftotext, {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (const QString &word : expected)
        QVERIFY2(text.contains(word), qPrintable(QStringLiteral("text not found in the PDF: ") + word));
    // Text extraction must give ideographs, not look-alike radicals.
    static const QRegularExpression radical(QStringLiteral("[\\x{2E80}-\\x{2FDF}]"));
    QVERIFY2(!radical.match(text).hasMatch(), "radical code points in the extracted text");
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
