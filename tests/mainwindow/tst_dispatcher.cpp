// The poll tick and the reply dispatcher of the main window, driven as a state
// machine: replies go in through recvSerialFun, the tick is called directly and
// the commands come out of sendSriealFun.

#include "QuellonFixture.h"

#include <QLineEdit>

namespace {
const QString kRem = QStringLiteral("SYS:REM:P");

QStringList identifyTickCommands()
{
    return {"SYST:REM\n", "*IDN?\n", "*ODN?\n", "*IDN?\n", "*ODN?\n"};
}
} // namespace

class tst_Dispatcher : public QObject
{
    Q_OBJECT

private slots:
    void portListOnFirstTickOnly();
    void identificationSequence_data();
    void identificationSequence();
    void identityReplyShowsId();
    void noResponseDuringIdentification();
    void pollingPattern();
    void remoteReplies_data();
    void remoteReplies();
    void missedRepliesRelink_data();
    void missedRepliesRelink();
    void giveUpAfterMoreThanFortyMisses_data();
    void giveUpAfterMoreThanFortyMisses();
    void missesBeforeIdentificationCountNothing();
    void localMode();
    void localAnswerClosesSelectedLink_data();
    void localAnswerClosesSelectedLink();
    void protectionCheck_data();
    void protectionCheck();
    void routing_data();
    void routing();
    void pageRepliesReachOnlyTheirPage_data();
    void pageRepliesReachOnlyTheirPage();
    void lettingGoOrder_data();
    void lettingGoOrder();
    void pageCommandsAreStamped();
    void serialReports_data();
    void serialReports();
    void serialLossWhileIdentified();
    void serialStateQuery();
    void tcpReports_data();
    void tcpReports();
    void tcpConnectRequestAndCooldown();
    void userCloseThenLinkLost();
};

void tst_Dispatcher::portListOnFirstTickOnly()
{
    QuellonFixture f;
    f.tick();
    QCOMPARE(f.serialKeys(), QStringList{"SERIAL:ports"});
    QCOMPARE(f.serialRequests->first().at(0).value<SerialLinkPack>().isQuery, 1);
    f.tick(25);
    QCOMPARE(f.serialKeys(), QStringList{"SERIAL:ports"});
    QVERIFY(f.sent->packs.isEmpty()); // unlinked: counters only
}

void tst_Dispatcher::identificationSequence_data()
{
    QTest::addColumn<int>("interfaceIndex");
    QTest::newRow("serial") << 0;
    QTest::newRow("LAN") << 1;
}

void tst_Dispatcher::identificationSequence()
{
    QFETCH(int, interfaceIndex);
    QuellonFixture f;
    f.openLink(interfaceIndex);
    QCOMPARE(f.lastStatus().cmd, QString("STATUS"));
    QVERIFY(f.lastStatus().connectStatus);
    QCOMPARE(f.lastStatus().devStatusFlag, 0);

    // Until the model reply arrives every tick repeats the identification.
    for (int round = 0; round < 3; ++round) {
        f.sent->clear();
        f.tick();
        QCOMPARE(f.sent->datas(), identifyTickCommands());
        QCOMPARE(f.sent->keys(), (QStringList{"SYS:REM:P", "SYS:UDEVTYPE:P", "SYS:DEVTYPE:P",
                                              "SYS:UDEVTYPE:P", "SYS:DEVTYPE:P"}));
        for (const DataPack &p : f.sent->packs) {
            QCOMPARE(p.link, interfaceIndex);
            QCOMPARE(p.pageId, 0);
            QCOMPARE(p.isRequest, 1);
            QCOMPARE(p.needReply, p.data == "SYST:REM\n" ? 0 : 1);
        }
    }

    f.sent->clear();
    f.feed("SYS:DEVTYPE:P", "Darvik,KTR8548,SN1,V1\n");
    QCOMPARE(f.text("labelLinkStatus"), QString("ON"));
    QCOMPARE(f.widget<QLabel>("labelLinkStatus")->styleSheet(), QString("color: rgb(65, 174, 60);"));
    QCOMPARE(f.sent->datas(), (QStringList{"PAR?\n", "PAR:ID?\n", "PAR:ADD?\n"}));

    // Identified: no more identification queries.
    f.sent->clear();
    f.tick(6);
    QVERIFY(!f.sent->datas().contains("*ODN?\n"));
    QVERIFY(f.sent->datas().contains("SYST:REM?\n"));
    f.window->recvRequest();
    QCOMPARE(f.lastStatus().devStatusFlag, 1);
    QCOMPARE(f.lastStatus().cmd, QString("START"));
}

