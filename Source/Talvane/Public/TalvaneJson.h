#pragma once

// The wire codec of the plugin in one include: enumeration strings and endpoints, and request
// bodies.

#include "TalvaneJsonEnums.h"
#include "TalvaneJsonRequests.h"
