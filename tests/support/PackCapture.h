#pragma once

#include "DataPack.h"
#include "TestWait.h"

#include <QList>
#include <QObject>
#include <QStringList>

// Collects the DataPack records a signal emits, e.g.
//   PackCapture sent(&window, SIGNAL(sendSriealFun(DataPack)));
class PackCapture : public QObject
{
    Q_OBJECT
public:
    PackCapture(QObject *sender, const char *signal, Qt::ConnectionType type = Qt::DirectConnection);

    QList<DataPack> packs;

    int count() const { return packs.size(); }
    QStringList keys() const;
    QStringList datas() const;
    // Packs whose key equals the given one.
    QList<DataPack> withKey(const QString &key) const;
    bool waitForCount(int n, int timeoutMs = kMustComeMs);
    void clear() { packs.clear(); }

public slots:
    void capture(DataPack pack);
};
