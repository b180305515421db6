// The LAN dialog without the network: form, placeholder entries, cell
// editors, table commands, CSV export, language, and the window's side of a
// device choice. Nothing here searches or loads the device library.
#include "DialogRecorder.h"
#include "IpEditDelegate.h"
#include "LanDialogTools.h"
#include "QuellonFixture.h"
#include "VKDWidget.h"
#include "newCombboxDelegate.h"
#include "newPushButtonDelegate.h"
#include "protEditDelegate.h"

#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <cerrno>
#include <cstring>

class TstLanDialogForm : public QObject
{
    Q_OBJECT
private slots:
    void formAndPlaceholders();
    void modeComboOnOpening_data();
    void modeComboOnOpening();
    void modeChangeLocksAddress();
    void addressMask();
    void portValidator_data();
    void portValidator();
    void editorsWriteTheCell();
    void buttonEditor();
    void readBack_data();
    void readBack();
    void writeBackChecksTheRow_data();
    void writeBackChecksTheRow();
    void ipModeOfSelectedRows();
    void tableMenu();
    void copySelectedAddresses();
    void exportCsv_data();
    void exportCsv();
    void exportRefusals();
    void exportWriteFailure();
    void languageSwitch();
    void windowTakesDevice_data();
    void windowTakesDevice();

private:
    DialogRecorder m_dialogs;
};

void TstLanDialogForm::formAndPlaceholders()
{
    VKDWidget d;
    QCOMPARE(d.windowTitle(), QStringLiteral("LAN TOOL"));
    QCOMPARE(d.size(), QSize(1084, 380));
    QVERIFY(QMetaType::type("VkdevData") != QMetaType::UnknownType);
    QVERIFY(QMetaType::type("VkdevList") != QMetaType::UnknownType);

    // 100 entries, placeholders with their own odd addresses.
    const QVector<VkdevList> &list = d.devices();
    QCOMPARE(list.size(), 100);
    QCOMPARE(list[0].name, QStringLiteral("NQX_01"));
    QCOMPARE(list[0].ip, QStringLiteral("192.198.10.11"));
    QCOMPARE(list[99].name, QStringLiteral("NQX_0100"));
    QCOMPARE(list[99].ip, QStringLiteral("192.198.10.1100"));
    for (const VkdevList &e : list) {
        QCOMPARE(e.port, 4196);
        QCOMPARE(e.workMode, 0);
        QCOMPARE(e.ipMode, 0);
        QCOMPARE(e.mask, QStringLiteral("255.255.255.0"));
        QCOMPARE(e.gateway, QStringLiteral("192.0.0.0"));
        QVERIFY(e.devId.isEmpty());
    }
    QCOMPARE(d.currentDevice(), 0);

    // The panel starts cleared; the port and work mode are shown, not edited.
    QCOMPARE(part<QLabel>(&d, "label_devName")->text(), QStringLiteral("NQX_xx"));
    QCOMPARE(part<QLabel>(&d, "labelDevTitle")->text(), QStringLiteral("当前设备:NQX_xx"));
    QCOMPARE(part<QLabel>(&d, "label_devIP")->text(), QStringLiteral("192.168.0.0"));
    QCOMPARE(part<QLabel>(&d, "label_devMode")->text(), QStringLiteral("static"));
    QCOMPARE(part<QLineEdit>(&d, "lineEditPort")->text(), QStringLiteral("4196"));
    QVERIFY(!part<QLineEdit>(&d, "lineEditPort")->isEnabled());
    auto *workMode = part<QComboBox>(&d, "comboTCPmode");
    QVERIFY(!workMode->isEnabled());
    QCOMPARE(workMode->count(), 1);
    QCOMPARE(workMode->itemText(0), QStringLiteral("TCP Server"));
    QCOMPARE(part<QListWidget>(&d, "listWidgetIP")->contextMenuPolicy(), Qt::CustomContextMenu);

    // The table: five columns with their editors, nothing listed before a search.
    QTableView *view = deviceTable(&d);
    QStandardItemModel *model = deviceModel(&d);
    QCOMPARE(model->rowCount(), 0);
    QStringList headers;
    for (int c = 0; c < model->columnCount(); ++c)
        headers << model->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{"设备名称", "IP模式", "设备IP", "设备端口", "操作"}));
    QVERIFY(!view->itemDelegateForColumn(0));
    QVERIFY(qobject_cast<newCombboxDelegate *>(view->itemDelegateForColumn(1)));
    QVERIFY(qobject_cast<IpEditDelegate *>(view->itemDelegateForColumn(2)));
    QVERIFY(qobject_cast<protEditDelegate *>(view->itemDelegateForColumn(3)));
    QVERIFY(qobject_cast<newPushButtonDelegate *>(view->itemDelegateForColumn(4)));
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(view->contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(view->editTriggers(), QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked);
    QCOMPARE(view->horizontalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
}

void TstLanDialogForm::modeComboOnOpening_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("emissions");
    QTest::newRow("DHCP row") << "DHCP" << 1;
    QTest::newRow("static row") << "static" << 0;
}

