#include "LibraryMessage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QString>

#include <dlfcn.h>

class QWidget;

namespace {
// QMessageBox::information(QWidget *, const QString &, const QString &, StandardButtons, StandardButton).
// The library links QtCore only; a widget host has QtWidgets loaded already.
using InformationFn = int (*)(QWidget *, const QString &, const QString &, int, int);
constexpr int kOk = 0x00000400;
constexpr int kNoButton = 0;
} // namespace

void showLibraryMessage(const char *text)
{
    const QString message = QString::fromUtf8(text);
    QCoreApplication *app = QCoreApplication::instance();
    if (app && app->inherits("QApplication")) {
        void *sym = dlsym(RTLD_DEFAULT,
                          "_ZN11QMessageBox11informationEP7QWidgetRK7QStringS4_6QFlagsINS_14StandardButtonEES6_");
        if (sym) {
            reinterpret_cast<InformationFn>(sym)(nullptr, QString(), message, kOk, kNoButton);
            return;
        }
    }
    qWarning().noquote() << "VKDevManage:" << message;
}