void tst_Dispatcher::identityReplyShowsId()
{
    QuellonFixture f;
    f.openLink();
    f.feed("SYS:UDEVTYPE:P", "Darvik,KTR8548V,SN42,V1.0\n");
    QCOMPARE(f.text("labelMaster"), QString("KTR8548V"));
    QCOMPARE(f.text("labelLinkStatus"), QString("ON"));
    // The identity reply alone also counts as identified.
    f.sent->clear();
    f.tick();
    QVERIFY(!f.sent->datas().contains("*IDN?\n"));

    // A malformed identity keeps the shown ID.
    f.feed("SYS:UDEVTYPE:P", "garbage\n");
    QCOMPARE(f.text("labelMaster"), QString("KTR8548V"));
}

void tst_Dispatcher::noResponseDuringIdentification()
{
    QuellonFixture f;
    f.openLink();
    QLabel *tip = f.widget<QLabel>("label_tip");
    QVERIFY(tip->isHidden());
    f.feed("SYS:DEVTYPE:P", "err", DataPack::NoReply);
    QCOMPARE(f.text("labelLinkStatus"), QString("OFF"));
    QCOMPARE(f.widget<QLabel>("labelLinkStatus")->styleSheet(), QString("color: rgb(255, 0, 0);"));
    QCOMPARE(tip->text(), QString("设备无响应，检查连接是否正确"));
    QVERIFY(!tip->isHidden());
    // Still identifying.
    f.sent->clear();
    f.tick();
    QCOMPARE(f.sent->datas(), identifyTickCommands());
    // Status 3 is ignored.
    f.feed("SYS:UDEVTYPE:P", "err", DataPack::NotNumeric);
    f.sent->clear();
    f.tick();
    QCOMPARE(f.sent->datas(), identifyTickCommands());
    // A good reply hides the hint again.
    f.feed("SYS:UDEVTYPE:P", "a,b\n");
    QVERIFY(tip->isHidden());
}

void tst_Dispatcher::pollingPattern()
{
    QuellonFixture f;
    f.identify();
    // Counters start from a known point: one tick right after identification.
    f.tick(3);
    QStringList perTick;
    f.window->recvBootUpStatus(1);
    f.feed("SYS:PARALLEL:P", "ON\n");
    for (int i = 0; i < 12; ++i) {
        f.sent->clear();
        f.tick();
        QStringList d = f.sent->datas();
        d.removeAll("PAR 1\n"); // echoed when the panel shows the instrument's state
        perTick << d.join('|');
    }
    int remote = 0, info = 0, count = 0;
    for (int i = 0; i < perTick.size(); ++i) {
        remote += perTick.at(i).count("SYST:REM?\n");
        info += perTick.at(i).count("MEAS:ALL:INFO?\n");
        count += perTick.at(i).count("PAR:NUM?\n");
        // The remote query comes every third tick, the others every second.
        if (i >= 3) {
            QCOMPARE(perTick.at(i).contains("SYST:REM?"), perTick.at(i - 3).contains("SYST:REM?"));
            QCOMPARE(perTick.at(i).contains("MEAS:ALL"), perTick.at(i - 2).contains("MEAS:ALL"));
        }
    }
    QCOMPARE(remote, 4);
    QCOMPARE(info, 6);
    QCOMPARE(count, 6);

    // Without a page reporting its output on, and parallel off: remote state only.
    f.window->recvBootUpStatus(0);
    f.feed("SYS:PARALLEL:P", "OFF\n");
    f.sent->clear();
    f.tick(12);
    QStringList d = f.sent->datas();
    d.removeAll("PAR 0\n");
    QCOMPARE(d, (QStringList() << "SYST:REM?\n" << "SYST:REM?\n" << "SYST:REM?\n" << "SYST:REM?\n"));
}

void tst_Dispatcher::remoteReplies_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("statusSent");
    QTest::newRow("remote") << "1\n" << true;
    QTest::newRow("without newline") << "1" << false;
    QTest::newRow("other word") << "REMOTE\n" << false;
}

void tst_Dispatcher::remoteReplies()
{
    QFETCH(QString, data);
    QFETCH(bool, statusSent);
    QuellonFixture f;
    f.identify();
    f.feed(kRem, "err", DataPack::NoReply); // one miss pending
    f.status->clear();
    f.feed(kRem, data);
    QCOMPARE(f.status->count(), statusSent ? 1 : 0);
    if (statusSent) {
        QCOMPARE(f.lastStatus().cmd, QString("STATUS"));
        QVERIFY(f.lastStatus().connectStatus);
        QCOMPARE(f.lastStatus().devStatusFlag, 1);
    }
    // Any good reply clears the pending miss: one more miss sends no re-link.
    f.feed(kRem, "err", DataPack::NoReply);
    QVERIFY(f.serialKeys().filter("R:link").isEmpty());
    QCOMPARE(f.text("labelLinkStatus"), QString("ON"));
}

void tst_Dispatcher::missedRepliesRelink_data()
{
    QTest::addColumn<int>("interfaceIndex");
    QTest::addColumn<QString>("relinkKey");
    QTest::newRow("serial") << 0 << "SERIAL:R:link";
    QTest::newRow("LAN") << 1 << "TCP:R:link";
}

