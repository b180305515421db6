// The LAN dialog against the real device library and the device-server
// simulator, alone and opened from the main window. Every case searches or
// reads the namespace's own addresses, so each needs the private network
// namespace of scripts/run-tests.
#include "DevSimProcess.h"
#include "DialogRecorder.h"
#include "LanDialogTools.h"
#include "LinkedProgram.h"
#include "LoadSim.h"
#include "VKDWidget.h"
#include "VkdmLibrary.h"
#include "newPushButtonDelegate.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <QUdpSocket>
#include <QtTest>

// Holds the library's UDP port, so that the next VKDM_Init cannot bind it and
// the dialog finds the library not ready. The library's own sockets are
// closed first; once the port is free again, the next binding re-opens them.
class LibraryPortHeld
{
public:
    LibraryPortHeld()
    {
        VkdmLibrary &lib = VkdmLibrary::instance();
        lib.load();
        if (lib.exit)
            lib.exit();
        held = m_socket.bind(QHostAddress::AnyIPv4, quint16(VKDWidget::kLibraryPort), QUdpSocket::DontShareAddress);
    }
    bool held = false;

private:
    QUdpSocket m_socket;
};

class TstLanDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void windowSearchesAndTakesDevice();
    void windowKeepsTypedAddress_data();
    void windowKeepsTypedAddress();
    void writeBackOneRow_data();
    void writeBackOneRow();
    void writeBackChecksTheRow_data();
    void writeBackChecksTheRow();
    void refusedWritesAreReported();
    void refreshReadsTheCurrentDevice();
    void updateAllWithoutDevices();
    void batchWriteBack();
    void batchWithLibraryNotReady();
    void moreThanHundredServers();
    void localAddressesAndCopy();

private:
    // A device line for devsim's "add".
    static QString device(uint serial, const QString &settings)
    {
        return QStringLiteral("add id=%1 %2").arg(simDeviceId(serial), settings);
    }
    // Rows of the table by the name in column 0.
    static int rowOf(QWidget *dialog, const QString &name)
    {
        for (int r = 0; r < deviceModel(dialog)->rowCount(); ++r)
            if (cellText(dialog, r, 0) == name)
                return r;
        return -1;
    }
    // Opens the operation cell of a row and clicks its button.
    static bool pressRowButton(QWidget *dialog, int row)
    {
        QTableView *view = deviceTable(dialog);
        const QModelIndex cell = view->model()->index(row, 4);
        view->edit(cell);
        auto *button = qobject_cast<QPushButton *>(view->indexWidget(cell));
        if (!button)
            return false;
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    }

    DialogRecorder m_dialogs;
    QTemporaryDir m_elsewhere;
};