void TstLanDialogForm::modeComboOnOpening()
{
    QFETCH(QString, mode);
    QFETCH(int, emissions);
    VKDWidget d;
    addRow(&d, "A", "static", "10.0.0.1", 1);
    addRow(&d, "B", mode, "10.0.0.2", 2);
    QTableView *view = deviceTable(&d);
    auto *delegate = qobject_cast<newCombboxDelegate *>(view->itemDelegateForColumn(1));
    QSignalSpy spy(delegate, &newCombboxDelegate::DevIpModeUpdate);
    d.show();
    const QModelIndex cell = view->model()->index(1, 1);
    view->edit(cell);
    auto *combo = qobject_cast<QComboBox *>(view->indexWidget(cell));
    QVERIFY(combo);
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QStringLiteral("static"));
    QCOMPARE(combo->itemText(1), QStringLiteral("DHCP"));
    QCOMPARE(combo->currentText(), mode);
    QCOMPARE(combo->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(spy.size(), emissions);
    if (emissions) {
        QCOMPARE(spy[0][0].toInt(), 1);
        QCOMPARE(spy[0][1].toString(), QStringLiteral("DHCP"));
    }
}

void TstLanDialogForm::modeChangeLocksAddress()
{
    VKDWidget d;
    addRow(&d, "A", "static", "10.0.0.1", 1);
    QTableView *view = deviceTable(&d);
    d.show();
    const QModelIndex cell = view->model()->index(0, 1);
    view->edit(cell);
    auto *combo = qobject_cast<QComboBox *>(view->indexWidget(cell));
    QVERIFY(combo);
    QStandardItem *address = deviceModel(&d)->item(0, 2);
    QVERIFY(address->isEditable());

    combo->setCurrentText(QStringLiteral("DHCP"));
    QVERIFY(!address->isEditable());
    QCOMPARE(address->background().color(), QColor(222, 222, 222));
    combo->setCurrentText(QStringLiteral("static"));
    QVERIFY(address->isEditable());
    QCOMPARE(address->background().color(), QColor(Qt::white));

    // A row without an address cell is left alone.
    d.DevIpModeUpdate(7, QStringLiteral("DHCP"));
}

void TstLanDialogForm::addressMask()
{
    VKDWidget d;
    addRow(&d, "A", "static", "", 1);
    QTableView *view = deviceTable(&d);
    d.show();
    const QModelIndex cell = view->model()->index(0, 2);
    view->edit(cell);
    auto *edit = qobject_cast<QLineEdit *>(view->indexWidget(cell));
    QVERIFY(edit);
    QCOMPARE(edit->inputMask(), QStringLiteral("000.000.000.000")); // the blank is a space
    QCOMPARE(edit->cursor().shape(), Qt::IBeamCursor);
    QCOMPARE(edit->styleSheet(), QStringLiteral("QLineEdit { border: none; padding-left: 5px; }"));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("ab-"));
    QCOMPARE(edit->text(), QStringLiteral("..."));
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("192x168001002"));
    QCOMPARE(edit->text(), QStringLiteral("192.168.001.002"));
}

