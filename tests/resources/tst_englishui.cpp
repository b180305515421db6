#include "DialogRecorder.h"
#include "QuellonResources.h"

#include <QtTest>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCommandLinkButton>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTranslator>

#include <algorithm>

// The window and the page are looked for by header so that this test grows
// with them; until they exist the cases are skipped.
#if __has_include("AppDirectory.h") && __has_include("Quellon.h")
#include "AppDirectory.h"
#include "Quellon.h"
#define HAVE_QUELLON 1
#endif
#if __has_include("CCCVPage.h")
#include "CCCVPage.h"
#define HAVE_CCCVPAGE 1
#endif
#if __has_include("ListPage.h")
#include "AppDirectory.h"
#include "ListPage.h"
#include <QStackedWidget>
#include <QTableWidget>
#define HAVE_LISTPAGE 1
#endif
#if __has_include("BATPage.h")
#include "AppDirectory.h"
#include "BATPage.h"
#define HAVE_BATPAGE 1
#endif
#if __has_include("VKDWidget.h")
#include "VKDWidget.h"
#include <QStandardItemModel>
#include <QTableView>
#define HAVE_LANDIALOG 1
#endif

// With the English translation installed, no widget of the main window or of
// the static mode page may still show Chinese, and no English caption may be
// wider than the widget that the Chinese caption was laid out for.
class TestEnglishUi : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void mainWindowInEnglish();
    void staticPageInEnglish();
    void listPageInEnglish();
    void batteryPageInEnglish();
    void lanDialogInEnglish();

private:
    DialogRecorder m_dialogs;
};

namespace {

const QString kQm = QStringLiteral(QUELLON_BIN_DIR "/translator/lang_en.qm");

bool hasCjk(const QString &s)
{
    static const QRegularExpression re(
        QStringLiteral("[\\x{2E80}-\\x{9FFF}\\x{F900}-\\x{FAFF}\\x{FE30}-\\x{FE4F}\\x{FF00}-\\x{FFEF}]"));
    return re.match(s).hasMatch();
}

// Every text a widget shows or offers: texts, items, tabs, titles, tips.
[[maybe_unused]] QStringList chineseLeft(QWidget *root)
{
    QStringList out;
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *w : widgets) {
        const QString name = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                       : w->objectName();
        auto check = [&](const char *what, const QString &text) {
            if (hasCjk(text))
                out << name + QLatin1Char('.') + QLatin1String(what) + QStringLiteral(": ") + text;
        };
        check("toolTip", w->toolTip());
        check("statusTip", w->statusTip());
        check("whatsThis", w->whatsThis());
        if (w == root || w->isWindow())
            check("windowTitle", w->windowTitle());
        if (auto *l = qobject_cast<QLabel *>(w))
            check("text", l->text());
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            check("text", b->text());
        if (auto *c = qobject_cast<QCommandLinkButton *>(w))
            check("description", c->description());
        if (auto *c = qobject_cast<QComboBox *>(w)) {
            for (int i = 0; i < c->count(); ++i)
                check("item", c->itemText(i));
        }
        if (auto *e = qobject_cast<QLineEdit *>(w)) {
            // Line edits inside spin boxes show numbers only.
            if (!qobject_cast<QAbstractSpinBox *>(w->parentWidget()))
                check("placeholderText", e->placeholderText());
        }
        if (auto *s = qobject_cast<QSpinBox *>(w)) {
            check("prefix", s->prefix());
            check("suffix", s->suffix());
        }
        if (auto *s = qobject_cast<QDoubleSpinBox *>(w)) {
            check("prefix", s->prefix());
            check("suffix", s->suffix());
        }
        if (auto *g = qobject_cast<QGroupBox *>(w))
            check("title", g->title());
        if (auto *t = qobject_cast<QTabWidget *>(w)) {
            for (int i = 0; i < t->count(); ++i) {
                check("tabText", t->tabText(i));
                check("tabToolTip", t->tabToolTip(i));
            }
        }
    }
    return out;
}

