// A valid streamed answer, built from the input, handed to the request manager in slices the input
// chooses, the way the engine hands it over: each slice goes through the request's receive-stream
// delegate into the transport's received body (on the HTTP thread in the engine), and a progress
// report follows some slices (the engine reports once per tick, whatever arrived in between). However
// the body is sliced, the manager must report the text of the unsliced body: the joined deltas in
// delta mode, the last progress text in whole mode, reasoning likewise, and the completion and the
// conversation record must agree. The text of the body is what its events carry: for a chat answer
// without the line breaks that would lead it, as the plugin's decoder of a whole body reads it; for a
// completion (FIM) every character, as its whole answer has it.
//
// Input: byte 0 chooses the shape (bit 0 whole mode, bit 1 CRLF line ends, bit 2 keep-alive
// comments between events, bit 3 reasoning in every other chat event, bits 4-5 the protocol, bit 6
// "data:" without its space, bit 7 no "data: [DONE]" after the finish reason); byte 1 says how many of
// the following bytes script the answer (one token each, see Tokens; of the two values past the
// table, the first ends the event with a blank line, the second ends it without one and puts a
// "data: ping" line, which is not JSON, before the next event); every byte after them is one slice:
// its low six bits plus one are the length, its top bit asks for a progress report after it.

#include <string>

#include "FuzzSupport.h"
#include "HTTP/TalvaneReceivedBody.h"
#include "Interfaces/IHttpRequest.h"
#include "Interfaces/IHttpResponse.h"
#include "TalvaneJsonEnums.h"
#include "TalvaneJsonStream.h"
#include "TalvaneManage.h"
#include "TalvaneType.h"

namespace
{
	/** A piece of answer as it stands in the JSON string, and the text it stands for. */
	struct FToken
	{
		const char* Json;
		const TCHAR* Text;
	};

	// Escapes, raw multi-byte characters of every length, escaped ones (a surrogate pair among them)
	// and look-alikes of the stream's own markers. A token past the end of the table ends the event.
	const FToken Tokens[] = {{"a", TEXT("a")}, {"Word ", TEXT("Word ")}, {"\\\"", TEXT("\"")}, {"\\\\", TEXT("\\")}, {"\\n", TEXT("\n")},
		{"\xC3\xA9", TEXT("\u00E9")}, {"\xE4\xBD\xA0", TEXT("\u4F60")}, {"\xF0\x9F\x98\x80", TEXT("\U0001F600")}, {"\\u00e9", TEXT("\u00E9")},
		{"\\ud83d\\ude00", TEXT("\U0001F600")}, {"data: [DONE]", TEXT("data: [DONE]")}, {"\\/", TEXT("/")}, {"\\r\\n\\r\\n", TEXT("\r\n\r\n")},
		{": ", TEXT(": ")}};
	constexpr int32 NumTokens = sizeof(Tokens) / sizeof(Tokens[0]);

	const ENimbrelProtocol Protocols[] = {ENimbrelProtocol::NIMBREL_CHAT, ENimbrelProtocol::NIMBREL_FIM, ENimbrelProtocol::NIMBREL_LOCAL_CHAT,
		ENimbrelProtocol::NIMBREL_CHAT};

	struct FShape
	{
		bool bCombined = false;
		bool bCrlf = false;
		bool bKeepAlive = false;
		bool bReasoning = false;
		bool bNoSpace = false;
		bool bNoDone = false;
		ENimbrelProtocol Protocol = ENimbrelProtocol::NIMBREL_CHAT;
	};

	/** The body, with the text and reasoning its events carry. */
	struct FBody
	{
		std::string Bytes;
		FString Text;
		FString Reasoning;
	};

	FShape ReadShape(const uint8 InByte)
	{
		FShape Shape;
		Shape.bCombined = (InByte & 1) != 0;
		Shape.bCrlf = (InByte & 2) != 0;
		Shape.bKeepAlive = (InByte & 4) != 0;
		Shape.Protocol = Protocols[(InByte >> 4) & 3];
		Shape.bReasoning = (InByte & 8) != 0 && Shape.Protocol != ENimbrelProtocol::NIMBREL_FIM;
		Shape.bNoSpace = (InByte & 64) != 0;
		Shape.bNoDone = (InByte & 128) != 0;
		return Shape;
	}

