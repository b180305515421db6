#pragma once

#include "DataPack.h"
#include "PackQueue.h"
#include "SerialLinkPack.h"

#include <QObject>
#include <QSerialPort>

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

signals:
    void sendPackFun(DataPack str);
    void sendSerialInfo(SerialLinkPack str);

public slots:
    void init();
    void timerTimeOut();
    void recvPackFun(DataPack str);
    void getSerialInfoFun(SerialLinkPack str);
    void handleSerialError(QSerialPort::SerialPortError error);

private:
    void sendReply(const QString &key, int isRequest, int needReply, int status,
                   const QString &data, int pageId);
    void sendLinkReport(const QString &key, bool linkOn, int code,
                        const QVector<QString> &portNames = {});
    bool openPort(const QString &name);
    bool portHungUp() const;
    void writeCommand(const QString &data);
    QString readReply();

    PackQueue m_queue;
    std::mutex m_mutex; // guards m_queue
    QTimer *m_timer = nullptr;
    QSerialPort *m_port = nullptr;
    bool portOpen = false;
    bool seriousErrorReported = false;
    int m_tickMs = kTickMs;
};
