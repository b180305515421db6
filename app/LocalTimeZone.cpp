#include "LocalTimeZone.h"

#include <QByteArray>

#include <ctime>

void pinLocalTimeZone()
{
#if defined(__GLIBC__)
    if (qEnvironmentVariableIsSet("TZ"))
        return;
    // The C library's own default zone file, named explicitly.
    qputenv("TZ", QByteArrayLiteral(":/etc/localtime"));
    tzset();
#endif
}
