// The window's side of the configuration: language at start, the language
// switch with its translation, the help document and the web link.

#include "QuellonFixture.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

namespace {
void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QString readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void installTranslation(const QuellonFixture &f)
{
    QVERIFY(QDir(f.dir.path()).mkdir("translator"));
    QVERIFY(QFile::copy(QStringLiteral(TEST_QM_FILE), f.path("translator/lang_en.qm")));
}
} // namespace

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class tst_Language : public QObject
{
    Q_OBJECT

private slots:
    void languageAtStart_data();
    void languageAtStart();
    void switchWritesTheFile();
    void switchWithoutTranslation();
    void switchWhileLinked();
    void helpDocument();
    void webLink();
};

void tst_Language::languageAtStart_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("after");
    QTest::newRow("missing") << QByteArray() << 0 << true << "SW:English=1,Chinese=1\n1.Language\nChinese\n";
    QTest::newRow("English") << QByteArray("SW:English=1,Chinese=1\n1.Language\nEnglish\n") << 1 << true
                             << "SW:English=1,Chinese=1\n1.Language\nEnglish\n";
    QTest::newRow("English not allowed") << QByteArray("SW:English=0,Chinese=1\n1.Language\nEnglish\n") << 0
                                         << false << "SW:English=0,Chinese=1\n1.Language\nChinese\n";
    QTest::newRow("neither allowed") << QByteArray("SW:English=0,Chinese=0\n1.Language\nChinese\n") << 0 << false
                                     << "SW:English=0,Chinese=0\n1.Language\nChinese\n";
}

void tst_Language::languageAtStart()
{
    QFETCH(QByteArray, content);
    QFETCH(int, index);
    QFETCH(bool, enabled);
    QFETCH(QString, after);
    QuellonFixture f(false);
    installTranslation(f);
    if (!content.isNull())
        writeFile(f.path("conf.txt"), content);
    f.create();
    auto *combo = f.widget<QComboBox>("comboBoxLanguage");
    QCOMPARE(combo->currentIndex(), index);
    QCOMPARE(combo->isEnabled(), enabled);
    QCOMPARE(readFile(f.path("conf.txt")), after);
    QCOMPARE(f.widget<QPushButton>("pushButtonEnterCCCV")->text(), QString(index ? "Static Mode" : "标准模式"));
}

void tst_Language::switchWritesTheFile()
{
    QuellonFixture f(false);
    writeFile(f.path("conf.txt"), "SW:English=1,Chinese=1\n");
    f.create();
    QSignalSpy changed(f.window.get(), &Quellon::sendLanguageChange);
    auto *combo = f.widget<QComboBox>("comboBoxLanguage");
    combo->setCurrentIndex(1);
    QCOMPARE(readFile(f.path("conf.txt")), QString("SW:English=1,Chinese=1\n1.Language\nEnglish\n"));
    combo->setCurrentIndex(0);
    QCOMPARE(readFile(f.path("conf.txt")), QString("SW:English=1,Chinese=1\n1.Language\nChinese\n"));
    QCOMPARE(changed.count(), 2);

    // Not writable any more: the switch still applies.
    QFile::remove(f.path("conf.txt"));
    QVERIFY(QDir(f.dir.path()).mkdir("conf.txt"));
    QTest::ignoreMessage(QtWarningMsg, "Cannot open config file");
    combo->setCurrentIndex(1);
    QCOMPARE(changed.count(), 3);
}

void tst_Language::switchWithoutTranslation()
{
    QuellonFixture f;
    QTest::ignoreMessage(QtDebugMsg, "\"读取qm文件失败\"");
    f.widget<QComboBox>("comboBoxLanguage")->setCurrentIndex(1);
    QCOMPARE(f.widget<QPushButton>("pushButtonEnterCCCV")->text(), QString("标准模式"));
    QCOMPARE(f.widget<QPushButton>("pushButtonSerialSW")->text(), QString("连接"));
}

