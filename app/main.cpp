#include "CrashHandler.h"
#include "Quellon.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    installCrashHandler();
    Quellon w;
    w.setWindowTitle(QStringLiteral("Darvik KTR series") + QStringLiteral("--V1.0.17 20260928"));
    w.show();
    return a.exec();
}