void TstLanDialogForm::portValidator_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("0") << "0" << true;
    QTest::newRow("4196") << "4196" << true;
    QTest::newRow("65535") << "65535" << true;
    QTest::newRow("65536") << "65536" << false;
    QTest::newRow("99999") << "99999" << false;
    QTest::newRow("negative") << "-1" << false;
    QTest::newRow("text") << "port" << false;
}

void TstLanDialogForm::portValidator()
{
    QFETCH(QString, typed);
    QFETCH(bool, acceptable);
    VKDWidget d;
    addRow(&d, "A", "static", "10.0.0.1", 1);
    QTableView *view = deviceTable(&d);
    d.show();
    const QModelIndex cell = view->model()->index(0, 3);
    view->edit(cell);
    auto *edit = qobject_cast<QLineEdit *>(view->indexWidget(cell));
    QVERIFY(edit);
    QCOMPARE(edit->text(), QStringLiteral("1"));
    QCOMPARE(edit->cursor().shape(), Qt::IBeamCursor);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    // Refused keys are not taken, or the text is not acceptable as it stands.
    QCOMPARE(edit->text() == typed && edit->hasAcceptableInput(), acceptable);
    int pos = 0;
    QCOMPARE(edit->validator()->validate(typed, pos) == QValidator::Acceptable, acceptable);
}

void TstLanDialogForm::editorsWriteTheCell()
{
    VKDWidget d;
    addRow(&d, "A", "static", "10.0.0.1", 1);
    QTableView *view = deviceTable(&d);
    d.show();
    auto commit = [&](int column, auto apply) {
        const QModelIndex cell = view->model()->index(0, column);
        view->edit(cell);
        QWidget *editor = view->indexWidget(cell);
        QVERIFY(editor);
        apply(editor);
        QAbstractItemDelegate *delegate = view->itemDelegateForColumn(column);
        emit delegate->commitData(editor);
        emit delegate->closeEditor(editor);
    };
    commit(2, [](QWidget *e) { static_cast<QLineEdit *>(e)->setText("10.77.0.9"); });
    commit(3, [](QWidget *e) { static_cast<QLineEdit *>(e)->setText("20009"); });
    commit(1, [](QWidget *e) { static_cast<QComboBox *>(e)->setCurrentText("DHCP"); });
    // DHCP locks the address cell.
    QVERIFY(!deviceModel(&d)->item(0, 2)->isEditable());
    QCOMPARE(cellText(&d, 0, 1), QStringLiteral("DHCP"));
    QCOMPARE(cellText(&d, 0, 2), QStringLiteral("10.77.0.9"));
    QCOMPARE(cellText(&d, 0, 3), QStringLiteral("20009"));
}

void TstLanDialogForm::buttonEditor()
{
    VKDWidget d;
    addRow(&d, "A", "static", "10.0.0.1", 1);
    addRow(&d, "B", "static", "10.0.0.2", 2);
    QTableView *view = deviceTable(&d);
    auto *delegate = qobject_cast<newPushButtonDelegate *>(view->itemDelegateForColumn(4));
    QSignalSpy created(delegate, &newPushButtonDelegate::DevIdUpdate);
    QSignalSpy clicked(delegate, &newPushButtonDelegate::DevSetUpdate);
    d.show();
    const QModelIndex cell = view->model()->index(1, 4);
    view->edit(cell);
    auto *button = qobject_cast<QPushButton *>(view->indexWidget(cell));
    QVERIFY(button);
    // Opening the cell names the row at once.
    QCOMPARE(created.size(), 1);
    QCOMPARE(created[0][0].toInt(), 1);
    QCOMPARE(d.currentDevice(), 1);
    QCOMPARE(button->text(), QStringLiteral("设置更新"));
    QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
    const QString rest = QString::fromLatin1(newPushButtonDelegate::kRestStyle);
    const QString pressed = QString::fromLatin1(newPushButtonDelegate::kPressedStyle);
    QVERIFY(rest.contains("lightblue"));
    QVERIFY(pressed.contains("darkblue"));
    QCOMPARE(button->styleSheet(), rest);
    QTest::mousePress(button, Qt::LeftButton);
    QCOMPARE(button->styleSheet(), pressed);
    m_dialogs.clear();
    QTest::mouseRelease(button, Qt::LeftButton);
    QCOMPARE(button->styleSheet(), rest);
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked[0][0].toInt(), 1);
    // No search has found a device: the write-back refuses.
    QCOMPARE(m_dialogs.texts(), QStringList{"设备数量为0，请检查设备是否接入内网"});
    QVERIFY(!m_dialogs.messages[0].parent);
    QCOMPARE(d.devices()[1].name, QStringLiteral("B"));
}