	void AppendEvent(const FShape& InShape, const std::string& InData, std::string& Out, const bool bPingAfter = false)
	{
		const char* const Break = InShape.bCrlf ? "\r\n" : "\n";
		const char* const Data = InShape.bNoSpace ? "data:" : "data: ";
		if (InShape.bKeepAlive)
		{
			Out.append(": keep-alive").append(Break).append(Break);
		}
		Out.append(Data).append(InData).append(Break);
		// A stray line right after the event, with no blank line anywhere, must not take the next events.
		Out.append(bPingAfter ? std::string(Data) + "ping" + Break : std::string(Break));
	}

	std::string MakeChunk(const FShape& InShape, const std::string& InPiece, const bool bInReasoning, const char* InFinish)
	{
		const std::string Finish = InFinish ? std::string("\"") + InFinish + "\"" : std::string("null");
		if (InShape.Protocol == ENimbrelProtocol::NIMBREL_FIM)
		{
			return "{\"id\":\"f\",\"object\":\"text_completion\",\"choices\":[{\"text\":\"" + InPiece + "\",\"index\":0,\"logprobs\":null,\"finish_reason\":"
				+ Finish + "}]}";
		}
		const std::string Field = bInReasoning ? "reasoning_content" : "content";
		return "{\"id\":\"c\",\"object\":\"chat.completion.chunk\",\"choices\":[{\"index\":0,\"delta\":{\"" + Field + "\":\"" + InPiece
			+ "\"},\"logprobs\":null,\"finish_reason\":" + Finish + "}]}";
	}

	/** Builds the body from the script: one event per run of tokens, then a finish event and the end marker. */
	FBody MakeBody(const FShape& InShape, const uint8* InScript, const int32 InLength)
	{
		FBody Body;
		std::string Piece;
		FString PieceText;
		int32 EventIndex = 0;
		const auto EndEvent = [&](const bool bPingAfter)
		{
			const bool bReasoning = InShape.bReasoning && EventIndex % 2 == 1;
			AppendEvent(InShape, MakeChunk(InShape, Piece, bReasoning, nullptr), Body.Bytes, bPingAfter);
			(bReasoning ? Body.Reasoning : Body.Text) += PieceText;
			Piece.clear();
			PieceText.Reset();
			++EventIndex;
		};
		for (int32 Index = 0; Index < InLength; ++Index)
		{
			const int32 Token = InScript[Index] % (NumTokens + 2);
			if (Token >= NumTokens)
			{
				EndEvent(Token > NumTokens);
				continue;
			}
			Piece += Tokens[Token].Json;
			PieceText += Tokens[Token].Text;
		}
		EndEvent(false);
		AppendEvent(InShape, MakeChunk(InShape, std::string(), false, "stop"), Body.Bytes);
		if (!InShape.bNoDone)
		{
			AppendEvent(InShape, "[DONE]", Body.Bytes);
		}
		// A chat answer never starts with line breaks; a completion keeps them, as it is spliced in.
		if (InShape.Protocol != ENimbrelProtocol::NIMBREL_FIM)
		{
			TalvaneJson::RemoveStartWrapInLine(Body.Text);
			TalvaneJson::RemoveStartWrapInLine(Body.Reasoning);
		}
		return Body;
	}

	class FSlicedResponse final : public IHttpResponse
	{
	public:
		FString GetURL() const override { return TEXT("http://127.0.0.1/chat/completions"); }
		FString GetHeader(const FString&) const override { return FString(); }
		TArray<FString> GetAllHeaders() const override { return TArray<FString>(); }
		FString GetContentType() const override { return TEXT("text/event-stream"); }
		uint64 GetContentLength() const override { return 0; }
		// A stream receiver takes the body, so the engine's response holds none.
		const TArray<uint8>& GetContent() const override { return NoContent; }
		int32 GetResponseCode() const override { return 200; }
		FString GetContentAsString() const override { return FString(); }

	private:
		TArray<uint8> NoContent;
	};

	/** A streamed request in flight, with the headers the transport sets. */
	class FSlicedRequest final : public IHttpRequest
	{
	public:
		explicit FSlicedRequest(const ENimbrelProtocol InProtocol)
		{
			Headers.Add(TEXT("Access-Protocol"), TalvaneJson::NimbrelProtocolToString(InProtocol));
			Headers.Add(TEXT("RequestID"), FGuid::NewGuid().ToString(EGuidFormats::Digits));
			Headers.Add(TEXT("bStream"), TEXT("1"));
		}

