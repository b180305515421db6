#include "DialogRecorder.h"
#include "Dialogs.h"

#include <QtTest>

// The recorder must answer every kind of request without showing anything.
class TestDialogs : public QObject
{
    Q_OBJECT
private slots:
    void recorderAnswersAndRestores();
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
        QCOMPARE(rec.texts(), QStringList({"设备未连接", "sure?", "again?", "pick"}));
        QCOMPARE(rec.messages.first().icon, Dialogs::Icon::Information);
        QCOMPARE(rec.files.size(), 2);
        QCOMPARE(rec.files.at(1).filter, QStringLiteral("*.csv"));
        QVERIFY(Dialogs::handler() == &rec);
    }
    QVERIFY(Dialogs::handler() == nullptr);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