void TstLanDialog::initTestCase()
{
    // The program finds the library beside its executable, wherever it was started from.
    QVERIFY(QFile::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/libVKDevManage.so")));
    QVERIFY(QDir::setCurrent(m_elsewhere.path()));
}

void TstLanDialog::windowSearchesAndTakesDevice()
{
    VKDM_REQUIRE_NAMESPACE();
    LoadSim load;
    QVERIFY2(load.start({"--model", "KTR8674"}), qPrintable(load.output()));
    DevSimProcess sim;
    QVERIFY(sim.start({device(0xA01, QString("name=LANLOAD ip=127.0.0.1 port=%1 mode=3 ipmode=0").arg(load.port())),
                       device(0xA02, "name=LANDHCP ip=10.77.0.52 port=20052 mode=3 ipmode=1"),
                       device(0xA03, "name=LANSTAT ip=10.77.0.53 port=20053 mode=3 ipmode=0")}));

    LinkedProgram prog;
    QuellonFixture &f = prog.fixture; // its own recorder answers the window's boxes
    f.widget<QComboBox>("comboBoxInterface")->setCurrentIndex(1);
    auto *search = f.widget<QPushButton>("pushButtonSearchIP");
    QVERIFY(search->isEnabled());
    QTest::keyClicks(f.widget<QLineEdit>("lineEditIP"), "10.20.30.40");
    QTest::keyClicks(f.widget<QLineEdit>("lineEditProt"), "5025");
    f.dialogs.clear();
    QTest::mouseClick(search, Qt::LeftButton);

    const QList<VKDWidget *> dialogs = f.window->findChildren<VKDWidget *>();
    QCOMPARE(dialogs.size(), 1);
    VKDWidget *d = dialogs[0];
    QVERIFY(d->isVisible());
    QVERIFY(d->libraryReady());
    QCOMPARE(f.dialogs.texts(), QStringList{"在线设备 3"});
    QVERIFY(!f.dialogs.messages[0].parent);
    QCOMPARE(VKDWidget::deviceCount(), 3);
    QCOMPARE(deviceModel(d)->rowCount(), 3);

    struct Expect { const char *name, *mode, *ip; int port; };
    const Expect expected[] = {{"LANLOAD", "static", "127.0.0.1", load.port()},
                               {"LANDHCP", "DHCP", "10.77.0.52", 20052},
                               {"LANSTAT", "static", "10.77.0.53", 20053}};
    for (const Expect &e : expected) {
        const int row = rowOf(d, e.name);
        QVERIFY2(row >= 0, e.name);
        QCOMPARE(cellText(d, row, 1), QString(e.mode));
        QCOMPARE(cellText(d, row, 2), QString(e.ip));
        QCOMPARE(cellText(d, row, 3), QString::number(e.port));
        QCOMPARE(cellText(d, row, 4), QStringLiteral("设置更新"));
        QCOMPARE(deviceModel(d)->item(row, 2)->isEditable(), QString(e.mode) == "static");
        QCOMPARE(deviceModel(d)->item(row, 0)->background().color(), QColor(0, 255, 0));
    }
    QCOMPARE(deviceModel(d)->item(rowOf(d, "LANDHCP"), 2)->background().color(), QColor(222, 222, 222));
    // Found is not chosen: the window keeps the address the operator typed.
    QCOMPARE(f.widget<QLineEdit>("lineEditIP")->text(), QStringLiteral("10.20.30.40"));
    QCOMPARE(f.widget<QLineEdit>("lineEditProt")->text(), QStringLiteral("5025"));
    QCOMPARE(part<QLabel>(d, "label_devName")->text(), cellText(d, 0, 0));
    QVERIFY(part<QListWidget>(d, "listWidgetIP")->findItems("vkd0: 10.77.0.1", Qt::MatchExactly).size() == 1);

    // Choosing a row: the panel and the window's TCP fields follow.
    const int loadRow = rowOf(d, "LANLOAD");
    QTableView *view = deviceTable(d);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(loadRow, 0)).center());
    QCOMPARE(d->currentDevice(), loadRow);
    QCOMPARE(part<QLabel>(d, "labelDevTitle")->text(), QStringLiteral("当前设备:LANLOAD"));
    QCOMPARE(part<QLabel>(d, "label_devIP")->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(part<QLineEdit>(d, "lineEditPort")->text(), QString::number(load.port()));
    QCOMPARE(f.widget<QLineEdit>("lineEditIP")->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(f.widget<QLineEdit>("lineEditProt")->text(), QString::number(load.port()));

    // The window's language switch reaches the dialog.
    {
        QTranslator english;
        QVERIFY(english.load(QStringLiteral(QUELLON_BIN_DIR "/translator/lang_en.qm")));
        QCoreApplication::installTranslator(&english);
        emit f.window->sendLanguageChange();
        const QString header = deviceModel(d)->headerData(0, Qt::Horizontal).toString();
        QCoreApplication::removeTranslator(&english);
        emit f.window->sendLanguageChange();
        QCOMPARE(header, QStringLiteral("Device Name"));
        QCOMPARE(deviceModel(d)->headerData(0, Qt::Horizontal).toString(), QStringLiteral("设备名称"));
    }

    // A second opening binds and searches again with the same dialog; the
    // device chosen before stays in the window until another is chosen.
    d->reject();
    QCOMPARE(f.widget<QLineEdit>("lineEditIP")->text(), QStringLiteral("127.0.0.1"));
    QTest::mouseClick(search, Qt::LeftButton);
    QCOMPARE(f.window->findChildren<VKDWidget *>().size(), 1);
    QVERIFY(d->libraryReady());
    QCOMPARE(f.dialogs.texts(), (QStringList{"在线设备 3", "在线设备 3"}));
    QCOMPARE(deviceModel(d)->rowCount(), 3);
    QCOMPARE(f.widget<QLineEdit>("lineEditIP")->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(f.widget<QLineEdit>("lineEditProt")->text(), QString::number(load.port()));

    // The chosen device's address and port carry a TCP link to the instrument.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(rowOf(d, "LANLOAD"), 0)).center());
    d->hide();
    QTest::mouseClick(f.widget<QPushButton>("connectServer"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.widget<QPushButton>("connectServer")->text(), QString("断开"), kMustComeMs);
    QVERIFY(!search->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(load.receivedLines("tcp").contains("*IDN?"), kMustComeMs);
    QTest::mouseClick(f.widget<QPushButton>("connectServer"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.widget<QPushButton>("connectServer")->text(), QString("连接"), kMustComeMs);
}

void TstLanDialog::windowKeepsTypedAddress_data()
{
    QTest::addColumn<bool>("notReady");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("no device server") << false << "设备数量为0，请检查设备是否接入内网";
    QTest::newRow("library not ready") << true << "4196端口被占用";
}

void TstLanDialog::windowKeepsTypedAddress()
{
    VKDM_REQUIRE_NAMESPACE();
    QFETCH(bool, notReady);
    QFETCH(QString, refusal);
    // No simulator: nothing answers the search.
    std::unique_ptr<LibraryPortHeld> port;
    if (notReady) {
        port = std::make_unique<LibraryPortHeld>();
        QVERIFY(port->held);
    }
    QuellonFixture f;
    f.widget<QComboBox>("comboBoxInterface")->setCurrentIndex(1);
    auto *ip = f.widget<QLineEdit>("lineEditIP");
    auto *portField = f.widget<QLineEdit>("lineEditProt");
    QTest::keyClicks(ip, "10.20.30.40");
    QTest::keyClicks(portField, "5025");
    auto typedStays = [&] {
        return ip->text() == QLatin1String("10.20.30.40") && portField->text() == QLatin1String("5025");
    };

    f.dialogs.clear();
    QTest::mouseClick(f.widget<QPushButton>("pushButtonSearchIP"), Qt::LeftButton);
    VKDWidget *d = f.window->findChild<VKDWidget *>();
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->libraryReady(), !notReady);
    QCOMPARE(f.dialogs.texts(), QStringList{refusal});
    QCOMPARE(deviceModel(d)->rowCount(), 0);
    QVERIFY2(typedStays(), qPrintable(ip->text() + " " + portField->text()));

    // Searching again and re-reading the current device choose nothing either.
    QTest::mouseClick(part<QPushButton>(d, "pushButtonOnline"), Qt::LeftButton);
    QTest::mouseClick(part<QPushButton>(d, "pushButton"), Qt::LeftButton);
    QCOMPARE(f.dialogs.texts(), (QStringList{refusal, refusal, refusal}));
    QVERIFY2(typedStays(), qPrintable(ip->text() + " " + portField->text()));

    // Closed, and opened and closed once more.
    d->reject();
    QVERIFY(!d->isVisible());
    QVERIFY(typedStays());
    QTest::mouseClick(f.widget<QPushButton>("pushButtonSearchIP"), Qt::LeftButton);
    QVERIFY(d->isVisible());
    d->reject();
    QCOMPARE(f.dialogs.texts().size(), 4);
    QVERIFY2(typedStays(), qPrintable(ip->text() + " " + portField->text()));

    // The typed address is what the next connect goes to.
    f.tcpRequests->clear();
    QTest::mouseClick(f.widget<QPushButton>("connectServer"), Qt::LeftButton);
    QCOMPARE(f.tcpRequests->size(), 1);
    const TcpLinkPack request = f.tcpRequests->at(0).at(0).value<TcpLinkPack>();
    QCOMPARE(request.hostAddress, QStringLiteral("10.20.30.40"));
    QCOMPARE(int(request.port), 5025);
}

void TstLanDialog::writeBackOneRow_data()
{
    QTest::addColumn<int>("ipMode");
    QTest::addColumn<QString>("sentIp");
    // The address is sent for a static row only.
    QTest::newRow("static row") << 0 << "10.77.0.161";
    QTest::newRow("DHCP row") << 1 << "10.77.0.61";
}

void TstLanDialog::writeBackOneRow()
{
    VKDM_REQUIRE_NAMESPACE();
    QFETCH(int, ipMode);
    QFETCH(QString, sentIp);
    // Work mode 3: showing the device must not turn it into a TCP server.
    DevSimProcess sim;
    QVERIFY(sim.start({device(0xB01, QString("name=OLDNAME ip=10.77.0.61 port=20061 mode=3 ipmode=%1").arg(ipMode))}));
    VKDWidget d;
    d.VKhandleResult(VkdevData());
    QCOMPARE(deviceModel(&d)->rowCount(), 1);
    QCOMPARE(d.devices()[0].workMode, 3);
    QCOMPARE(part<QComboBox>(&d, "comboTCPmode")->currentIndex(), -1);
    QTableView *view = deviceTable(&d);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
    QCOMPARE(d.devices()[0].workMode, 3);

    QStandardItemModel *model = deviceModel(&d);
    model->item(0, 0)->setText("NEWNAME");
    model->item(0, 2)->setText("10.77.0.161");
    model->item(0, 3)->setText("20161");
    m_dialogs.clear();
    QVERIFY(pressRowButton(&d, 0));
    QCOMPARE(m_dialogs.texts(), QStringList{"设备修改成功,请重新刷新列表"});
    const QString id = simDeviceId(0xB01);
    QVERIFY(sim.waitFor("write " + id));
    const QString line = sim.matching("write " + id).constFirst();
    QVERIFY2(line.contains(QString("name=NEWNAME ip=%1 port=20161 mode=3 ipmode=%2").arg(sentIp).arg(ipMode)),
             qPrintable(line));
}

void TstLanDialog::writeBackChecksTheRow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("sentIp"); // "" when nothing may go out
    QTest::newRow("group above 255") << "NEWNAME" << "static" << "300.1.1.1" << "20161" << "";
    QTest::newRow("last group missing") << "NEWNAME" << "static" << "192.168.1." << "20161" << "";
    QTest::newRow("port 0") << "NEWNAME" << "static" << "10.77.0.161" << "0" << "";
    QTest::newRow("row left empty") << "" << "" << "" << "" << "";
    // The library's conversion reads "010" as octal and "099" as no number at all.
    QTest::newRow("zero-padded groups") << "NEWNAME" << "static" << "10.077.010.099" << "20161" << "10.77.10.99";
}

void TstLanDialog::writeBackChecksTheRow()
{
    VKDM_REQUIRE_NAMESPACE();
    QFETCH(QString, name);
    QFETCH(QString, mode);
    QFETCH(QString, ip);
    QFETCH(QString, port);
    QFETCH(QString, sentIp);
    DevSimProcess sim;
    QVERIFY(sim.start({device(0xB11, "name=OLDNAME ip=10.77.0.61 port=20061 mode=0 ipmode=0")}));
    VKDWidget d;
    d.VKhandleResult(VkdevData());
    QCOMPARE(deviceModel(&d)->rowCount(), 1);
    QStandardItemModel *model = deviceModel(&d);
    model->item(0, 0)->setText(name);
    model->item(0, 1)->setText(mode);
    model->item(0, 2)->setText(ip);
    model->item(0, 3)->setText(port);
    m_dialogs.clear();
    QVERIFY(pressRowButton(&d, 0));
    QCOMPARE(m_dialogs.messages.size(), 1);
    const QString id = simDeviceId(0xB11);
    if (sentIp.isEmpty()) {
        QVERIFY2(m_dialogs.lastText().startsWith("第1行未写入："), qPrintable(m_dialogs.lastText()));
        // Nothing reaches the device, neither now nor by a later update-all.
        m_dialogs.clear();
        QTest::mouseClick(part<QPushButton>(&d, "pushButtonSetAll"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages.size(), 2);
        QCOMPARE(m_dialogs.messages[1].title, QStringLiteral("操作失败"));
        sim.settle(300);
        QCOMPARE(sim.count("write "), 0);
    } else {
        QCOMPARE(m_dialogs.lastText(), QStringLiteral("设备修改成功,请重新刷新列表"));
        QVERIFY(sim.waitFor("write " + id));
        const QString line = sim.matching("write " + id).constFirst();
        QVERIFY2(line.contains(QString(" ip=%1 port=%2 ").arg(sentIp, port)), qPrintable(line));
    }
}

void TstLanDialog::refusedWritesAreReported()
{
    VKDM_REQUIRE_NAMESPACE();
    DevSimProcess sim;
    QVERIFY(sim.start({device(0xB21, "name=STAYS ip=10.77.0.62 port=20062 mode=0 ipmode=0"),
                       device(0xB22, "name=GOES ip=10.77.0.63 port=20063 mode=0 ipmode=0")}));
    VKDWidget d;
    d.VKhandleResult(VkdevData());
    QCOMPARE(deviceModel(&d)->rowCount(), 2);
    const int stays = rowOf(&d, "STAYS");
    const int goes = rowOf(&d, "GOES");
    QVERIFY(stays >= 0 && goes >= 0);
    const QString goneId = simDeviceId(0xB22);

    // One server stops answering; the re-read of the other makes the library forget it.
    QTableView *view = deviceTable(&d);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(stays, 0)).center());
    QVERIFY(sim.command("silent " + goneId + " 1", "silent " + goneId));
    m_dialogs.clear();
    QTest::mouseClick(part<QPushButton>(&d, "pushButton"), Qt::LeftButton);
    QCOMPARE(m_dialogs.texts(), QStringList{"刷新成功"});
    QCOMPARE(VKDWidget::deviceCount(), 1);
    QCOMPARE(deviceModel(&d)->rowCount(), 2);

    const QString refused = QStringLiteral("设备 GOES（%1）更新失败：设备库拒绝了写入，请重新刷新列表").arg(goneId);
    m_dialogs.clear();
    QVERIFY(pressRowButton(&d, goes));
    QCOMPARE(m_dialogs.texts(), QStringList{refused});
    QVERIFY(!m_dialogs.messages[0].parent);

    // Selected rows: the known device is written, the forgotten one is named,
    // and the summary does not call it a success.
    selectRows(&d, {stays, goes});
    m_dialogs.clear();
    d.setDevSelected();
    QCOMPARE(m_dialogs.texts(), (QStringList{refused, "更新未完成：已写入 1 台设备，请重新刷新列表"}));
    QCOMPARE(m_dialogs.messages[1].title, QStringLiteral("操作失败"));
    QCOMPARE(m_dialogs.messages[1].icon, Dialogs::Icon::Warning);
    QVERIFY(sim.waitFor("write " + simDeviceId(0xB21)));
    sim.settle(300);
    QCOMPARE(sim.count("write " + goneId), 0);
}

void TstLanDialog::refreshReadsTheCurrentDevice()
{
    VKDM_REQUIRE_NAMESPACE();
    DevSimProcess sim;
    QVERIFY(sim.start({device(0xC01, "name=RC_ONE ip=10.77.0.71 port=20071 mode=3 ipmode=0"),
                       device(0xC02, "name=RC_TWO ip=10.77.0.72 port=20072 mode=1 ipmode=1")}));
    VKDWidget d;
    d.VKhandleResult(VkdevData());
    QCOMPARE(deviceModel(&d)->rowCount(), 2);
    // Row 1: a re-read that took entry 0's ID would show here.
    const int other = 0;
    const int chosen = 1;
    const QString otherName = d.devices()[other].name;
    QTableView *view = deviceTable(&d);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(chosen, 0)).center());
    const QString chosenName = d.devices()[chosen].name;
    const uint chosenSerial = chosenName == "RC_ONE" ? 0xC01 : 0xC02;
    QVERIFY(sim.command(QString("set %1 name=RC_NEW port=20099").arg(simDeviceId(chosenSerial)),
                        "set " + simDeviceId(chosenSerial)));
    QSignalSpy chosenSignal(&d, &VKDWidget::VKoperate);
    m_dialogs.clear();
    QTest::mouseClick(part<QPushButton>(&d, "pushButton"), Qt::LeftButton);
    QCOMPARE(m_dialogs.texts(), QStringList{"刷新成功"});
    // The current entry is re-read with its own ID, the other stays as it was.
    QCOMPARE(d.devices()[chosen].name, QStringLiteral("RC_NEW"));
    QCOMPARE(d.devices()[chosen].port, 20099);
    QCOMPARE(d.devices()[chosen].devId, simDeviceId(chosenSerial));
    QCOMPARE(d.devices()[other].name, otherName);
    QCOMPARE(part<QLabel>(&d, "label_devName")->text(), QStringLiteral("RC_NEW"));
    QCOMPARE(chosenSignal.size(), 1);
    QCOMPARE(chosenSignal[0][0].value<VkdevData>().port, 20099);
    QCOMPARE(chosenSignal[0][0].value<VkdevData>().name, QStringLiteral("0"));
    // The table is not rebuilt.
    QCOMPARE(cellText(&d, chosen, 0), chosenName);
}

