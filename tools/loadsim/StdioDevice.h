#pragma once

#include <QIODevice>
#include <QSocketNotifier>

// Standard input and output as one sequential device, for the control
// channel: tests type simulator commands into loadsim's standard input
// while the program holds the link.
class StdioDevice : public QIODevice
{
    Q_OBJECT
public:
    explicit StdioDevice(QObject *parent = nullptr);
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_pending.size() + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    void onActivated();

    QSocketNotifier m_notifier;
    QByteArray m_pending;
};