void TstLanDialogForm::readBack_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("ipMode");
    QTest::addColumn<int>("portRead");
    QTest::newRow("static") << "static" << "20001" << 0 << 20001;
    QTest::newRow("DHCP") << "DHCP" << "8" << 1 << 8;
    QTest::newRow("unknown mode") << "auto" << "4196" << -1 << 4196;
    QTest::newRow("port not a number") << "static" << "port" << 0 << 0;
    QTest::newRow("negative port") << "static" << "-5" << 0 << 0;
}

void TstLanDialogForm::readBack()
{
    QFETCH(QString, mode);
    QFETCH(QString, port);
    QFETCH(int, ipMode);
    QFETCH(int, portRead);
    VKDWidget d;
    addRow(&d, "first", "static", "10.0.0.1", 1);
    addRow(&d, "second", mode, "10.0.0.2", 2);
    deviceModel(&d)->item(1, 3)->setText(port);
    m_dialogs.clear();
    d.DevSetUpdate(1);
    const VkdevList &e = d.devices()[1];
    QCOMPARE(e.name, QStringLiteral("second"));
    QCOMPARE(e.ip, QStringLiteral("10.0.0.2"));
    QCOMPARE(e.ipMode, ipMode);
    QCOMPARE(e.port, portRead);
    QCOMPARE(d.currentDevice(), 1);
    QCOMPARE(d.devices()[0].name, QStringLiteral("NQX_01"));

    // Rows outside the table leave the entries as they are.
    d.DevSetUpdate(5);
    d.DevSetUpdate(-1);
    QCOMPARE(d.devices()[5].name, QStringLiteral("NQX_06"));
}

void TstLanDialogForm::writeBackChecksTheRow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("refusal"); // "" when the row may go out
    const QString address = QStringLiteral("第2行未写入：IP地址“%1”无效，应为四个0到255之间的数字，例如 192.168.1.100");
    const QString port = QStringLiteral("第2行未写入：端口无效，应为1到65535之间的数字");
    const QString name = QStringLiteral("第2行未写入：设备名称为空");
    const QString mode = QStringLiteral("第2行未写入：IP模式无效，应为 static 或 DHCP");
    QTest::newRow("group above 255") << "B" << "static" << "300.1.1.1" << "4196" << address.arg("300.1.1.1");
    QTest::newRow("last group missing") << "B" << "static" << "192.168.1." << "4196" << address.arg("192.168.1.");
    QTest::newRow("three groups") << "B" << "static" << "10.0.0" << "4196" << address.arg("10.0.0");
    QTest::newRow("five groups") << "B" << "static" << "10.0.0.1.2" << "4196" << address.arg("10.0.0.1.2");
    QTest::newRow("four digits") << "B" << "static" << "10.0.0.1000" << "4196" << address.arg("10.0.0.1000");
    QTest::newRow("letters") << "B" << "static" << "a.b.c.d" << "4196" << address.arg("a.b.c.d");
    QTest::newRow("signed group") << "B" << "static" << "10.0.+1.1" << "4196" << address.arg("10.0.+1.1");
    QTest::newRow("no address") << "B" << "static" << "" << "4196" << address.arg("");
    QTest::newRow("port 0") << "B" << "static" << "10.0.0.2" << "0" << port;
    QTest::newRow("port 65536") << "B" << "static" << "10.0.0.2" << "65536" << port;
    QTest::newRow("port not a number") << "B" << "static" << "10.0.0.2" << "port" << port;
    QTest::newRow("no name") << "" << "static" << "10.0.0.2" << "4196" << name;
    QTest::newRow("unknown mode") << "B" << "auto" << "10.0.0.2" << "4196" << mode;
    QTest::newRow("row left empty") << "" << "" << "" << "" << name;
    // These pass the checks and go on to the library, which no search has readied.
    QTest::newRow("lowest values") << "B" << "static" << "0.0.0.0" << "1" << "";
    QTest::newRow("highest values") << "B" << "static" << "255.255.255.255" << "65535" << "";
    QTest::newRow("zero-padded groups") << "B" << "static" << "192.168.010.002" << "4196" << "";
    QTest::newRow("DHCP row, address not sent") << "B" << "DHCP" << "300.1.1.1" << "4196" << "";
}