void TstLanDialog::updateAllWithoutDevices()
{
    VKDM_REQUIRE_NAMESPACE();
    DevSimProcess sim;
    QVERIFY(sim.start());
    VKDWidget d;
    QSignalSpy chosen(&d, &VKDWidget::VKoperate);
    m_dialogs.clear();
    d.VKhandleResult(VkdevData());
    QCOMPARE(m_dialogs.texts(), QStringList{"设备数量为0，请检查设备是否接入内网"});
    QCOMPARE(deviceModel(&d)->rowCount(), 0);
    QCOMPARE(part<QLabel>(&d, "label_devName")->text(), QStringLiteral("NQX_xx"));
    QCOMPARE(part<QLineEdit>(&d, "lineEditPort")->text(), QStringLiteral("4196"));
    // No placeholder entry goes to the window as if it had been found.
    QCOMPARE(chosen.size(), 0);

    // Nothing is written, and nothing is said to have been: the refusal stands alone.
    m_dialogs.clear();
    QTest::mouseClick(part<QPushButton>(&d, "pushButtonSetAll"), Qt::LeftButton);
    QCOMPARE(m_dialogs.texts(), QStringList{"设备数量为0，请检查设备是否接入内网"});
    sim.settle(100);
    QCOMPARE(sim.count("write "), 0);
    QCOMPARE(chosen.size(), 0);
}