void tst_Dispatcher::missedRepliesRelink()
{
    QFETCH(int, interfaceIndex);
    QFETCH(QString, relinkKey);
    QuellonFixture f;
    f.identify("KTR8548", interfaceIndex);
    f.clearRecords();

    auto relinks = [&] {
        return (interfaceIndex == 0 ? f.serialKeys() : f.tcpKeys()).count(relinkKey);
    };
    f.feed(kRem, "err", DataPack::NoReply);
    QCOMPARE(relinks(), 0);
    f.feed(kRem, "err", DataPack::NoReply);
    QCOMPARE(relinks(), 1);
    f.feed(kRem, "err", DataPack::NoReply);
    QCOMPARE(relinks(), 1);
    f.feed(kRem, "err", DataPack::NoReply);
    QCOMPARE(relinks(), 2);
    if (interfaceIndex == 0)
        QCOMPARE(f.serialRequests->last().at(0).value<SerialLinkPack>().linkOn, true);
    else
        QCOMPARE(f.tcpRequests->last().at(0).value<TcpLinkPack>().linkOn, true);

    // While re-linking the remote query goes out six times.
    f.sent->clear();
    f.tick(3);
    QCOMPARE(f.sent->datas().count("SYST:REM?\n"), 6);

    // A good reply ends the re-linking.
    f.feed(kRem, "1\n");
    f.sent->clear();
    f.tick(3);
    QCOMPARE(f.sent->datas().count("SYST:REM?\n"), 1);
    QVERIFY(f.dialogs.messages.isEmpty());
}

void tst_Dispatcher::giveUpAfterMoreThanFortyMisses_data()
{
    QTest::addColumn<int>("interfaceIndex");
    QTest::addColumn<QString>("message");
    QTest::newRow("serial") << 0 << "串口拔出或者仪器串口被断开,请重新打开串口";
    QTest::newRow("LAN") << 1 << "与服务器断开,请检查网络";
}

void tst_Dispatcher::giveUpAfterMoreThanFortyMisses()
{
    QFETCH(int, interfaceIndex);
    QFETCH(QString, message);
    QuellonFixture f;
    f.identify("KTR8674", interfaceIndex);
    f.clearRecords();

    for (int i = 0; i < 80; ++i)
        f.feed(kRem, "err", DataPack::NoReply);
    QVERIFY(f.dialogs.messages.isEmpty());
    QVERIFY(f.status->isEmpty());
    QCOMPARE(f.text("labelLinkStatus"), QString("ON"));

    f.feed(kRem, "err", DataPack::NoReply);
    QVERIFY(f.dialogs.messages.isEmpty()); // first of the 41st pair
    f.feed(kRem, "err", DataPack::NoReply);

    QCOMPARE(f.dialogs.texts(), QStringList{message});
    QCOMPARE(f.dialogs.messages.first().title, QString());
    // The pages are told to switch the input off while they still count the
    // instrument as identified, and then that it is not.
    QCOMPARE(f.statusCmds(), (QStringList{"OUT_SW_0_LINK_OFF", "STATUS"}));
    QCOMPARE(f.status->first().at(0).toBool(), false);
    QCOMPARE(f.status->first().at(1).toInt(), 1);
    QCOMPARE(f.lastStatus().connectStatus, false);
    QCOMPARE(f.lastStatus().devStatusFlag, 0);
    QCOMPARE(f.text("labelLinkStatus"), QString("OFF"));
    QCOMPARE(f.text("labelMaster"), QString("NO TARGET"));
    QCOMPARE(f.sent->datas(), QStringList{"SYST:LOC\n"});
    QCOMPARE(f.sent->packs.first().key, QString("SYS:LOC:P"));
    QVERIFY(!acDcModelFlag);
    QVERIFY(!noParallelModelFlag);
    // The close request of the selected interface.
    if (interfaceIndex == 0) {
        QCOMPARE(f.serialKeys().last(), QString("SERIAL:link"));
        QCOMPARE(f.serialRequests->last().at(0).value<SerialLinkPack>().linkOn, false);
        QVERIFY(f.widget<QComboBox>("comboSerialPort")->isEnabled());
        QCOMPARE(f.widget<QPushButton>("pushButtonSerialSW")->text(), QString("连接"));
    } else {
        QCOMPARE(f.tcpKeys().last(), QString("TCP:link"));
        QCOMPARE(f.tcpRequests->last().at(0).value<TcpLinkPack>().linkOn, false);
        QVERIFY(f.widget<QLineEdit>("lineEditIP")->isEnabled());
        QCOMPARE(f.widget<QPushButton>("connectServer")->text(), QString("连接"));
    }

    // Given up: the next ticks neither poll nor report the loss again.
    f.clearRecords();
    f.tick(6);
    QVERIFY(f.sent->packs.isEmpty());
    QVERIFY(f.status->isEmpty());
}

