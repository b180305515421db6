#include "QuellonResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initResourcesOnce()
{
    Q_INIT_RESOURCE(resources);
}

void initQuellonResources()
{
    static const bool done = (initResourcesOnce(), true);
    Q_UNUSED(done)
}
