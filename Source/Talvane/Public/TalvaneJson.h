#pragma once

// The wire codec of the plugin in one include: enumeration strings and endpoints, request bodies,
// response bodies, streamed bodies and their statements, and error lines.

#include "TalvaneJsonEnums.h"
#include "TalvaneJsonErrors.h"
#include "TalvaneJsonRequests.h"
#include "TalvaneJsonResponses.h"
#include "TalvaneJsonStream.h"
#include "TalvaneSSEDecoder.h"