void TstLanDialog::batchWriteBack()
{
    VKDM_REQUIRE_NAMESPACE();
    DevSimProcess sim;
    QVERIFY(sim.start({device(0xD01, "name=BT_0 ip=10.77.0.81 port=20081 mode=3 ipmode=0"),
                       device(0xD02, "name=BT_1 ip=10.77.0.82 port=20082 mode=3 ipmode=0"),
                       device(0xD03, "name=BT_2 ip=10.77.0.83 port=20083 mode=3 ipmode=0")}));
    VKDWidget d;
    d.VKhandleResult(VkdevData());
    QCOMPARE(deviceModel(&d)->rowCount(), 3);
    const QString skipped = d.devices()[1].devId;
    for (int r : {0, 2})
        deviceModel(&d)->item(r, 0)->setText(QString("BATCH%1").arg(r));
    selectRows(&d, {0, 2});
    m_dialogs.clear();
    {
        MenuAnswer answer(QStringLiteral("更新到设备"));
        emit deviceTable(&d)->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(answer.answered);
    }
    // No message per device, one summary.
    QCOMPARE(m_dialogs.texts(), QStringList{"设备更新成功，请重新刷新列表"});
    QCOMPARE(m_dialogs.messages[0].title, QStringLiteral("操作完成"));
    QCOMPARE(d.currentDevice(), 2);
    for (int r : {0, 2}) {
        const QString id = d.devices()[r].devId;
        QVERIFY(sim.waitFor(QString("write %1").arg(id)));
        QVERIFY(sim.matching("write " + id).constFirst().contains(QString("name=BATCH%1 ").arg(r)));
    }
    sim.settle(100);
    QCOMPARE(sim.count("write " + skipped), 0);

    // The servers stop answering: the batch stops at its first row with the
    // refusal, and no success follows it.
    QVERIFY(sim.command("silent all 1", "silent all 1"));
    m_dialogs.clear();
    QTest::mouseClick(part<QPushButton>(&d, "pushButton"), Qt::LeftButton);
    QCOMPARE(m_dialogs.texts(), QStringList{"设备数量为0，请检查设备是否接入内网"});
    const int writes = sim.count("write ");
    m_dialogs.clear();
    d.setDevSelected();
    QCOMPARE(m_dialogs.texts(), QStringList{"设备数量为0，请检查设备是否接入内网"});
    m_dialogs.clear();
    QTest::mouseClick(part<QPushButton>(&d, "pushButtonSetAll"), Qt::LeftButton);
    QCOMPARE(m_dialogs.texts(), QStringList{"设备数量为0，请检查设备是否接入内网"});
    sim.settle(100);
    QCOMPARE(sim.count("write "), writes);
}

