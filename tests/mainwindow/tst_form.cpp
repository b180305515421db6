// The main window's form as the operator first sees it: object names, widget
// kinds, source texts, items, ranges and styles; and the parts of the link
// panel that the constructor sets up on top of the form.

#include "QuellonFixture.h"
#include "QuellonResources.h"
#include "ui_Quellon.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QSpinBox>
#include <QStackedWidget>

namespace {
QStringList comboItems(const QComboBox *c)
{
    QStringList items;
    for (int i = 0; i < c->count(); ++i)
        items << c->itemText(i);
    return items;
}

QStringList pageNames(const QStackedWidget *s)
{
    QStringList names;
    for (int i = 0; i < s->count(); ++i)
        names << s->widget(i)->objectName();
    return names;
}

// The bare form on a plain widget, before the window adds anything to it.
struct BareForm
{
    BareForm() { ui.setupUi(&host); }
    QWidget host;
    Ui::Quellon ui;
};
} // namespace

class tst_Form : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initQuellonResources(); }
    void texts_data();
    void texts();
    void choices_data();
    void choices();
    void stacks();
    void windowFrame();
    void linkFieldsStartEmpty();
    void interfaceSwitchKeepsTheLink_data();
    void interfaceSwitchKeepsTheLink();
};

void tst_Form::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style"); // empty: not checked

    auto row = [](const char *name, const char *kind, const char *text, const char *style = "") {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << QString::fromUtf8(text)
                            << QString::fromUtf8(style);
    };
    row("pushButtonEnterCCCV", "QPushButton", "标准模式");
    row("pushButtonEnterLIST", "QPushButton", "列表模式");
    row("pushButtonEnterBAT", "QPushButton", "电池测试模式");
    row("label_4", "QLabel", "模式选择");
    row("label_9", "QLabel", "Darvik 可编程电子负载 - KTR SERIES");
    row("label_41", "QLabel", "连接状态:");
    row("labelLinkStatus", "QLabel", "OFF", "color: rgb(255, 0, 0);");
    row("pushButtonSerialSW", "QPushButton", "连接");
    row("pushButtonUpdate", "QPushButton", "刷新");
    row("pushButtonSearchIP", "QPushButton", "搜索设备");
    row("labelServer", "QLabel", "服务器 IP");
    row("connectServer", "QPushButton", "连接");
    row("labelProt", "QLabel", "端口号");
    row("label_46", "QLabel", "ID:");
    row("labelMaster", "QLabel", "NO TARGET");
    row("label_6", "QLabel", "语言");
    row("pushButtonHeep", "QPushButton", "使用帮助");
    row("label_parallel_2", "QLabel", "并机设置");
    row("label_parallel", "QLabel", "并机状态:");
    row("labelParallelStatus", "QLabel", "OFF");
    row("label_parallel_3", "QLabel", "主从机设置:");
    row("label_parallel_4", "QLabel", "地址设置:");
    row("label_parallel_5", "QLabel", "并机使能设置:");
    row("label_parallel_6", "QLabel", "在线数: ");
    row("labelPaOnline", "QLabel", "0", "color: rgb(62, 185, 90);");
}

void tst_Form::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, style);
    BareForm form;
    QWidget *w = form.host.findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), kind);
    QCOMPARE(w->property("text").toString(), text);
    if (!style.isEmpty())
        QCOMPARE(w->styleSheet(), style);
}

void tst_Form::choices_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("current");
    QTest::newRow("comboBoxInterface") << "comboBoxInterface" << QStringList{"USB", "LAN"} << 0;
    QTest::newRow("comboBoxLanguage") << "comboBoxLanguage" << QStringList{"中文", "English"} << 0;
    QTest::newRow("comboBoxPaM") << "comboBoxPaM" << QStringList{"从机", "主机"} << 0;
    QTest::newRow("comboBoxPaStatus") << "comboBoxPaStatus" << QStringList{"禁止", "使能"} << 0;
    QTest::newRow("comboSerialPort") << "comboSerialPort" << QStringList{} << -1;
}

void tst_Form::choices()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    QFETCH(int, current);
    BareForm form;
    auto *combo = form.host.findChild<QComboBox *>(name);
    QVERIFY2(combo, qPrintable(name));
    QCOMPARE(comboItems(combo), items);
    QCOMPARE(combo->currentIndex(), current);
    QVERIFY(!combo->isEditable());
}