void TstLanDialogForm::writeBackChecksTheRow()
{
    QFETCH(QString, name);
    QFETCH(QString, mode);
    QFETCH(QString, ip);
    QFETCH(QString, port);
    QFETCH(QString, refusal);
    VKDWidget d;
    addRow(&d, "A", "static", "10.0.0.1", 1);
    addRow(&d, name, mode, ip, 0);
    deviceModel(&d)->item(1, 3)->setText(port);
    const QStringList expected{refusal.isEmpty() ? QStringLiteral("设备数量为0，请检查设备是否接入内网") : refusal};
    m_dialogs.clear();
    d.DevSetUpdate(1);
    QCOMPARE(m_dialogs.texts(), expected);
    QVERIFY(!m_dialogs.messages[0].parent);

    // The selected rows stop at the refused row, and the summary says so. A
    // refusal for want of devices stands alone: nothing was written.
    selectRows(&d, {1, 0});
    m_dialogs.clear();
    d.setDevSelected();
    QCOMPARE(m_dialogs.messages[0].text, expected[0]);
    if (refusal.isEmpty()) {
        QCOMPARE(m_dialogs.texts(), expected);
    } else {
        QCOMPARE(m_dialogs.messages.size(), 2);
        QCOMPARE(m_dialogs.messages[1].icon, Dialogs::Icon::Warning);
        QCOMPARE(m_dialogs.messages[1].title, QStringLiteral("操作失败"));
        QCOMPARE(m_dialogs.messages[1].text, QStringLiteral("更新未完成：已写入 0 台设备，请重新刷新列表"));
    }
}

void TstLanDialogForm::ipModeOfSelectedRows()
{
    VKDWidget d;
    for (int i = 0; i < 3; ++i)
        addRow(&d, QString("D%1").arg(i), "static", QString("10.0.0.%1").arg(i + 1), 1);
    selectRows(&d, {0, 2});
    m_dialogs.clear();
    d.setDevIpDHCP();
    QCOMPARE(cellText(&d, 0, 1), QStringLiteral("DHCP"));
    QCOMPARE(cellText(&d, 1, 1), QStringLiteral("static"));
    QCOMPARE(cellText(&d, 2, 1), QStringLiteral("DHCP"));
    QVERIFY(!deviceModel(&d)->item(0, 2)->isEditable());
    QCOMPARE(deviceModel(&d)->item(2, 2)->background().color(), QColor(222, 222, 222));
    QVERIFY(deviceModel(&d)->item(1, 2)->isEditable());
    QCOMPARE(m_dialogs.messages.size(), 1);
    QCOMPARE(m_dialogs.messages[0].title, QStringLiteral("操作完成"));
    QCOMPARE(m_dialogs.messages[0].text, QStringLiteral("IP 模式已更改为 DHCP,可通过操作栏更新设备"));
    QCOMPARE(m_dialogs.messages[0].parent, &d);

    selectRows(&d, {2});
    d.setDevIpStatic();
    QCOMPARE(cellText(&d, 2, 1), QStringLiteral("static"));
    QVERIFY(deviceModel(&d)->item(2, 2)->isEditable());
    QCOMPARE(deviceModel(&d)->item(2, 2)->background().color(), QColor(Qt::white));
    QCOMPARE(cellText(&d, 0, 1), QStringLiteral("DHCP"));
    QCOMPARE(m_dialogs.lastText(), QStringLiteral("IP模式已更改为 static,可通过操作栏更新设备"));
    // Nothing is sent and the entries wait for a read-back.
    QCOMPARE(d.devices()[0].ipMode, 0);
}

