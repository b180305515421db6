#pragma once

// The host notification event, as declared in the exported header.
#include <QEvent>

#include "VKDevManage.h"