void tst_Dispatcher::missesBeforeIdentificationCountNothing()
{
    QuellonFixture f;
    f.openLink();
    for (int i = 0; i < 100; ++i)
        f.feed(kRem, "err", DataPack::NoReply);
    QVERIFY(f.serialKeys().filter("R:link").isEmpty());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void tst_Dispatcher::localMode()
{
    QuellonFixture f;
    f.identify("KTR8672");
    QVERIFY(acDcModelFlag);
    f.clearRecords();

    f.feed(kRem, "0\n");
    QCOMPARE(f.dialogs.texts(), QStringList{"仪器断开,请重新连接"});
    // The pages switch their input off while identified, then learn that
    // the instrument is gone.
    QCOMPARE(f.statusCmds(), (QStringList{"OUT_SW_0_LINK_OFF", "STATUS"}));
    QCOMPARE(f.status->first().at(1).toInt(), 1);
    QCOMPARE(f.lastStatus().connectStatus, false);
    QCOMPARE(f.lastStatus().devStatusFlag, 0);
    QVERIFY(!acDcModelFlag);
    QCOMPARE(f.text("labelLinkStatus"), QString("OFF"));
    QCOMPARE(f.text("labelMaster"), QString("NO TARGET"));
    QCOMPARE(f.sent->datas(), QStringList{"SYST:LOC\n"});

    // The loss is handled: the next tick has nothing left to report.
    f.status->clear();
    f.tick();
    QVERIFY(f.status->isEmpty());

    // Local again without a remote reply in between: no second message box,
    // the pages are told all the same.
    f.dialogs.clear();
    f.identify();
    f.status->clear();
    f.feed(kRem, "0\n");
    QVERIFY(f.dialogs.messages.isEmpty());
    QCOMPARE(f.statusCmds(), (QStringList{"OUT_SW_0_LINK_OFF", "STATUS"}));

    // After a remote reply the message comes again.
    f.identify();
    f.feed(kRem, "1\n");
    f.feed(kRem, "0\n");
    QCOMPARE(f.dialogs.texts(), QStringList{"仪器断开,请重新连接"});
}

void tst_Dispatcher::localAnswerClosesSelectedLink_data()
{
    QTest::addColumn<int>("interfaceIndex");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("closes");
    QTest::newRow("serial") << 0 << "1" << true;
    QTest::newRow("LAN") << 1 << "1" << true;
    QTest::newRow("not exactly 1") << 0 << "1\n" << false;
}

void tst_Dispatcher::localAnswerClosesSelectedLink()
{
    QFETCH(int, interfaceIndex);
    QFETCH(QString, reply);
    QFETCH(bool, closes);
    QuellonFixture f;
    f.widget<QComboBox>("comboBoxInterface")->setCurrentIndex(interfaceIndex);
    f.clearRecords();
    f.feed("SYS:LOC:P", reply);
    const QStringList keys = interfaceIndex == 0 ? f.serialKeys() : f.tcpKeys();
    QCOMPARE(keys, closes ? QStringList{interfaceIndex == 0 ? "SERIAL:link" : "TCP:link"} : QStringList());
    QCOMPARE((interfaceIndex == 0 ? f.tcpKeys() : f.serialKeys()), QStringList());
}

void tst_Dispatcher::protectionCheck_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("message");
    QTest::newRow("none") << "1.0,2.0,3.0,OFF,OFF,OFF\n" << "";
    QTest::newRow("OVP") << "1,2,3,ON,OFF,OFF\n" << "触发OVP保护!";
    QTest::newRow("OCP") << "1,2,3,OFF,ON,OFF\n" << "触发OCP保护!";
    QTest::newRow("OPP last field with newline") << "1,2,3,OFF,OFF,ON\n" << "触发OPP保护!";
    QTest::newRow("all tripped: first only") << "1,2,3,ON,ON,ON\n" << "触发OVP保护!";
    QTest::newRow("spaces around") << "1,2,3,OFF, ON ,OFF" << "触发OCP保护!";
    QTest::newRow("more fields") << "1,2,3,OFF,OFF,ON,ON,x" << "触发OPP保护!";
    QTest::newRow("lower case is not tripped") << "1,2,3,on,off,off" << "";
    QTest::newRow("five fields") << "1,2,3,ON,ON" << "";
    QTest::newRow("empty fields") << ",,,,,ON" << "触发OPP保护!";
}

