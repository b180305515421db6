#include "DataPack.h"

DataPack makeReplyPack(const QString &key, int isRequest, int needReply, int status,
                       const QString &data, int pageId)
{
    DataPack p;
    p.key = key;
    p.isRequest = isRequest;
    p.needReply = needReply;
    p.status = status;
    p.data = data;
    p.pageId = pageId;
    return p;
}

DataPack makeRequestPack(const QString &key, int needReply, const QString &data, int pageId)
{
    DataPack p;
    p.key = key;
    p.isRequest = 1;
    p.needReply = needReply;
    p.status = 0;
    p.data = data;
    p.pageId = pageId;
    return p;
}
