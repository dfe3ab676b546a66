// The chat, FIM and error parsers: any body fills fresh records without crashing and without a
// line in the log (they read with the quiet accessors only).

#include "FuzzSupport.h"
#include "TalvaneJsonResponses.h"

extern "C" int LLVMFuzzerInitialize(int* /*Argc*/, char*** /*Argv*/)
{
	TalvaneFuzz::SilenceConsole();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, const size_t Size)
{
	if (Size > 1 << 16)
	{
		return 0;
	}
	const FString Body = TalvaneFuzz::TextOf(Data, Size);
	TalvaneFuzz::FLogLineCounter Counter;
	FNimbrelChatResponses Chat;
	TalvaneJson::StringToNimbrelChatResponses(Body, Chat);
	FNimbrelFIMResponses FIM;
	TalvaneJson::StringToNimbrelFIMResponses(Body, FIM);
	FNimbrelChatErrorResponses Error;
	TalvaneJson::StringToNimbrelChatErrorResponses(Body, Error);
	if (Counter.Lines != 0)
	{
		TalvaneFuzz::Fail("a parser wrote to the log");
	}
	return 0;
}