void tst_Dispatcher::protectionCheck()
{
    QFETCH(QString, reply);
    QFETCH(QString, message);
    QuellonFixture f;
    f.identify();
    f.clearRecords();
    f.feed("SYS:ERROR:P", reply);
    if (message.isEmpty()) {
        QVERIFY(f.dialogs.messages.isEmpty());
        QVERIFY(f.status->isEmpty());
        return;
    }
    QCOMPARE(f.dialogs.texts(), QStringList{message});
    QCOMPARE(f.dialogs.messages.first().title, QString("提示"));
    QCOMPARE(f.dialogs.messages.first().icon, Dialogs::Icon::Warning);
    QCOMPARE(f.statusCmds(), QStringList{"ERROR"});
    QVERIFY(f.lastStatus().connectStatus);
    QCOMPARE(f.lastStatus().devStatusFlag, 1);

    // A reply without status 0 is not checked.
    f.clearRecords();
    f.feed("SYS:ERROR:P", reply, DataPack::NoReply);
    QVERIFY(f.dialogs.messages.isEmpty());
}

void tst_Dispatcher::routing_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("pageId");
    QTest::addColumn<bool>("toPage");
    QTest::addColumn<bool>("dispatched");
    QTest::newRow("static page") << "CC:CURR:L" << 1 << true << false;
    QTest::newRow("battery page") << "SYS:DEVTYPE:P" << 2 << true << false;
    QTest::newRow("list page") << "LIST:LOAD:L" << 3 << true << false;
    QTest::newRow("unknown page") << "SYS:DEVTYPE:P" << 4 << false << false;
    QTest::newRow("negative page") << "SYS:DEVTYPE:P" << -1 << false << false;
    QTest::newRow("window, P") << "SYS:DEVTYPE:P" << 0 << false << true;
    QTest::newRow("window, M") << "SYS:DEVTYPE:M" << 0 << false << false;
    QTest::newRow("window, no colon") << "SYSDEVTYPEP" << 0 << false << false;
    QTest::newRow("window, colon last") << "SYS:DEVTYPE:" << 0 << false << false;
    QTest::newRow("window, lower p") << "SYS:DEVTYPE:p" << 0 << false << false;
}

void tst_Dispatcher::routing()
{
    QFETCH(QString, key);
    QFETCH(int, pageId);
    QFETCH(bool, toPage);
    QFETCH(bool, dispatched);
    QuellonFixture f;
    f.openLink();
    f.clearRecords();
    if (key.endsWith(':') || !key.contains(':'))
        QTest::ignoreMessage(QtDebugMsg, "没有找到冒号或冒号后没有字符");
    f.window->recvSerialFun(QuellonFixture::reply(key, "Darvik,KTR8548,1,2", 0, pageId));
    QCOMPARE(f.toPage->count(), toPage ? 1 : 0);
    if (toPage) {
        QCOMPARE(f.toPage->packs.first().key, key);
        QCOMPARE(f.toPage->packs.first().pageId, pageId);
    }
    // A dispatched model reply identifies the instrument and reads its parallel state.
    QCOMPARE(f.sent->datas().contains("PAR?\n"), dispatched);
}

// With a page wired, only the replies of its own page id reach it: a late
// reply of the page left before (the list page's all-values reply, read by
// the battery page as its own fields) is dropped.
void tst_Dispatcher::pageRepliesReachOnlyTheirPage_data()
{
    QTest::addColumn<QString>("enter");
    QTest::addColumn<int>("ownId");
    QTest::newRow("static mode page") << "on_pushButtonEnterCCCV_clicked" << 1;
    QTest::newRow("battery page") << "on_pushButtonEnterBAT_clicked" << 2;
    QTest::newRow("list page") << "on_pushButtonEnterLIST_clicked" << 3;
}

void tst_Dispatcher::pageRepliesReachOnlyTheirPage()
{
    QFETCH(QString, enter);
    QFETCH(int, ownId);
    QuellonFixture f;
    f.identify("KTR8548");
    QVERIFY(QMetaObject::invokeMethod(f.window.get(), enter.toLatin1().constData()));
    f.clearRecords();
    for (int pageId = 1; pageId <= 3; ++pageId)
        f.window->recvSerialFun(QuellonFixture::reply("SYS:ALL:M", "12.345,1.234,77.77,OFF,OFF,OFF\n", 0, pageId));
    QCOMPARE(f.toPage->count(), 1);
    QCOMPARE(f.toPage->packs.first().pageId, ownId);
}