// Captions and button texts wider than their widget are cut off on screen.
[[maybe_unused]] QStringList cutOff(QWidget *root)
{
    QStringList out;
    for (QWidget *w : root->findChildren<QWidget *>()) {
        QString text;
        int room = w->contentsRect().width();
        if (auto *l = qobject_cast<QLabel *>(w)) {
            if (l->wordWrap() || !l->pixmap(Qt::ReturnByValue).isNull())
                continue;
            text = l->text();
        } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            if (qobject_cast<QCommandLinkButton *>(w) || !b->icon().isNull())
                room -= b->iconSize().width() + 8;
            text = b->text();
            room -= 8; // the button's frame and padding
        } else {
            continue;
        }
        if (text.isEmpty() || Qt::mightBeRichText(text) || text.contains(QLatin1Char('\n')))
            continue;
        const int need = w->fontMetrics().horizontalAdvance(text);
        if (need > room)
            out << QStringLiteral("%1 \"%2\" needs %3 px, has %4").arg(w->objectName(), text).arg(need).arg(room);
    }
    return out;
}

} // namespace

void TestEnglishUi::initTestCase()
{
    initQuellonResources();
    QVERIFY2(QFile::exists(kQm), "build/bin/translator/lang_en.qm missing");
}

void TestEnglishUi::mainWindowInEnglish()
{
#ifdef HAVE_QUELLON
    // The window keeps conf.txt and looks for the translation in its folder.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("translator")));
    QVERIFY(QFile::copy(kQm, dir.filePath(QStringLiteral("translator/lang_en.qm"))));
    AppDirectory::setOverride(dir.path());
    {
        Quellon w;
        auto *language = w.findChild<QComboBox *>(QStringLiteral("comboBoxLanguage"));
        QVERIFY(language);
        QVERIFY2(!chineseLeft(&w).isEmpty(), "the window starts in Chinese");
        language->setCurrentIndex(1);
        const QStringList left = chineseLeft(&w);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
        w.show();
        const QStringList cut = cutOff(&w);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
        auto *enter = w.findChild<QPushButton *>(QStringLiteral("pushButtonEnterCCCV"));
        QVERIFY(enter);
        QCOMPARE(enter->text(), QStringLiteral("Standard Mode"));

        // And back: Chinese is the source language.
        language->setCurrentIndex(0);
        QCOMPARE(enter->text(), QStringLiteral("标准模式"));
    }
    AppDirectory::setOverride(QString());
#else
    QSKIP("the main window is not built yet");
#endif
}

void TestEnglishUi::staticPageInEnglish()
{
#ifdef HAVE_CCCVPAGE
    QTranslator translator;
    QVERIFY(translator.load(kQm));
    {
        CCCVPage page;
        QVERIFY2(!chineseLeft(&page).isEmpty(), "the page starts in Chinese");
        QVERIFY(QCoreApplication::installTranslator(&translator));
        page.RecvChangeLanguage();
        page.show();
        const QStringList left = chineseLeft(&page);
        const QStringList cut = cutOff(&page);
        QCoreApplication::removeTranslator(&translator);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }
#else
    QSKIP("the static mode page is not built yet");
#endif
}

void TestEnglishUi::listPageInEnglish()
{
#ifdef HAVE_LISTPAGE
    QTranslator translator;
    QVERIFY(translator.load(kQm));
    {
        QTemporaryDir dir; // the page makes its LOG folder in the application folder
        AppDirectory::setOverride(dir.path());
        ListPage page;
        QVERIFY2(!chineseLeft(&page).isEmpty(), "the page starts in Chinese");
        QVERIFY(QCoreApplication::installTranslator(&translator));
        page.RecvChangeLanguage();
        page.show();
        QStringList left = chineseLeft(&page);
        QStringList cut = cutOff(&page);
        // Every mode's controls, and the record log while recording and paused.
        auto *modes = page.findChild<QStackedWidget *>(QStringLiteral("stackedListMode"));
        QVERIFY(modes);
        for (int i = 1; i < modes->count(); ++i) {
            modes->setCurrentIndex(i);
            cut << cutOff(modes->currentWidget());
        }
        page.LISTreceDevFun(true, 1, QStringLiteral("STATUS"));
        page.findChild<QPushButton *>(QStringLiteral("pushButtonStart"))->click();
        left << chineseLeft(&page);
        cut << cutOff(&page);
        page.findChild<QPushButton *>(QStringLiteral("pushButtonPause"))->click();
        left << chineseLeft(&page);
        cut << cutOff(&page);
        page.findChild<QPushButton *>(QStringLiteral("pushButtonStop"))->click();
        QTableWidget *table = page.stepTable();
        for (int c = 0; c < table->columnCount(); ++c)
            if (hasCjk(table->horizontalHeaderItem(c)->text()))
                left << QStringLiteral("header: ") + table->horizontalHeaderItem(c)->text();
        QCoreApplication::removeTranslator(&translator);
        AppDirectory::setOverride(QString());
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }
#else
    QSKIP("the list page is not built yet");
#endif
}