void TstLanDialog::batchWithLibraryNotReady()
{
    VKDM_REQUIRE_NAMESPACE();
    DevSimProcess sim;
    QVERIFY(sim.start({device(0xD11, "name=NR_0 ip=10.77.0.91 port=20091 mode=0 ipmode=0"),
                       device(0xD12, "name=NR_1 ip=10.77.0.92 port=20092 mode=0 ipmode=0")}));
    VKDWidget d;
    d.VKhandleResult(VkdevData());
    QVERIFY(d.libraryReady());
    QCOMPARE(deviceModel(&d)->rowCount(), 2);

    // The next opening finds the library's port taken: the table keeps its rows.
    QSignalSpy chosen(&d, &VKDWidget::VKoperate);
    {
        LibraryPortHeld port;
        QVERIFY(port.held);
        m_dialogs.clear();
        d.VKhandleResult(VkdevData());
        QVERIFY(!d.libraryReady());
        QCOMPARE(m_dialogs.texts(), QStringList{"4196端口被占用"});
        QCOMPARE(deviceModel(&d)->rowCount(), 2);
        QCOMPARE(chosen.size(), 0);

        // Selected rows and all rows: the refusal alone, nothing written.
        selectRows(&d, {0, 1});
        m_dialogs.clear();
        {
            MenuAnswer answer(QStringLiteral("更新到设备"));
            emit deviceTable(&d)->customContextMenuRequested(QPoint(5, 5));
            QVERIFY(answer.answered);
        }
        QCOMPARE(m_dialogs.texts(), QStringList{"4196端口被占用"});
        m_dialogs.clear();
        QTest::mouseClick(part<QPushButton>(&d, "pushButtonSetAll"), Qt::LeftButton);
        QCOMPARE(m_dialogs.texts(), QStringList{"4196端口被占用"});
        m_dialogs.clear();
        QVERIFY(pressRowButton(&d, 0));
        QCOMPARE(m_dialogs.texts(), QStringList{"4196端口被占用"});
        sim.settle(300);
        QCOMPARE(sim.count("write "), 0);
    }

    // The port free again, the next opening is ready and a batch that writes
    // every row it was asked to says so.
    m_dialogs.clear();
    d.VKhandleResult(VkdevData());
    QVERIFY(d.libraryReady());
    QCOMPARE(m_dialogs.texts(), QStringList{"在线设备 2"});
    m_dialogs.clear();
    QTest::mouseClick(part<QPushButton>(&d, "pushButtonSetAll"), Qt::LeftButton);
    QCOMPARE(m_dialogs.texts(), QStringList{"更新成功"});
    QCOMPARE(m_dialogs.messages[0].title, QStringLiteral("操作完成"));
    QCOMPARE(m_dialogs.messages[0].parent, &d);
    for (uint serial : {0xD11u, 0xD12u})
        QVERIFY(sim.waitFor("write " + simDeviceId(serial)));
}

