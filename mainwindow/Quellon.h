#pragma once

#include "DataPack.h"
#include "SerialLinkPack.h"
#include "TcpLinkPack.h"

#include <QMainWindow>

// The main window. (Bare for now: the link panel, dispatcher and pages follow.)
class Quellon : public QMainWindow
{
    Q_OBJECT
public:
    explicit Quellon(QWidget *parent = nullptr);
    ~Quellon() override;

signals:
    void sendSriealFun(DataPack str);
    void getSerialInfoFun(SerialLinkPack str);
    void getTcpInfoFun(TcpLinkPack str);

public slots:
    void recvSerialFun(DataPack str);
    void recvSerialInfoFun(SerialLinkPack str);
    void recvTcpInfoFun(TcpLinkPack str);
};
