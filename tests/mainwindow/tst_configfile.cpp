// The configuration file "conf.txt": reading the language and the language
// switches, and rewriting the language line.

#include "ConfigFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kMissing = QStringLiteral("<missing>");

void writeFile(const QString &path, const QString &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content.toUtf8());
}

QString readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return kMissing;
    return QString::fromUtf8(f.readAll());
}
} // namespace

class tst_ConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void readLanguage_data();
    void readLanguage();
    void writeLanguage_data();
    void writeLanguage();
    void unwritable_data();
    void unwritable();
};

void tst_ConfigFile::readLanguage_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("english");
    QTest::addColumn<bool>("chinese");
    QTest::addColumn<QString>("after"); // empty: unchanged

    const QString defaults = "SW:English=1,Chinese=1\n1.Language\nChinese\n";
    QTest::newRow("missing file is created") << kMissing << 0 << true << true << defaults;
    QTest::newRow("defaults") << defaults << 0 << true << true << "";
    QTest::newRow("English") << "SW:English=1,Chinese=1\n1.Language\nEnglish\n" << 1 << true << true << "";
    QTest::newRow("english in any case") << "1.Language\n  eNgLiSh \n" << 1 << true << true << "";
    QTest::newRow("CRLF lines") << "SW:English=1,Chinese=1\r\n1.Language\r\nEnglish\r\n" << 1 << true << true << "";
    QTest::newRow("other word is Chinese") << "1.Language\nFrench\n" << 0 << true << true << "";
    QTest::newRow("no language line") << "SW:English=1,Chinese=1\n" << 0 << true << true << "";
    QTest::newRow("language line last") << "SW:English=1,Chinese=1\n1.Language" << 0 << true << true << "";
    QTest::newRow("empty file") << "" << 0 << true << true << "";
    QTest::newRow("first language line counts")
        << "1.Language\nChinese\n1.Language\nEnglish\n" << 0 << true << true << "";
    QTest::newRow("English not allowed")
        << "SW:English=0,Chinese=1\n1.Language\nEnglish\n" << 0 << false << true
        << "SW:English=0,Chinese=1\n1.Language\nChinese\n";
    QTest::newRow("spaces in the pairs")
        << "  SW: English = 0 , Chinese = 1 \n1.Language\nEnglish\n" << 0 << false << true
        << "  SW: English = 0 , Chinese = 1 \n1.Language\nChinese\n";
    QTest::newRow("Chinese not allowed")
        << "SW:English=1,Chinese=0\n1.Language\nChinese\n" << 1 << true << false
        << "SW:English=1,Chinese=0\n1.Language\nEnglish\n";
    QTest::newRow("neither allowed, English stored")
        << "SW:English=0,Chinese=0\n1.Language\nEnglish\n" << 0 << false << true
        << "SW:English=0,Chinese=0\n1.Language\nChinese\n";
    QTest::newRow("neither allowed, Chinese stored")
        << "SW:English=0,Chinese=0\n1.Language\nChinese\n" << 0 << false << true << "";
    QTest::newRow("value other than 1 is off") << "SW:English=2\n1.Language\nChinese\n" << 0 << false << true << "";
    QTest::newRow("value not decimal is off") << "SW:English=0x1\n1.Language\nChinese\n" << 0 << false << true << "";
    QTest::newRow("malformed pairs ignored")
        << "SW:English,Chinese=0=1,Foo=0,=0\n1.Language\nEnglish\n" << 1 << true << true << "";
    QTest::newRow("names are case-sensitive") << "SW:english=0\n1.Language\nEnglish\n" << 1 << true << true << "";
    QTest::newRow("prefix is case-sensitive") << "sw:English=0\n1.Language\nEnglish\n" << 1 << true << true << "";
    QTest::newRow("switch line after the language")
        << "1.Language\nEnglish\nSW:English=0\n" << 0 << false << true
        << "1.Language\nChinese\nSW:English=0\n";
}

void tst_ConfigFile::readLanguage()
{
    QFETCH(QString, content);
    QFETCH(int, language);
    QFETCH(bool, english);
    QFETCH(bool, chinese);
    QFETCH(QString, after);
    QTemporaryDir dir;
    const QString path = dir.filePath("conf.txt");
    if (content != kMissing)
        writeFile(path, content);

    LanguageSwitch sw;
    sw.english = !english; // overwritten
    sw.chinese = !chinese;
    ConfigFile config(path);
    QCOMPARE(int(config.readLanguage(sw)), language);
    QCOMPARE(sw.english, english);
    QCOMPARE(sw.chinese, chinese);
    QCOMPARE(readFile(path), after.isEmpty() ? content : after);
}

void tst_ConfigFile::writeLanguage_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("after");
    QTest::newRow("replace the word") << "SW:English=1,Chinese=1\n1.Language\nChinese\n" << 1
                                      << "SW:English=1,Chinese=1\n1.Language\nEnglish\n";
    QTest::newRow("back to Chinese") << "1.Language\nEnglish\nmore\n" << 0 << "1.Language\nChinese\nmore\n";
    QTest::newRow("language line last") << "SW:English=1\n1.Language" << 1 << "SW:English=1\n1.Language\nEnglish\n";
    QTest::newRow("no language line") << "SW:English=1,Chinese=1\n" << 1
                                      << "SW:English=1,Chinese=1\n1.Language\nEnglish\n";
    QTest::newRow("line begins with the marker") << "  1.Language old\nChinese\n" << 1
                                                 << "  1.Language old\nEnglish\n";
    QTest::newRow("shorter file is truncated") << "1.Language\nChinese with a long tail\n" << 1
                                               << "1.Language\nEnglish\n";
    QTest::newRow("empty file") << "" << 0 << "1.Language\nChinese\n";
    QTest::newRow("missing file") << kMissing << 1 << "1.Language\nEnglish\n";
    QTest::newRow("UTF-8 kept") << "# 配置\n1.Language\nChinese\n" << 1 << "# 配置\n1.Language\nEnglish\n";
}

void tst_ConfigFile::writeLanguage()
{
    QFETCH(QString, content);
    QFETCH(int, language);
    QFETCH(QString, after);
    QTemporaryDir dir;
    const QString path = dir.filePath("conf.txt");
    if (content != kMissing)
        writeFile(path, content);
    QVERIFY(ConfigFile(path).writeLanguage(ConfigFile::Language(language)));
    QCOMPARE(readFile(path), after);
}

void tst_ConfigFile::unwritable_data()
{
    QTest::addColumn<bool>("isFolder"); // conf.txt is a folder, or its folder is missing
    QTest::newRow("a folder in its place") << true;
    QTest::newRow("folder missing") << false;
}

void tst_ConfigFile::unwritable()
{
    QFETCH(bool, isFolder);
    QTemporaryDir dir;
    QString path = dir.filePath("conf.txt");
    if (isFolder)
        QVERIFY(QDir(dir.path()).mkdir("conf.txt"));
    else
        path = dir.filePath("missing/conf.txt");

    LanguageSwitch sw;
    QCOMPARE(ConfigFile(path).readLanguage(sw), ConfigFile::Chinese);
    QVERIFY(sw.english && sw.chinese);
    QTest::ignoreMessage(QtWarningMsg, "Cannot open config file");
    QVERIFY(!ConfigFile(path).writeLanguage(ConfigFile::English));
    QCOMPARE(QFileInfo(path).isDir(), isFolder);
}

QTEST_MAIN(tst_ConfigFile)
#include "tst_configfile.moc"
