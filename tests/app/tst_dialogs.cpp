#include "DialogRecorder.h"
#include "Dialogs.h"

#include <QtTest>

// The recorder must answer every kind of request without showing anything.
class TestDialogs : public QObject
{
    Q_OBJECT
private slots:
    void recorderAnswersAndRestores();
    void recorderKeepsBoxesTheProgramCloses();
};

void TestDialogs::recorderAnswersAndRestores()
{
    QVERIFY(Dialogs::handler() == nullptr);
    {
        DialogRecorder rec;
        QCOMPARE(Dialogs::information(nullptr, "t", "设备未连接"), QMessageBox::Ok);
        QCOMPARE(Dialogs::question(nullptr, "q", "sure?", QMessageBox::Yes | QMessageBox::No, QMessageBox::No),
                 QMessageBox::No);
        rec.answerMessage(QMessageBox::Yes);
        QCOMPARE(Dialogs::question(nullptr, "q", "again?"), QMessageBox::Yes);
        Dialogs::Message custom;
        custom.text = "pick";
        custom.customButtons = QStringList{"A", "B"};
        rec.answerMessage(1);
        QCOMPARE(Dialogs::show(custom), 1);
        QCOMPARE(Dialogs::getSaveFileName(nullptr, "save"), QString());
        rec.answerFile("/tmp/x.csv");
        QCOMPARE(Dialogs::getOpenFileName(nullptr, "open", "/tmp", "*.csv"), QStringLiteral("/tmp/x.csv"));
        QCOMPARE(Dialogs::getOpenFileNames(nullptr, "many"), QStringList());
        rec.answerFiles({"/tmp/b.csv", "/tmp/a.csv"});
        QCOMPARE(Dialogs::getOpenFileNames(nullptr, "many", "/tmp", "*.csv"),
                 QStringList({"/tmp/b.csv", "/tmp/a.csv"}));
        QCOMPARE(rec.texts(), QStringList({"设备未连接", "sure?", "again?", "pick"}));
        QCOMPARE(rec.messages.first().icon, Dialogs::Icon::Information);
        QCOMPARE(rec.files.size(), 4);
        QCOMPARE(rec.files.at(1).filter, QStringLiteral("*.csv"));
        QCOMPARE(rec.files.at(3).kind, Dialogs::FileKind::OpenMany);
        QCOMPARE(rec.files.at(3).caption, QStringLiteral("many"));
        QVERIFY(Dialogs::handler() == &rec);
    }
    QVERIFY(Dialogs::handler() == nullptr);
}

// A box the program closes itself is recorded like any message and stays
// open until the program closes it through the reference it was given.
void TestDialogs::recorderKeepsBoxesTheProgramCloses()
{
    QPointer<QMessageBox> left;
    {
        DialogRecorder rec;
        Dialogs::Message m;
        m.text = "loaded";
        m.buttons = QMessageBox::NoButton;
        const QPointer<QMessageBox> a = Dialogs::open(m);
        m.text = "other";
        left = Dialogs::open(m);
        QVERIFY(a && left);
        QCOMPARE(rec.texts(), QStringList({"loaded", "other"}));
        QCOMPARE(rec.boxes.size(), 2);
        QVERIFY(rec.boxOpen(0) && rec.boxOpen(1));
        QVERIFY(!a->isVisible()); // hidden unless asked for
        a->done(0);
        QVERIFY(!rec.boxOpen(0));
        QVERIFY(rec.boxOpen(1));
        QTRY_VERIFY(a.isNull()); // deleted once closed
        QVERIFY(!rec.boxOpen(0));
    }
    QVERIFY(left.isNull()); // the recorder takes what is left with it
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
