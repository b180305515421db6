#include "Quellon.h"

#include "CrashHandler.h"
#include "MetaTypes.h"

Quellon::Quellon(QWidget *parent)
    : QMainWindow(parent)
{
    installCrashHandler();
    registerDataPackTypes();
    registerTcpLinkPackType();
    setFixedSize(1050, 700);
}

Quellon::~Quellon() = default;

void Quellon::recvSerialFun(DataPack) {}
void Quellon::recvSerialInfoFun(SerialLinkPack) {}
void Quellon::recvTcpInfoFun(TcpLinkPack) {}
