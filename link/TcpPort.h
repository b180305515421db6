#pragma once

#include "DataPack.h"
#include "PackQueue.h"
#include "ReplyReader.h"
#include "TcpLinkPack.h"
#include "ThreadHandover.h"

#include <QAbstractSocket>
#include <QObject>

#include <QVector>

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
    // Time a reply has to begin (and each later piece to follow); tests set it
    // before the thread starts or, once it runs, through a queued call
    // (invokeMethod "setReadWindow" with the value as its argument).
    Q_INVOKABLE void setReadWindow(int ms) { m_reader.setWindow(ms); }

    // Safe from any thread: the running tick stops reading replies at once,
    // and from now on only what must still reach the instrument (settings,
    // the return to local) is written. Used when the program quits.
    void requestStop() { m_stopping.store(true); }

    // Safe from any thread, for a window that lets go of the link: the tick
    // under way writes none of the packs it still holds and sends no reply
    // for them. Each request is followed by a queued dropQueue, which drops
    // what was sent before it and ends the request.
    void requestQueueDrop() { m_dropsRequested.fetch_add(1); }

signals:
    void sendPackFun(DataPack str);
    void sendTcpInfo(TcpLinkPack str);

public slots:
    void init();
    void timerTimeOut();
    void recvPackFun(DataPack str);
    void getTcpInfoFun(TcpLinkPack str);
    void clientStateMannage(QAbstractSocket::SocketState socketState);
    // Last call before the thread ends: writes what is still queued for a
    // connected instrument (see requestStop) and closes the socket.
    void shutdown();
    // Drops every pack queued so far (they were sent before the window let
    // go of the link); the packs that follow it are kept.
    void dropQueue();

private:
    void sendReply(const QString &key, int isRequest, int needReply, int status,
                   const QString &data, int pageId);
    void sendLinkReport(bool linkOn, int code);
    void startConnection();
    void dropStateTracking();
    // Closes a link the worker still holds; while it is connected, the
    // commands queued before (input off, local) are written first.
    void closeLink();
    bool isConnected() const;
    QVector<DataPack> takeQueue();
    // One command: settle the line, drop stale input, write, pause.
    void writePack(const DataPack &pack);
    // Writes what must reach the instrument before the link goes: settings
    // and the return to local; no other query is asked.
    void flushPacks(const QVector<DataPack> &packs);
    QString readReply();

    // A drop was requested whose dropQueue has not run yet.
    bool dropPending() const { return m_dropsRequested.load() != m_dropsDone; }

    PackQueue m_queue;
    std::atomic<bool> m_stopping{false};
    std::atomic<unsigned> m_dropsRequested{0};
    unsigned m_dropsDone = 0; // worker thread only
    ReplyReader m_reader{kReadWindowMs, &m_stopping};
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
    ThreadHandover m_handover; // the thread's end, to the destructor

    // Set while a tick runs, shared by every instance in the process.
    static std::atomic<bool> tickBusy;
};