// Every way the window lets go of a link it still holds goes the same way,
// here with the limits scaled for two parallel units: first the workers are
// told to drop what they have queued, then the pages switch their input off
// while identified and are told that the instrument is not, then the resets
// (the limits back to one unit's), then the return to local, then the close;
// the message box waits for the operator only after all that. A page that
// sends more than its input-off on the way out (here on the link-off and on
// every limit message) reaches the link with its input-off alone.
void tst_Dispatcher::lettingGoOrder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("interfaceIndex");
    QTest::addColumn<QStringList>("order");
    const QStringList letGo = {"drop", "status OUT_SW_0_LINK_OFF 1", "INP OFF\n", "status STATUS 0", "limits",
                               "SYST:LOC\n"};
    QTest::newRow("give-up") << "giveup" << 1 << letGo + QStringList{"close", "message"};
    QTest::newRow("quit") << "quit" << 1 << letGo + QStringList{"close"};
    QTest::newRow("local mode") << "local" << 1 << letGo + QStringList{"close", "message"};
    QTest::newRow("local mode, not told again") << "local again" << 1 << letGo + QStringList{"close"};
    QTest::newRow("serial port lost") << "code8" << 0 << letGo + QStringList{"close", "message"};
    // Lost while the LAN panel is shown: the serial close is left to the operator.
    QTest::newRow("serial port lost, LAN shown") << "code8" << 1 << letGo;
    // The operator's disconnect: the same, and the link closes on the local
    // answer; the next tick has nothing left to report.
    const QStringList disconnect = letGo + QStringList{"close"};
    QTest::newRow("operator disconnects, serial") << "disconnect" << 0 << disconnect;
    QTest::newRow("operator disconnects, LAN") << "disconnect" << 1 << disconnect;
}

void tst_Dispatcher::lettingGoOrder()
{
    QFETCH(QString, path);
    QFETCH(int, interfaceIndex);
    QFETCH(QStringList, order);
    QuellonFixture f;
    f.identify("KTR8548", interfaceIndex);
    if (path == "local again") {
        f.feed(kRem, "0\n");
        f.tick();
        f.identify("KTR8548", 1);
    }
    f.feed("SYS:PARALLEL:P", "ON\n");
    f.feed("SYS:PARNUM:P", "2\n");
    QCOMPARE(f.lastLimits().limitMaxCurr, 80.f);
    QStringList events;
    Quellon *w = f.window.get();
    QObject::connect(w, &Quellon::dropQueuedCommands, w, [&] { events << "drop"; });
    QObject::connect(w, &Quellon::setDevStatus, w, [&](bool, int flag, const QString &cmd) {
        events << QString("status %1 %2").arg(cmd).arg(flag);
    });
    QObject::connect(w, &Quellon::sendSriealFun, w, [&](const DataPack &p) { events << p.data; });
    QObject::connect(w, &Quellon::sendLimitParam, w, [&] { events << "limits"; });
    QObject::connect(w, &Quellon::getTcpInfoFun, w, [&](const TcpLinkPack &p) {
        if (p.key == "TCP:link" && !p.linkOn)
            events << "close";
    });
    QObject::connect(w, &Quellon::getSerialInfoFun, w, [&](const SerialLinkPack &p) {
        if (p.key == "SERIAL:link" && !p.linkOn)
            events << "close";
    });
    // The page: a setpoint along with its input-off, and one for every limit message.
    auto pageSends = [w](const QString &cmd) {
        w->recvModeDtatFun(makeRequestPack("CC:CURR", 0, cmd, DataPack::StaticModePage));
    };
    QObject::connect(w, &Quellon::setDevStatus, w, [&](bool, int, const QString &cmd) {
        if (cmd == "OUT_SW_0_LINK_OFF") {
            pageSends("CURR 5\n");
            pageSends("INP OFF\n");
        }
    });
    QObject::connect(w, &Quellon::sendLimitParam, w, [&] { pageSends("CURR 40\n"); });
    // Message boxes, in order with the rest.
    struct OrderedDialogs : DialogRecorder
    {
        QStringList *events = nullptr;
        int message(const Dialogs::Message &m) override
        {
            *events << "message";
            return DialogRecorder::message(m);
        }
    } dialogs;
    dialogs.events = &events;

    if (path == "giveup") {
        for (int i = 0; i < 82; ++i)
            f.feed(kRem, "err", DataPack::NoReply);
    } else if (path == "quit") {
        w->releaseLink();
    } else if (path == "disconnect") {
        f.widget<QPushButton>(interfaceIndex == 0 ? "pushButtonSerialSW" : "connectServer")->click();
        f.feed("SYS:LOC:P", "1");
        f.tick();
    } else if (path == "code8") {
        SerialLinkPack r;
        r.key = "SERIAL:link";
        r.code = SerialLinkPack::SeriousError;
        w->recvSerialInfoFun(r);
    } else {
        f.feed(kRem, "0\n");
    }
    QCOMPARE(events, order);
    QCOMPARE(f.lastLimits().limitMaxCurr, 40.f);
}

void tst_Dispatcher::pageCommandsAreStamped()
{
    QuellonFixture f;
    DataPack p = makeRequestPack("CC:CURR:L", 0, "CURR 1\n", 1);
    p.link = 7;
    f.window->recvModeDtatFun(p);
    f.widget<QComboBox>("comboBoxInterface")->setCurrentIndex(1);
    f.window->recvModeDtatFun(p);
    QCOMPARE(f.sent->count(), 2);
    QCOMPARE(f.sent->packs.at(0).link, 0);
    QCOMPARE(f.sent->packs.at(1).link, 1);
    QCOMPARE(f.sent->packs.at(1).data, QString("CURR 1\n"));
    QCOMPARE(f.sent->packs.at(1).pageId, 1);
    QCOMPARE(f.sent->packs.at(1).key, QString("CC:CURR:L"));
}

