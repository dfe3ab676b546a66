#pragma once

#include "CoreMinimal.h"

namespace TalvaneHttp
{
	/**
	 * Percent-encodes text as one URL path segment: each UTF-8 byte other than A-Z, a-z, 0-9, '-'
	 * and '_' becomes '%' and two upper-case hex digits ("a/b?c d" gives "a%2Fb%3Fc%20d", "." gives
	 * "%2E"), so no character of it can end the segment, start a query or form a dot segment.
	 */
	TALVANE_API FString EncodePathSegment(const FString& InSegment);
}