void TstLanDialogForm::tableMenu()
{
    VKDWidget d;
    addRow(&d, "A", "static", "10.0.0.1", 1);
    addRow(&d, "B", "static", "10.0.0.2", 2);
    d.show();
    QTableView *view = deviceTable(&d);
    {
        // No row selected: no menu.
        MenuAnswer answer{QString()};
        emit view->customContextMenuRequested(QPoint(5, 5));
        QTest::qWait(50);
        QVERIFY(!answer.answered);
    }
    // Nor does the command, reached without a selection, claim an update.
    m_dialogs.clear();
    d.setDevSelected();
    QCOMPARE(m_dialogs.texts(), QStringList());
    selectRows(&d, {1});
    m_dialogs.clear();
    MenuAnswer answer(QStringLiteral("设置为DHCP"));
    emit view->customContextMenuRequested(QPoint(5, 5));
    QVERIFY(answer.answered);
    QCOMPARE(answer.seen, (QStringList{"复制 IP 地址", "更新到设备", "设置为DHCP", "设置为static"}));
    QCOMPARE(cellText(&d, 1, 1), QStringLiteral("DHCP"));
    QCOMPARE(m_dialogs.lastText(), QStringLiteral("IP 模式已更改为 DHCP,可通过操作栏更新设备"));
}

void TstLanDialogForm::copySelectedAddresses()
{
    VKDWidget d;
    for (int i = 0; i < 4; ++i)
        addRow(&d, QString("D%1").arg(i), "static", QString("10.77.0.%1").arg(20 + i), 1);
    selectRows(&d, {0, 1, 3});
    m_dialogs.clear();
    QApplication::clipboard()->clear();
    d.copySelectedIPs();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("10.77.0.20, 10.77.0.21, 10.77.0.23"));
    QCOMPARE(m_dialogs.messages.size(), 1);
    QCOMPARE(m_dialogs.messages[0].title, QStringLiteral("操作完成"));
    QCOMPARE(m_dialogs.messages[0].text, QStringLiteral("复制成功"));
}

void TstLanDialogForm::exportCsv_data()
{
    QTest::addColumn<QStringList>("rows"); // "name|mode|ip|port", or "" for a row without cells
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("empty table") << QStringList() << QByteArray("NAME,MODE,IP\n");
    QTest::newRow("rows, port left out")
        << QStringList{"NQX_A|static|10.77.0.5|20001", "NQX_B|DHCP|10.77.0.6|20002"}
        << QByteArray("NAME,MODE,IP\nNQX_A,static,10.77.0.5\nNQX_B,DHCP,10.77.0.6\n");
    QTest::newRow("row without cells")
        << QStringList{"NQX_A|static|10.77.0.5|1", "", "NQX_C|static|10.77.0.7|3"}
        << QByteArray("NAME,MODE,IP\nNQX_A,static,10.77.0.5\n,,\nNQX_C,static,10.77.0.7\n");
}

void TstLanDialogForm::exportCsv()
{
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, file);
    VKDWidget d;
    for (const QString &r : rows) {
        if (r.isEmpty()) {
            deviceModel(&d)->insertRow(deviceModel(&d)->rowCount());
            continue;
        }
        const QStringList f = r.split('|');
        addRow(&d, f[0], f[1], f[2], f[3].toInt());
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("devices.csv");
    { // An existing file is replaced.
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(500, 'x'));
    }
    m_dialogs.clear();
    m_dialogs.answerFile(path);
    QTest::mouseClick(part<QPushButton>(&d, "pushButtonLoadOut"), Qt::LeftButton);
    QCOMPARE(m_dialogs.files.size(), 1);
    QCOMPARE(m_dialogs.files[0].kind, Dialogs::FileKind::Save);
    QCOMPARE(m_dialogs.files[0].caption, QStringLiteral("导出 CSV 文件"));
    QCOMPARE(m_dialogs.files[0].filter, QStringLiteral("(*.csv)"));
    QCOMPARE(m_dialogs.files[0].parent, &d);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), file);
    QCOMPARE(m_dialogs.messages.size(), 1);
    QCOMPARE(m_dialogs.messages[0].title, QStringLiteral("导出成功"));
    QCOMPARE(m_dialogs.messages[0].text, QStringLiteral("数据已成功导出到 CSV 文件"));
}