void tst_Dispatcher::serialReports_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("linked");
    QTest::newRow("opened") << 0 << "" << true;
    QTest::newRow("no port") << 4 << "必须选择可用设备" << false;
    QTest::newRow("busy") << 5 << "设备被占用或者不存在" << false;
    QTest::newRow("lost before identification") << 8 << "" << false;
    QTest::newRow("unknown code") << 3 << "" << false;
}

void tst_Dispatcher::serialReports()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(bool, linked);
    QuellonFixture f;
    auto *button = f.widget<QPushButton>("pushButtonSerialSW");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(f.serialKeys().last(), QString("SERIAL:link"));
    QVERIFY(f.serialRequests->last().at(0).value<SerialLinkPack>().linkOn);
    QVERIFY(!button->isEnabled());

    SerialLinkPack r;
    r.key = "SERIAL:link";
    r.code = code;
    f.window->recvSerialInfoFun(r);
    QCOMPARE(f.dialogs.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(button->isEnabled(), code == 0 || code == 4 || code == 5);
    QCOMPARE(button->text(), QString(linked ? "断开" : "连接"));
    QCOMPARE(f.widget<QComboBox>("comboSerialPort")->isEnabled(), !linked);
    f.window->recvRequest();
    QCOMPARE(f.lastStatus().connectStatus, linked);
}

void tst_Dispatcher::serialLossWhileIdentified()
{
    QuellonFixture f;
    f.identify("KTR8674");
    QVERIFY(noParallelModelFlag);
    f.clearRecords();
    SerialLinkPack r;
    r.key = "SERIAL:link";
    r.code = SerialLinkPack::SeriousError;
    f.window->recvSerialInfoFun(r);
    QCOMPARE(f.dialogs.texts(), QStringList{"串口拔出或者仪器串口被断开,请重新打开串口"});
    QCOMPARE(f.statusCmds(), (QStringList{"OUT_SW_0_LINK_OFF", "STATUS"}));
    QCOMPARE(f.status->first().at(1).toInt(), 1);
    QCOMPARE(f.lastStatus().devStatusFlag, 0);
    QVERIFY(!noParallelModelFlag);
    QCOMPARE(f.sent->datas(), QStringList{"SYST:LOC\n"});
    QCOMPARE(f.serialKeys(), QStringList{"SERIAL:link"});
    QCOMPARE(f.text("labelLinkStatus"), QString("OFF"));
    QCOMPARE(f.text("labelMaster"), QString("NO TARGET"));
    QCOMPARE(f.widget<QPushButton>("pushButtonSerialSW")->text(), QString("连接"));

    // A second report changes nothing.
    f.clearRecords();
    f.window->recvSerialInfoFun(r);
    QVERIFY(f.dialogs.messages.isEmpty());
    QVERIFY(f.status->isEmpty());
}

void tst_Dispatcher::serialStateQuery()
{
    QuellonFixture f;
    SerialLinkPack r;
    r.key = "SERIAL:link?";
    r.linkOn = true;
    f.window->recvSerialInfoFun(r);
    QCOMPARE(f.widget<QPushButton>("pushButtonSerialSW")->text(), QString("断开"));
    QVERIFY(!f.widget<QPushButton>("pushButtonUpdate")->isEnabled());
    f.clearRecords();
    r.linkOn = false;
    f.window->recvSerialInfoFun(r);
    QCOMPARE(f.serialKeys(), QStringList{"SERIAL:link"});
    QCOMPARE(f.statusCmds(), QStringList{"STATUS"});
    QCOMPARE(f.lastStatus().connectStatus, false);
    QVERIFY(f.widget<QPushButton>("pushButtonUpdate")->isEnabled());
    // Already closed: no second close request, but the status again.
    f.clearRecords();
    f.window->recvSerialInfoFun(r);
    QVERIFY(f.serialKeys().isEmpty());
    QCOMPARE(f.statusCmds(), QStringList{"STATUS"});
}

void tst_Dispatcher::tcpReports_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("linked");
    QTest::newRow("connected") << 0 << "TCP:link" << "" << true;
    QTest::newRow("empty address") << 6 << "TCP:link" << "空IP" << false;
    QTest::newRow("unreachable") << 7 << "TCP:link" << "服务器未响应，请检查IP是否正确！" << false;
    QTest::newRow("other key ignored") << 7 << "TCP:R:link" << "" << false;
}

