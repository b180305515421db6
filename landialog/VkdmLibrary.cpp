#include "VkdmLibrary.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibrary>

namespace {
// The library's text results live in one buffer of this size.
constexpr int kMaxLibraryText = 652;

QString fromLibraryText(const char *text)
{
    if (!text)
        return QString();
    return QString::fromUtf8(text, int(qstrnlen(text, kMaxLibraryText)));
}
} // namespace

VkdmLibrary &VkdmLibrary::instance()
{
    static VkdmLibrary table;
    return table;
}

QString VkdmLibrary::fileName()
{
    // QLibrary adds the platform's prefix and suffix (libVKDevManage.so).
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("VKDevManage"));
}

bool VkdmLibrary::load()
{
    // Never unloaded: the library keeps its sockets and timer for the
    // rest of the process.
    static QLibrary *library = nullptr;
    if (!library)
        library = new QLibrary(fileName());
    if (!library->isLoaded() && !library->load()) {
        qDebug() << "Could not load VKDevManage.dll!" << library->errorString();
        *this = VkdmLibrary(); // nothing resolved, nothing will be called
        return false;
    }
    auto resolve = [](const char *name) { return library->resolve(name); };
    init = reinterpret_cast<InitFn>(resolve("VKDM_Init"));
    getVer = reinterpret_cast<GetVerFn>(resolve("VKDM_GetVer"));
    exit = reinterpret_cast<ExitFn>(resolve("VKDM_Exit"));
    startSearchDev = reinterpret_cast<SearchFn>(resolve("VKDM_StartSearchDev"));
    getDevId = reinterpret_cast<GetDevIdFn>(resolve("VKDM_GetDevID"));
    getDevParamString = reinterpret_cast<GetStrFn>(resolve("VKDM_GetDevParamString"));
    getDevParamInt = reinterpret_cast<GetIntFn>(resolve("VKDM_GetDevParamInt"));
    setDevParamString = reinterpret_cast<SetStrFn>(resolve("VKDM_SetDevParamString"));
    setDevParamInt = reinterpret_cast<SetIntFn>(resolve("VKDM_SetDevParamInt"));
    setDevParamExcute = reinterpret_cast<ExecuteFn>(resolve("VKDM_SetDevParamExcute"));
    addManualDev = reinterpret_cast<AddManualFn>(resolve("VKDM_AddManualDev"));
    clearManualDev = reinterpret_cast<ClearManualFn>(resolve("VKDM_ClearManualDev"));
    return true;
}

int VkdmLibrary::search() const
{
    return startSearchDev ? startSearchDev() : 0;
}

QString VkdmLibrary::deviceId(int index) const
{
    if (!getDevId || index < 0)
        return QString();
    return fromLibraryText(getDevId(uint32_t(index)));
}

QString VkdmLibrary::paramString(const QString &id, int param) const
{
    if (!getDevParamString)
        return QString();
    const QByteArray idText = id.toUtf8();
    return fromLibraryText(getDevParamString(idText.constData(), param));
}

int VkdmLibrary::paramInt(const QString &id, int param) const
{
    if (!getDevParamInt)
        return -1;
    const QByteArray idText = id.toUtf8();
    return getDevParamInt(idText.constData(), param);
}

bool VkdmLibrary::setParamString(const QString &id, const QString &value, int param) const
{
    if (!setDevParamString)
        return false;
    const QByteArray idText = id.toUtf8();
    const QByteArray valueText = value.toUtf8();
    return setDevParamString(idText.constData(), valueText.constData(), param) == 1;
}

bool VkdmLibrary::setParamInt(const QString &id, uint32_t value, int param) const
{
    if (!setDevParamInt)
        return false;
    const QByteArray idText = id.toUtf8();
    return setDevParamInt(idText.constData(), value, param) == 1;
}

bool VkdmLibrary::execute(const QString &id) const
{
    if (!setDevParamExcute)
        return false;
    const QByteArray idText = id.toUtf8();
    return setDevParamExcute(idText.constData()) == 1;
}
