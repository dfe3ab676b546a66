#pragma once

#include <string>

#include "TalvaneRequestTimings.h"

/** One line for --verbose: how long the answer took, its pace and the tokens the server counted. */
std::string DescribeTimings(const FTalvaneRequestTimings& InTimings);