void TstLanDialog::moreThanHundredServers()
{
    VKDM_REQUIRE_NAMESPACE();
    const int servers = 120;
    QStringList adds;
    for (int i = 0; i < servers; ++i)
        adds << device(0xE00 + uint(i), QString("name=M%1 ip=10.77.1.%2 port=%3 mode=3 ipmode=%4")
                                            .arg(i, 3, 10, QLatin1Char('0')).arg(i + 1).arg(21000 + i).arg(i % 2));
    DevSimProcess sim;
    QVERIFY(sim.start(adds));
    VKDWidget d;
    m_dialogs.clear();
    d.VKhandleResult(VkdevData());
    QCOMPARE(VKDWidget::deviceCount(), servers);
    QCOMPARE(m_dialogs.texts(), QStringList{QString("在线设备 %1").arg(servers)});
    QCOMPARE(d.devices().size(), 100);
    QCOMPARE(deviceModel(&d)->rowCount(), 100);
    QSet<QString> ids;
    for (const VkdevList &e : d.devices()) {
        QVERIFY(e.name.startsWith('M'));
        ids.insert(e.devId);
    }
    QCOMPARE(ids.size(), 100);

    // The last row can be chosen and written; update-all writes the 100 rows listed.
    QTableView *view = deviceTable(&d);
    view->scrollToBottom();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(99, 0)).center());
    QCOMPARE(d.currentDevice(), 99);
    m_dialogs.clear();
    QTest::mouseClick(part<QPushButton>(&d, "pushButtonSetAll"), Qt::LeftButton);
    QCOMPARE(m_dialogs.texts(), QStringList{"更新成功"});
    QCOMPARE(d.currentDevice(), 99);
    QVERIFY(QTest::qWaitFor([&] {
        QSet<QString> written;
        for (const QString &l : sim.matching("write 564B"))
            written.insert(l.section(' ', 1, 1));
        return written.size() >= 100;
    }, kMustComeMs));
    sim.settle(200);
    QSet<QString> written;
    for (const QString &l : sim.matching("write 564B"))
        written.insert(l.section(' ', 1, 1));
    QCOMPARE(written, ids);
}