void tst_Language::switchWhileLinked()
{
    QuellonFixture f(false);
    installTranslation(f);
    f.create();
    auto *combo = f.widget<QComboBox>("comboBoxLanguage");
    auto *serial = f.widget<QPushButton>("pushButtonSerialSW");
    auto *tcp = f.widget<QPushButton>("connectServer");

    combo->setCurrentIndex(1);
    QCOMPARE(serial->text(), QString("Connect"));
    QCOMPARE(f.widget<QLabel>("label_6")->text(), QString("Language"));
    QCOMPARE(f.text("labelLinkStatus"), QString("OFF"));
    QCOMPARE(f.text("labelMaster"), QString("NO TARGET"));

    f.identify("KTR8548");
    combo->setCurrentIndex(0);
    QCOMPARE(serial->text(), QString("断开"));
    QCOMPARE(tcp->text(), QString("断开"));
    combo->setCurrentIndex(1);
    QCOMPARE(serial->text(), QString("Disconnect"));
    QCOMPARE(tcp->text(), QString("Disconnect"));
    QCOMPARE(f.text("labelLinkStatus"), QString("ON"));
    QCOMPARE(f.text("labelMaster"), QString("KTR8548"));
    QVERIFY(f.text("label_web_x").contains("href=\"https://example.com/\""));

    // Runtime texts go through the translation too.
    f.feed("SYS:DEVTYPE:P", "err", DataPack::NoReply);
    QCOMPARE(f.text("label_tip"), QString("The instrument does not answer; check the connection"));
    combo->setCurrentIndex(0);
}

void tst_Language::helpDocument()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    {
        QuellonFixture f;
        QTest::mouseClick(f.widget<QPushButton>("pushButtonHeep"), Qt::LeftButton);
        QCOMPARE(f.dialogs.texts(), QStringList{"PDF file not found:"});
        QVERIFY(catcher.urls.isEmpty());

        // A folder of that name is no document either.
        QVERIFY(QDir(f.dir.path()).mkdir("KTR软件使用帮助.pdf"));
        QTest::mouseClick(f.widget<QPushButton>("pushButtonHeep"), Qt::LeftButton);
        QCOMPARE(f.dialogs.messages.size(), 2);
        QVERIFY(QDir(f.dir.path()).rmdir("KTR软件使用帮助.pdf"));

        writeFile(f.path("KTR软件使用帮助.pdf"), "%PDF-1.4\n");
        QTest::mouseClick(f.widget<QPushButton>("pushButtonHeep"), Qt::LeftButton);
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls.first(), QUrl::fromLocalFile(f.path("KTR软件使用帮助.pdf")));
        QCOMPARE(f.dialogs.messages.size(), 2);

        // No program takes the document (no desktop opener): the operator is
        // told which file could not be opened. A handler without the named
        // slot makes the open fail the way a missing opener does.
        QObject refusing;
        QDesktopServices::setUrlHandler("file", &refusing, "noSuchOpener");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("invokeMethod: No such method"));
        QTest::mouseClick(f.widget<QPushButton>("pushButtonHeep"), Qt::LeftButton);
        QCOMPARE(f.dialogs.messages.size(), 3);
        QCOMPARE(f.dialogs.texts().last(),
                 QString("无法打开帮助文档：%1").arg(QDir::toNativeSeparators(f.path("KTR软件使用帮助.pdf"))));
        QCOMPARE(catcher.urls.size(), 1);
    }
    QDesktopServices::unsetUrlHandler("file");
}

void tst_Language::webLink()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    {
        QuellonFixture f;
        auto *label = f.widget<QLabel>("label_web_x");
        QVERIFY(!label->openExternalLinks());
        QVERIFY(label->text().contains("https://example.com/"));
        QMetaObject::invokeMethod(label, "linkActivated", Q_ARG(QString, "https://example.com/"));
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl("https://example.com/")});
    }
    QDesktopServices::unsetUrlHandler("https");
}

QTEST_MAIN(tst_Language)
#include "tst_language.moc"
