#pragma once

#include "QueuedValue.h"

#include <QMetaType>
#include <QString>

// One instrument command travelling to a link worker, or one reply coming back.
struct DataPackFields
{
    QString key;        // reply key, e.g. "CC:CURR:L"; the reply carries the same key
    qint32 isRequest = 0; // 1 in requests, 0 in replies
    qint32 needReply = 0; // 1 query (one reply is read), 0 setting (write only)
    qint32 status = 0;  // replies: 0 received, 2 no reply, 3 not numeric
    QString data;       // request: command line with its "\n"; reply: text as read
    qint32 link = 0;    // 0 serial, 1 TCP; stamped by the main window
    qint32 pageId = 0;  // 0 main window, 1 static mode, 2 battery, 3 list

    // Reply statuses.
    enum Status { Received = 0, NoReply = 2, NotNumeric = 3 };
    // Senders (pageId).
    enum Page { MainWindowPage = 0, StaticModePage = 1, BatteryPage = 2, ListPageId = 3 };
    // Link selector.
    enum Link { SerialLink = 0, TcpLink = 1 };
};

// Handed between threads in queued calls: see QueuedValue.
struct DataPack : QueuedValue<DataPackFields>
{
};

// Reply record as the workers build it: key, isRequest, needReply, status,
// data and pageId in this order; link stays unset.
DataPack makeReplyPack(const QString &key, int isRequest, int needReply, int status,
                       const QString &data, int pageId);

// Request record as the main window and the pages build it.
DataPack makeRequestPack(const QString &key, int needReply, const QString &data, int pageId);

Q_DECLARE_METATYPE(DataPack)