		FString GetURL() const override { return TEXT("http://127.0.0.1/chat/completions"); }
		FString GetHeader(const FString& HeaderName) const override { return Headers.FindRef(HeaderName); }
		TArray<FString> GetAllHeaders() const override
		{
			TArray<FString> Lines;
			for (const TPair<FString, FString>& Pair : Headers)
			{
				Lines.Add(Pair.Key + TEXT(": ") + Pair.Value);
			}
			return Lines;
		}
		FString GetContentType() const override { return TEXT("application/json"); }
		uint64 GetContentLength() const override { return 0; }
		const TArray<uint8>& GetContent() const override { return NoContent; }
		FString GetVerb() const override { return TEXT("POST"); }
		void SetVerb(const FString&) override {}
		void SetURL(const FString&) override {}
		void SetContent(const TArray<uint8>&) override {}
		void SetContent(TArray<uint8>&&) override {}
		void SetContentAsString(const FString&) override {}
		bool SetResponseBodyReceiveStream(TSharedRef<FArchive>) override { return true; }
		void SetHeader(const FString&, const FString&) override {}
		void AppendToHeader(const FString&, const FString&) override {}
		void SetTimeout(float) override {}
		void ClearTimeout() override {}
		TOptional<float> GetTimeout() const override { return TOptional<float>(); }
		bool ProcessRequest() override { return true; }
		FHttpRequestCompleteDelegate& OnProcessRequestComplete() override { return CompleteDelegate; }
		FHttpRequestProgressDelegate& OnRequestProgress() override { return ProgressDelegate; }
		FHttpRequestHeaderReceivedDelegate& OnHeaderReceived() override { return HeaderDelegate; }
		void CancelRequest() override {}
		EHttpRequestStatus::Type GetStatus() const override { return EHttpRequestStatus::Processing; }
		const FHttpResponsePtr GetResponse() const override { return nullptr; }
		float GetElapsedTime() const override { return 0.0f; }

	private:
		TMap<FString, FString> Headers;
		TArray<uint8> NoContent;
		FHttpRequestCompleteDelegate CompleteDelegate;
		FHttpRequestProgressDelegate ProgressDelegate;
		FHttpRequestHeaderReceivedDelegate HeaderDelegate;
	};

	/** The manager with its transport-facing handlers opened, recording what it reports. */
	class FSlicedManage final : public FTalvaneManage
	{
	public:
		using FTalvaneManage::OnRequestComplete;
		using FTalvaneManage::OnRequestProgress;
		using FTalvaneManage::TrackRequest;

		FSlicedManage()
		{
			ProgressDelegate.BindLambda([this](ENimbrelProtocol, const FString& InText, const FString& InReasoning, const FNimbrelContextInfo&, int32, int32)
			{
				++Reports;
				JoinedText += InText;
				JoinedReasoning += InReasoning;
				LastText = InText;
				LastReasoning = InReasoning;
			});
			SuccessDelegate.BindLambda([this](ENimbrelProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoning, const FString&,
				const FNimbrelContextInfo&)
			{
				++Successes;
				SuccessData = InData;
				SuccessReasoning = InReasoning;
			});
			FailureDelegate.BindLambda([this](ENimbrelProtocol, const TArray<FString>&, const TArray<FString>&, const FString&, const FNimbrelContextInfo&)
			{
				++Failures;
			});
		}

		int32 Reports = 0;
		int32 Successes = 0;
		int32 Failures = 0;
		FString JoinedText;
		FString JoinedReasoning;
		FString LastText;
		FString LastReasoning;
		TArray<FString> SuccessData;
		TArray<FString> SuccessReasoning;
	};

	bool IsSame(const FString& A, const FString& B)
	{
		return A.Equals(B, ESearchCase::CaseSensitive);
	}

	void Check(const bool bHolds, const char* What)
	{
		if (!bHolds)
		{
			TalvaneFuzz::Fail(What);
		}
	}

	/** Feeds the body in the slices the input asks for, reporting progress where it asks and at the end. */
	void Feed(FSlicedManage& InManage, const FHttpRequestPtr& InRequest, const FHttpRequestStreamDelegate& InReceive, const std::string& InBody,
		const uint8* InSlices, const int32 InNumSlices)
	{
		size_t Offset = 0;
		size_t Reported = 0;
		for (int32 Index = 0; Offset < InBody.size(); ++Index)
		{
			// Past the scripted slices the rest goes in 64-byte slices with a report each.
			const uint8 Slice = Index < InNumSlices ? InSlices[Index] : 0xBF;
			const size_t Length = std::min<size_t>(static_cast<size_t>(Slice & 0x3F) + 1, InBody.size() - Offset);
			Check(InReceive.Execute(const_cast<char*>(InBody.data() + Offset), static_cast<int64>(Length)), "the received body refused a slice");
			Offset += Length;
			if ((Slice & 0x80) != 0)
			{
				InManage.OnRequestProgress(InRequest, 0, static_cast<int32>(Offset));
				Reported = Offset;
			}
		}
		// Before it completes a request the engine reports the progress it has not reported yet.
		if (Reported != Offset)
		{
			InManage.OnRequestProgress(InRequest, 0, static_cast<int32>(Offset));
		}
	}

