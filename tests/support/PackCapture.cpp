#include "PackCapture.h"

#include <QTest>

PackCapture::PackCapture(QObject *sender, const char *signal, Qt::ConnectionType type)
{
    connect(sender, signal, this, SLOT(capture(DataPack)), type);
}

void PackCapture::capture(DataPack pack)
{
    packs << pack;
}

QStringList PackCapture::keys() const
{
    QStringList k;
    for (const auto &p : packs)
        k << p.key;
    return k;
}

QStringList PackCapture::datas() const
{
    QStringList d;
    for (const auto &p : packs)
        d << p.data;
    return d;
}

QList<DataPack> PackCapture::withKey(const QString &key) const
{
    QList<DataPack> r;
    for (const auto &p : packs)
        if (p.key == key)
            r << p;
    return r;
}

bool PackCapture::waitForCount(int n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return packs.size() >= n; }, timeoutMs);
}
