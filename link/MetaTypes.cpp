#include "MetaTypes.h"

#include "DataPack.h"
#include "SerialLinkPack.h"
#include "TcpLinkPack.h"

#include <QMetaType>

void registerDataPackTypes()
{
    qRegisterMetaType<DataPack>("DataPack");
    qRegisterMetaType<SerialLinkPack>("SerialLinkPack");
}

void registerTcpLinkPackType()
{
    qRegisterMetaType<TcpLinkPack>("TcpLinkPack");
}
