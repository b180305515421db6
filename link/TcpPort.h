#pragma once

#include "DataPack.h"
#include "PackQueue.h"
#include "TcpLinkPack.h"

#include <QAbstractSocket>
#include <QObject>

#include <atomic>

class QTcpSocket;
class QTimer;

// Owns the TCP client connection to the instrument. Lives in a thread of its
// own: queues command records (100 slots) and on each tick writes them one by
// one, reading one reply per query; follows the socket's state, reports link
// changes and gives up a connection attempt that hangs.
class TcpPort : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTickMs = 500;
    static constexpr int kWatchdogTicks = 110;
    static constexpr int kWriteWaitMs = 100;
    static constexpr int kPauseAfterWriteMs = 80;
    static constexpr int kReadWindowMs = 200;
    static constexpr qint64 kSilentRelinkFailures = 100;

    explicit TcpPort(QObject *parent = nullptr);
    ~TcpPort() override;

    // Test settings, to be made before the thread starts: the tick period used
    // by init() and the number of ticks a connection attempt may hang.
    void setTickInterval(int ms) { m_tickMs = ms; }
    void setWatchdogTicks(int ticks) { m_watchdogTicks = ticks; connectWatchdog = ticks; }

signals:
    void sendPackFun(DataPack str);
    void sendTcpInfo(TcpLinkPack str);

public slots:
    void init();
    void timerTimeOut();
    void recvPackFun(DataPack str);
    void getTcpInfoFun(TcpLinkPack str);
    void clientStateMannage(QAbstractSocket::SocketState socketState);

private:
    void sendReply(const QString &key, int isRequest, int needReply, int status,
                   const QString &data, int pageId);
    void sendLinkReport(bool linkOn, int code);
    void startConnection();
    void dropStateTracking();
    QString readReply();

    PackQueue m_queue;
    QTimer *m_timer = nullptr;
    QTcpSocket *m_socket = nullptr;
    QString hostAddress;
    int port = 0;
    int lastCode = 0;
    bool connectPending = false;
    int connectWatchdog = kWatchdogTicks;
    bool relinkMode = false;
    qint64 relinkFailures = 0;
    int m_tickMs = kTickMs;
    int m_watchdogTicks = kWatchdogTicks;

    // Set while a tick runs, shared by every instance in the process.
    static std::atomic<bool> tickBusy;
};
