#pragma once

#include "GenericPlatform/GenericPlatformHttp.h"

typedef FGenericPlatformHttp FPlatformHttp;
