#pragma once

// Shared set-up for the main window tests: a window whose application folder
// is a scratch folder, whose poll timer is stopped (the tests drive the tick),
// and whose message boxes, commands and status messages are recorded.

#include "AppDirectory.h"
#include "DataPack.h"
#include "DialogRecorder.h"
#include "PackCapture.h"
#include "ModelFlags.h"
#include "Quellon.h"
#include "elcLimitParam.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

struct StatusMessage
{
    bool connectStatus;
    int devStatusFlag;
    QString cmd;
};

class QuellonFixture
{
public:
    // Prepare the scratch folder before the window is built (conf.txt etc.).
    explicit QuellonFixture(bool build = true)
    {
        AppDirectory::setOverride(dir.path());
        if (build)
            create();
    }
    ~QuellonFixture()
    {
        window.reset();
        AppDirectory::setOverride(QString());
    }

    void create()
    {
        window = std::make_unique<Quellon>();
        window->pollTimer()->stop();
        sent = std::make_unique<PackCapture>(window.get(), SIGNAL(sendSriealFun(DataPack)));
        toPage = std::make_unique<PackCapture>(window.get(), SIGNAL(sendModeDataFun(DataPack)));
        serialRequests = std::make_unique<QSignalSpy>(window.get(), &Quellon::getSerialInfoFun);
        tcpRequests = std::make_unique<QSignalSpy>(window.get(), &Quellon::getTcpInfoFun);
        status = std::make_unique<QSignalSpy>(window.get(), &Quellon::setDevStatus);
        limits = std::make_unique<QSignalSpy>(window.get(), &Quellon::sendLimitParam);
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    template <class T>
    T *widget(const char *name) const
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    QString text(const char *labelName) const { return widget<QLabel>(labelName)->text(); }

    static DataPack reply(const QString &key, const QString &data, int status = DataPack::Received,
                          int pageId = DataPack::MainWindowPage)
    {
        return makeReplyPack(key, 0, 1, status, data, pageId);
    }
    void feed(const QString &key, const QString &data, int status = DataPack::Received)
    {
        window->recvSerialFun(reply(key, data, status));
    }
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            window->timerTimeOut();
    }

    // Interface 0 (serial) or 1 (LAN), then the worker reports the link open.
    void openLink(int interfaceIndex = 0)
    {
        widget<QComboBox>("comboBoxInterface")->setCurrentIndex(interfaceIndex);
        if (interfaceIndex == 0) {
            SerialLinkPack r;
            r.key = QStringLiteral("SERIAL:link");
            r.code = SerialLinkPack::Ok;
            r.linkOn = true;
            window->recvSerialInfoFun(r);
        } else {
            TcpLinkPack r;
            r.key = QStringLiteral("TCP:link");
            r.code = TcpLinkPack::Connected;
            r.linkOn = true;
            window->recvTcpInfoFun(r);
        }
    }
    // Link open and the model reply in: the window is identified.
    void identify(const QString &model = QStringLiteral("KTR8548"), int interfaceIndex = 0)
    {
        openLink(interfaceIndex);
        feed(QStringLiteral("SYS:DEVTYPE:P"), QStringLiteral("Darvik,%1,SN0001,V1.0\n").arg(model));
    }

    StatusMessage lastStatus() const
    {
        const QList<QVariant> a = status->last();
        return {a.at(0).toBool(), a.at(1).toInt(), a.at(2).toString()};
    }
    QStringList statusCmds() const
    {
        QStringList c;
        for (const auto &a : *status)
            c << a.at(2).toString();
        return c;
    }
    elcLimitParam lastLimits() const { return limits->last().at(0).value<elcLimitParam>(); }
    QStringList serialKeys() const
    {
        QStringList k;
        for (const auto &a : *serialRequests)
            k << a.at(0).value<SerialLinkPack>().key;
        return k;
    }
    QStringList tcpKeys() const
    {
        QStringList k;
        for (const auto &a : *tcpRequests)
            k << a.at(0).value<TcpLinkPack>().key;
        return k;
    }
    void clearRecords()
    {
        sent->clear();
        toPage->clear();
        serialRequests->clear();
        tcpRequests->clear();
        status->clear();
        limits->clear();
        dialogs.clear();
    }

    QTemporaryDir dir;
    DialogRecorder dialogs;
    std::unique_ptr<Quellon> window;
    std::unique_ptr<PackCapture> sent;
    std::unique_ptr<PackCapture> toPage;
    std::unique_ptr<QSignalSpy> serialRequests;
    std::unique_ptr<QSignalSpy> tcpRequests;
    std::unique_ptr<QSignalSpy> status;
    std::unique_ptr<QSignalSpy> limits;
};