void tst_Dispatcher::tcpReports()
{
    QFETCH(int, code);
    QFETCH(QString, key);
    QFETCH(QString, message);
    QFETCH(bool, linked);
    QuellonFixture f;
    f.widget<QComboBox>("comboBoxInterface")->setCurrentIndex(1);
    QTest::mouseClick(f.widget<QPushButton>("connectServer"), Qt::LeftButton);
    TcpLinkPack r;
    r.key = key;
    r.code = code;
    f.window->recvTcpInfoFun(r);
    QCOMPARE(f.dialogs.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    const bool answered = key == "TCP:link";
    QCOMPARE(f.widget<QPushButton>("connectServer")->isEnabled(), answered);
    QCOMPARE(f.widget<QLineEdit>("lineEditIP")->isEnabled(), answered && !linked);
    QCOMPARE(f.widget<QPushButton>("connectServer")->text(), QString(linked ? "断开" : "连接"));
}

void tst_Dispatcher::tcpConnectRequestAndCooldown()
{
    QuellonFixture f;
    f.widget<QComboBox>("comboBoxInterface")->setCurrentIndex(1);
    f.widget<QLineEdit>("lineEditIP")->setText("127.0.0.1");
    f.widget<QLineEdit>("lineEditProt")->setText("4196");
    auto *connectButton = f.widget<QPushButton>("connectServer");
    QTest::mouseClick(connectButton, Qt::LeftButton);
    QCOMPARE(f.tcpKeys(), QStringList{"TCP:link"});
    TcpLinkPack req = f.tcpRequests->last().at(0).value<TcpLinkPack>();
    QVERIFY(req.linkOn);
    QCOMPARE(req.hostAddress, QString("127.0.0.1"));
    QCOMPARE(req.port, 4196);
    QVERIFY(!f.widget<QPushButton>("pushButtonSearchIP")->isEnabled());

    f.identify("KTR8548", 1);
    f.clearRecords();
    QTest::mouseClick(connectButton, Qt::LeftButton); // disconnect
    QCOMPARE(f.sent->datas(), QStringList{"SYST:LOC\n"});
    QCOMPARE(f.sent->packs.first().link, 1);
    QCOMPARE(f.statusCmds(), (QStringList{"OUT_SW_0_LINK_OFF", "STATUS"}));
    QCOMPARE(f.lastStatus().connectStatus, false);
    QCOMPARE(f.lastStatus().devStatusFlag, 0);
    QCOMPARE(connectButton->text(), QString("连接"));

    f.tcpRequests->clear();
    QTest::mouseClick(connectButton, Qt::LeftButton);
    QVERIFY(f.tcpRequests->isEmpty());
    f.tick();
    QTest::mouseClick(connectButton, Qt::LeftButton);
    QVERIFY(f.tcpRequests->isEmpty());
    f.tick();
    QTest::mouseClick(connectButton, Qt::LeftButton);
    QCOMPARE(f.tcpKeys(), QStringList{"TCP:link"});

    // A port text that is no number goes out as 0.
    f.widget<QLineEdit>("lineEditProt")->setValidator(nullptr);
    f.widget<QLineEdit>("lineEditProt")->setText("abc");
    f.widget<QLineEdit>("lineEditProt")->setEnabled(true);
    connectButton->setEnabled(true);
    f.tcpRequests->clear();
    QTest::mouseClick(connectButton, Qt::LeftButton);
    QCOMPARE(f.tcpRequests->last().at(0).value<TcpLinkPack>().port, 0);
}

void tst_Dispatcher::userCloseThenLinkLost()
{
    QuellonFixture f;
    f.identify("KTR8672");
    f.clearRecords();
    QTest::mouseClick(f.widget<QPushButton>("pushButtonSerialSW"), Qt::LeftButton);
    QCOMPARE(f.sent->datas(), QStringList{"SYST:LOC\n"});
    // The pages switch their input off while identified, then learn the
    // link is down and the instrument no longer identified.
    QCOMPARE(f.statusCmds(), (QStringList{"OUT_SW_0_LINK_OFF", "STATUS"}));
    QCOMPARE(f.status->first().at(1).toInt(), 1);
    QCOMPARE(f.lastStatus().connectStatus, false);
    QCOMPARE(f.lastStatus().devStatusFlag, 0);
    QCOMPARE(f.text("labelLinkStatus"), QString("OFF"));
    QVERIFY(!acDcModelFlag);
    QCOMPARE(f.text("labelParallelStatus"), QString("OFF"));
    QVERIFY(f.serialKeys().isEmpty()); // the port closes on the local answer
    f.feed("SYS:LOC:P", "1");
    QCOMPARE(f.serialKeys(), QStringList{"SERIAL:link"});
    // The loss is not reported a second time.
    f.status->clear();
    f.tick();
    QVERIFY(f.statusCmds().isEmpty());
    QVERIFY(!acDcModelFlag);
    QCOMPARE(f.text("labelParallelStatus"), QString("OFF"));
}

QTEST_MAIN(tst_Dispatcher)
#include "tst_dispatcher.moc"
