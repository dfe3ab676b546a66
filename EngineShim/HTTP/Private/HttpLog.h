#pragma once

#include "Http.h"