void TstLanDialogForm::exportRefusals()
{
    VKDWidget d;
    addRow(&d, "A", "static", "10.0.0.1", 1);
    m_dialogs.clear();
    // Cancelled: nothing at all.
    d.findChild<QPushButton *>("pushButtonLoadOut")->click();
    QCOMPARE(m_dialogs.files.size(), 1);
    QVERIFY(m_dialogs.messages.isEmpty());

    QTemporaryDir dir;
    m_dialogs.answerFile(dir.filePath("no/such/folder/devices.csv"));
    d.findChild<QPushButton *>("pushButtonLoadOut")->click();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QCOMPARE(m_dialogs.messages[0].icon, Dialogs::Icon::Warning);
    QCOMPARE(m_dialogs.messages[0].title, QStringLiteral("错误"));
    QCOMPARE(m_dialogs.messages[0].text, QStringLiteral("无法创建文件"));
}

void TstLanDialogForm::exportWriteFailure()
{
    if (!QFileInfo(QStringLiteral("/dev/full")).isWritable())
        QSKIP("no writable /dev/full");
    VKDWidget d;
    addRow(&d, "A", "static", "10.0.0.1", 1);
    m_dialogs.clear();
    m_dialogs.answerFile(QStringLiteral("/dev/full"));
    d.findChild<QPushButton *>("pushButtonLoadOut")->click();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QCOMPARE(m_dialogs.messages[0].icon, Dialogs::Icon::Warning);
    QCOMPARE(m_dialogs.messages[0].title, QStringLiteral("错误"));
    QCOMPARE(m_dialogs.messages[0].text, QStringLiteral("导出失败：") + QString::fromLocal8Bit(strerror(ENOSPC)));
}

void TstLanDialogForm::languageSwitch()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(QUELLON_BIN_DIR "/translator/lang_en.qm")));
    VKDWidget d;
    addRow(&d, "A", "static", "10.0.0.1", 1);
    QVERIFY(QCoreApplication::installTranslator(&translator));
    d.RecvChangeLanguage();
    QStringList headers;
    for (int c = 0; c < 5; ++c)
        headers << deviceModel(&d)->headerData(c, Qt::Horizontal).toString();
    const QString button = part<QPushButton>(&d, "pushButtonOnline")->text();
    const QString title = part<QLabel>(&d, "labelDevTitle")->text();
    const QString name = part<QLabel>(&d, "label_devName")->text();
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(headers, (QStringList{"Device Name", "IP Mode", "Device IP", "Device Port", "Operation"}));
    QCOMPARE(button, QStringLiteral("Search Devices"));
    // The panel keeps the device it shows.
    QCOMPARE(name, QStringLiteral("NQX_xx"));
    QCOMPARE(title, QStringLiteral("Current device:NQX_xx"));
    QCOMPARE(cellText(&d, 0, 0), QStringLiteral("A"));

    d.RecvChangeLanguage();
    QCOMPARE(deviceModel(&d)->headerData(3, Qt::Horizontal).toString(), QStringLiteral("设备端口"));
    QCOMPARE(part<QLabel>(&d, "labelDevTitle")->text(), QStringLiteral("当前设备:NQX_xx"));
}

void TstLanDialogForm::windowTakesDevice_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("shown");
    QTest::newRow("1") << 1 << "1";
    QTest::newRow("20108") << 20108 << "20108";
    QTest::newRow("65535") << 65535 << "65535";
    QTest::newRow("0") << 0 << "4196";
    QTest::newRow("65536") << 65536 << "4196";
    QTest::newRow("negative") << -7 << "4196";
}

void TstLanDialogForm::windowTakesDevice()
{
    QFETCH(int, port);
    QFETCH(QString, shown);
    QuellonFixture f;
    VkdevData dev;
    dev.ip = QStringLiteral("10.77.0.44");
    dev.name = dev.devId = QStringLiteral("0");
    dev.port = port;
    f.window->VKhandleResult(dev);
    QCOMPARE(f.widget<QLineEdit>("lineEditIP")->text(), QStringLiteral("10.77.0.44"));
    QCOMPARE(f.widget<QLineEdit>("lineEditProt")->text(), shown);
}

QTEST_MAIN(TstLanDialogForm)
#include "tst_landialogform.moc"