void TstLanDialog::localAddressesAndCopy()
{
    VKDM_REQUIRE_NAMESPACE();
    VKDWidget d;
    d.show();
    QTest::mouseClick(part<QPushButton>(&d, "pushButtonLocade"), Qt::LeftButton);
    auto *list = part<QListWidget>(&d, "listWidgetIP");
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    // Ethernet only: the namespace's veth end, not the loopback.
    QCOMPARE(lines, QStringList{"vkd0: 10.77.0.1"});

    const QPoint onItem = list->visualItemRect(list->item(0)).center();
    QApplication::clipboard()->setText("before");
    {
        MenuAnswer dismissed{QString()};
        emit list->customContextMenuRequested(onItem);
        QVERIFY(dismissed.answered);
        QCOMPARE(dismissed.seen, QStringList{"copy IP(Ctrl+C)"});
    }
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
    {
        MenuAnswer copy(QStringLiteral("copy IP(Ctrl+C)"));
        emit list->customContextMenuRequested(QPoint(5, list->viewport()->height() - 3));
        QVERIFY(copy.answered);
    }
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
    {
        MenuAnswer copy(QStringLiteral("copy IP(Ctrl+C)"));
        emit list->customContextMenuRequested(onItem);
        QVERIFY(copy.answered);
    }
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("10.77.0.1"));
}

QTEST_MAIN(TstLanDialog)
#include "tst_landialog.moc"