void TestEnglishUi::batteryPageInEnglish()
{
#ifdef HAVE_BATPAGE
    QTranslator translator;
    QVERIFY(translator.load(kQm));
    {
        QTemporaryDir dir; // the page makes its LOG folder in the application folder
        AppDirectory::setOverride(dir.path());
        BATPage page;
        QVERIFY2(!chineseLeft(&page).isEmpty(), "the page starts in Chinese");
        QVERIFY(QCoreApplication::installTranslator(&translator));
        page.RecvChangeLanguage();
        page.show();
        QStringList left = chineseLeft(&page);
        QStringList cut = cutOff(&page);
        // The run controls and the record log in every state they show.
        page.BATreceDevFun(true, 1, QStringLiteral("STATUS"));
        page.findChild<QComboBox *>(QStringLiteral("tstopComboBox"))->setCurrentIndex(1);
        for (const char *button : {"pushButtonOutSW", "bntOutSW_PAUSE", "pushButtonStart", "pushButtonPause"}) {
            page.findChild<QPushButton *>(QLatin1String(button))->click();
            for (int i = 0; i < 11; ++i)
                QMetaObject::invokeMethod(&page, "timerTimeOut"); // the controls follow every 11th tick
            left << chineseLeft(&page);
            cut << cutOff(&page);
        }
        page.findChild<QPushButton *>(QStringLiteral("pushButtonStop"))->click();
        page.findChild<QPushButton *>(QStringLiteral("bntOutSW_STOP"))->click();
        // A widget that is never shown has no room of its own to be cut off in.
        cut.erase(std::remove_if(cut.begin(), cut.end(),
                                 [&](const QString &line) {
                                     QWidget *w = page.findChild<QWidget *>(line.section(QLatin1Char(' '), 0, 0));
                                     return w && w->isHidden();
                                 }),
                  cut.end());
        QCoreApplication::removeTranslator(&translator);
        AppDirectory::setOverride(QString());
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }
#else
    QSKIP("the battery test page is not built yet");
#endif
}

void TestEnglishUi::lanDialogInEnglish()
{
#ifdef HAVE_LANDIALOG
    QTranslator translator;
    QVERIFY(translator.load(kQm));
    {
        VKDWidget dialog;
        auto *view = dialog.findChild<QTableView *>(QStringLiteral("tableViewList"));
        QVERIFY(view);
        auto *model = qobject_cast<QStandardItemModel *>(view->model());
        QVERIFY(model);
        model->appendRow({new QStandardItem(QStringLiteral("NQX_01")), new QStandardItem(QStringLiteral("static")),
                          new QStandardItem(QStringLiteral("10.77.0.5")), new QStandardItem(QStringLiteral("4196")),
                          new QStandardItem()});
        QVERIFY2(!chineseLeft(&dialog).isEmpty(), "the dialog starts in Chinese");
        QVERIFY(QCoreApplication::installTranslator(&translator));
        dialog.RecvChangeLanguage();
        dialog.show();
        // The operation cell's button is made in the language of the moment.
        view->edit(model->index(0, 4));
        QStringList left = chineseLeft(&dialog);
        const QStringList cut = cutOff(&dialog);
        QStringList headers;
        for (int c = 0; c < model->columnCount(); ++c)
            headers << model->headerData(c, Qt::Horizontal).toString();
        QCoreApplication::removeTranslator(&translator);
        for (const QString &h : headers)
            if (hasCjk(h))
                left << QStringLiteral("header: ") + h;
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }
#else
    QSKIP("the LAN dialog is not built yet");
#endif
}

QTEST_MAIN(TestEnglishUi)
#include "tst_englishui.moc"