	/** The plugin's decoder of a whole chat body agrees with the text the body was built to carry. */
	void CheckWholeBodyDecoder(const FShape& InShape, const FBody& InBody)
	{
		if (InShape.Protocol == ENimbrelProtocol::NIMBREL_FIM)
		{
			return;
		}
		const FString Whole(UTF8_TO_TCHAR(InBody.Bytes.c_str()));
		FString Text;
		FString Reasoning;
		TalvaneJson::StreamStringToTextResponses(Whole, Text);
		TalvaneJson::StreamStringToReasoningTextResponses(Whole, Reasoning);
		Check(IsSame(Text, InBody.Text) && IsSame(Reasoning, InBody.Reasoning), "the whole-body decoder reads another text");
	}

	void CheckReports(const FShape& InShape, const FBody& InBody, const FSlicedManage& InManage, const TArray<FNimbrelContextMessage>& InMessages)
	{
		const FString& Text = InShape.bCombined ? InManage.LastText : InManage.JoinedText;
		const FString& Reasoning = InShape.bCombined ? InManage.LastReasoning : InManage.JoinedReasoning;
		Check(IsSame(Text, InBody.Text), "the reported text is not the text of the unsliced body");
		Check(IsSame(Reasoning, InBody.Reasoning), "the reported reasoning is not the reasoning of the unsliced body");
		Check(InManage.Successes == 1 && InManage.Failures == 0, "not exactly one success");
		const bool bFim = InShape.Protocol == ENimbrelProtocol::NIMBREL_FIM;
		const bool bTextAtEnd = bFim != InShape.bCombined;
		const FString Expected = bTextAtEnd ? InBody.Text : FString(TEXT(" "));
		Check(InManage.SuccessData.Num() == 1 && IsSame(InManage.SuccessData[0], Expected), "the success carries the wrong text");
		if (!bFim)
		{
			Check(InMessages.Num() == 1 && IsSame(InMessages[0].Content, InBody.Text), "the conversation record holds the wrong answer");
		}
	}
}

extern "C" int LLVMFuzzerInitialize(int* /*Argc*/, char*** /*Argv*/)
{
	TalvaneFuzz::SilenceConsole();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, const size_t Size)
{
	if (Size < 2 || Size > 1 << 14)
	{
		return 0;
	}
	const FShape Shape = ReadShape(Data[0]);
	const int32 ScriptLength = std::min<int32>(Data[1], static_cast<int32>(Size) - 2);
	const FBody Body = MakeBody(Shape, Data + 2, ScriptLength);
	const uint8* const Slices = Data + 2 + ScriptLength;
	const int32 NumSlices = static_cast<int32>(Size) - 2 - ScriptLength;

	FSlicedManage Manage;
	Manage.SetStreamCombinedReply(Shape.bCombined);
	const FHttpRequestPtr Request = MakeShared<FSlicedRequest, ESPMode::ThreadSafe>(Shape.Protocol);
	const TSharedRef<TalvaneHttp::FTalvaneReceivedBody, ESPMode::ThreadSafe> Received = MakeShared<TalvaneHttp::FTalvaneReceivedBody, ESPMode::ThreadSafe>();
	// The receiver the transport gives every request (FHTTP::SendAndRegister).
	const FHttpRequestStreamDelegate Receive = FHttpRequestStreamDelegate::CreateLambda(
		[Received](void* InData, const int64 InLength) { return Received->Receive(InData, InLength); });
	TArray<FNimbrelContextMessage> Messages;
	const TSharedPtr<uint8> Lifetime = MakeShared<uint8>(0);
	Manage.TrackRequest(Request, Received, Shape.Protocol, &Messages, Lifetime);

	Feed(Manage, Request, Receive, Body.Bytes, Slices, NumSlices);
	Manage.OnRequestComplete(Request, MakeShared<FSlicedResponse, ESPMode::ThreadSafe>(), true);
	CheckReports(Shape, Body, Manage, Messages);
	CheckWholeBodyDecoder(Shape, Body);
	return 0;
}
