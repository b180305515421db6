#pragma once

#include "DataPack.h"
#include "PackQueue.h"
#include "ReplyReader.h"
#include "SerialLinkPack.h"
#include "ThreadHandover.h"

#include <QObject>
#include <QSerialPort>

#include <QVector>

#include <atomic>
#include <mutex>

class QTimer;

// Owns the serial port to the instrument. Lives in a thread of its own: takes
// command records into a queue of 100 and, on each tick, writes them one after
// another, reading one reply per query. Opens, closes and lists ports on request.
class serialPort : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTickMs = 600;
    static constexpr int kPauseAfterWriteMs = 50;
    static constexpr int kReadWindowMs = 200;

    explicit serialPort(QObject *parent = nullptr);
    ~serialPort() override;

    // Tick period used by init(); tests may shorten or lengthen it before the
    // thread starts.
    void setTickInterval(int ms) { m_tickMs = ms; }
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
    void sendSerialInfo(SerialLinkPack str);

public slots:
    void init();
    void timerTimeOut();
    void recvPackFun(DataPack str);
    void getSerialInfoFun(SerialLinkPack str);
    void handleSerialError(QSerialPort::SerialPortError error);
    // Last call before the thread ends: writes what is still queued for an
    // open port (see requestStop) and closes it.
    void shutdown();
    // Drops every pack queued so far (they were sent before the window let
    // go of the link); the packs that follow it are kept.
    void dropQueue();

private:
    void sendReply(const QString &key, int isRequest, int needReply, int status,
                   const QString &data, int pageId);
    void sendLinkReport(const QString &key, bool linkOn, int code,
                        const QVector<QString> &portNames = {});
    bool openPort(const QString &name);
    bool portHungUp() const;
    void writeCommand(const QString &data);
    QString readReply();
    QVector<DataPack> takeQueue();
    // Closes the port; while it is open, the commands queued before (input
    // off, local) are written first, unless the port has failed.
    void closePort();
    // Writes what must reach the instrument before the link goes: settings
    // and the return to local; no other query is asked.
    void flushPacks(const QVector<DataPack> &packs);

    // A drop was requested whose dropQueue has not run yet.
    bool dropPending() const { return m_dropsRequested.load() != m_dropsDone; }

    PackQueue m_queue;
    std::atomic<bool> m_stopping{false};
    std::atomic<unsigned> m_dropsRequested{0};
    unsigned m_dropsDone = 0; // worker thread only
    ReplyReader m_reader{kReadWindowMs, &m_stopping};
    std::mutex m_mutex; // guards m_queue
    QTimer *m_timer = nullptr;
    QSerialPort *m_port = nullptr;
    bool portOpen = false;
    // The open port failed (device gone, access lost): it is reported once,
    // and nothing is written to it until it is opened again.
    bool seriousErrorReported = false;
    int m_tickMs = kTickMs;
    ThreadHandover m_handover; // the thread's end, to the destructor
};