void tst_Form::stacks()
{
    BareForm form;
    const Ui::Quellon &ui = form.ui;
    QCOMPARE(pageNames(ui.stackedWidgetPower), (QStringList{"PageMain", "PageCCCV", "pageLIST", "BATpage"}));
    QCOMPARE(ui.stackedWidgetPower->currentIndex(), 0);
    const QStringList placeholderLabels = {"CCCV", "LIST", "BAT"};
    for (int i = 1; i <= 3; ++i) {
        QStringList labels;
        for (const QLabel *l : ui.stackedWidgetPower->widget(i)->findChildren<QLabel *>())
            labels << l->text();
        QCOMPARE(labels, QStringList{placeholderLabels.at(i - 1)});
    }
    QCOMPARE(pageNames(ui.stackedInterface), (QStringList{"page232", "pageLAN"}));
    QCOMPARE(ui.stackedInterface->currentIndex(), 0);

    QCOMPARE(ui.spinBoxPaAddr->minimum(), 1);
    QCOMPARE(ui.spinBoxPaAddr->maximum(), 10);
    QCOMPARE(ui.spinBoxPaAddr->value(), 10);
    QCOMPARE(ui.lineEditIP->placeholderText(), QString("192.168.10.140"));
    QCOMPARE(ui.lineEditProt->placeholderText(), QString("4196"));
    QVERIFY(ui.frameBack->styleSheet().contains("background-color: rgb(229, 229, 229)"));
    QVERIFY(ui.frameBack->styleSheet().contains("QFrame#frameBack"));
    QVERIFY(!ui.label_web->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(!ui.label_7->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(!ui.label_8->pixmap(Qt::ReturnByValue).isNull());
}

void tst_Form::windowFrame()
{
    QuellonFixture f;
    QCOMPARE(f.window->windowTitle(), QString("Darvik KTR series--V1.0.17 20260928"));
    QCOMPARE(f.window->minimumSize(), QSize(1050, 700));
    QCOMPARE(f.window->maximumSize(), QSize(1050, 700));
    auto *web = f.widget<QLabel>("label_web_x");
    QVERIFY(!web->openExternalLinks());
    QVERIFY(web->text().contains("<a "));
}

void tst_Form::linkFieldsStartEmpty()
{
    QuellonFixture f;
    auto *ip = f.widget<QLineEdit>("lineEditIP");
    auto *port = f.widget<QLineEdit>("lineEditProt");
    QVERIFY(ip->text().isEmpty());
    QVERIFY(port->text().isEmpty());
    QCOMPARE(ip->placeholderText(), QString("192.168.10.140"));
    QCOMPARE(port->placeholderText(), QString("4196"));
    auto *validator = qobject_cast<const QIntValidator *>(port->validator());
    QVERIFY(validator);
    QCOMPARE(validator->bottom(), 0);
    QCOMPARE(validator->top(), 65535);
    QCOMPARE(f.widget<QComboBox>("comboBoxInterface")->currentIndex(), 0);
    QCOMPARE(f.widget<QStackedWidget>("stackedInterface")->currentIndex(), 0);
}

void tst_Form::interfaceSwitchKeepsTheLink_data()
{
    QTest::addColumn<int>("opened");
    QTest::addColumn<int>("chosen");
    QTest::newRow("serial open, LAN chosen") << 0 << 1;
    QTest::newRow("LAN open, serial chosen") << 1 << 0;
}

void tst_Form::interfaceSwitchKeepsTheLink()
{
    QFETCH(int, opened);
    QFETCH(int, chosen);
    QuellonFixture f;
    f.tick(); // the first tick's port-list request
    f.openLink(opened);
    f.clearRecords();

    f.widget<QComboBox>("comboBoxInterface")->setCurrentIndex(chosen);
    QCOMPARE(f.widget<QStackedWidget>("stackedInterface")->currentIndex(), chosen);
    // No close request, no status change: the link stays open.
    QVERIFY(f.serialRequests->isEmpty());
    QVERIFY(f.tcpRequests->isEmpty());
    QVERIFY(f.status->isEmpty());
    const char *button = opened == 0 ? "pushButtonSerialSW" : "connectServer";
    QCOMPARE(f.widget<QPushButton>(button)->text(), QString("断开"));

    // Still linked: the next tick identifies, over the interface chosen now.
    f.tick();
    QCOMPARE(f.sent->datas().value(0), QString("SYST:REM\n"));
    QCOMPARE(f.sent->packs.first().link, chosen);
}

QTEST_MAIN(tst_Form)
#include "tst_form.moc"
