#pragma once

// The streamed chat answer of the request manager's benchmark, and the fake engine request and
// response that carry it to the manager as the transport would.

#include <cstdio>
#include <map>
#include <string>

#include "CoreMinimal.h"
#include "Containers/StringConv.h"
#include "Interfaces/IHttpRequest.h"
#include "Interfaces/IHttpResponse.h"

namespace TalvaneManageBenchmark
{
	constexpr int32 StreamEvents = 8000;
	constexpr int32 RequestBodyBytes = 1200;

	/** A streamed chat body, and where each report ends: one event per report, the end marker in the last. */
	struct FStreamBody
	{
		TArray<uint8> Bytes;
		TArray<int32> ReportEnds;
		FString Whole;
	};

	inline std::string MakeEventText(const int32 Index)
	{
		static const std::string Words =
			"The lighthouse keeper counted the waves while gulls argued over a silver fish near the pier, "
			"and the tide rolled in with salt, rope, lantern oil and the quiet promise of a northern storm. ";
		const std::size_t Start = static_cast<std::size_t>(Index * 37) % (Words.size() - 64);
		return Words.substr(Start, 58 + Index % 5);
	}

	inline void AppendEvent(const int32 Index, std::string& Out)
	{
		char Line[512];
		const int Length = std::snprintf(Line, sizeof(Line),
			"data: {\"id\":\"chatcmpl-%08d\",\"object\":\"chat.completion.chunk\",\"created\":%d,\"model\":\"nimbrel-chat\","
			"\"choices\":[{\"index\":0,\"delta\":{\"content\":\"%s\"},\"logprobs\":null,\"finish_reason\":null}]}\n\n",
			Index, 1718000000 + Index / 40, MakeEventText(Index).c_str());
		Out.append(Line, static_cast<std::size_t>(Length));
	}

	inline const FStreamBody& GetStreamBody(const int32 EventCount)
	{
		static std::map<int32, FStreamBody> Bodies;
		FStreamBody& Body = Bodies[EventCount];
		if (Body.ReportEnds.IsEmpty())
		{
			std::string Text;
			for (int32 Index = 0; Index < EventCount; ++Index)
			{
				AppendEvent(Index, Text);
				Body.ReportEnds.Add(static_cast<int32>(Text.size()));
			}
			Text += "data: [DONE]\n\n";
			Body.ReportEnds.Last() = static_cast<int32>(Text.size());
			Body.Bytes.Append(reinterpret_cast<const uint8*>(Text.data()), static_cast<int32>(Text.size()));
			Body.Whole = FString(UTF8_TO_TCHAR(Text.c_str()));
		}
		return Body;
	}

	class FFakeStreamResponse final : public IHttpResponse
	{
	public:
		FString GetURL() const override { return TEXT("https://127.0.0.1/chat/completions"); }
		FString GetHeader(const FString&) const override { return FString(); }
		TArray<FString> GetAllHeaders() const override { return TArray<FString>(); }
		FString GetContentType() const override { return TEXT("text/event-stream"); }
		uint64 GetContentLength() const override { return 0; }
		const TArray<uint8>& GetContent() const override { return Body; }
		int32 GetResponseCode() const override { return 200; }
		FString GetContentAsString() const override
		{
			const FUTF8ToTCHAR Converted(reinterpret_cast<const ANSICHAR*>(Body.GetData()), Body.Num());
			return FString(Converted.Length(), Converted.Get());
		}

		TArray<uint8> Body;
	};

	/** A streamed chat request in flight, with the headers the transport sets and one caller pair. */
	class FFakeStreamRequest final : public IHttpRequest
	{
	public:
		explicit FFakeStreamRequest(const FGuid& InRequestID)
			: Response(MakeShared<FFakeStreamResponse, ESPMode::ThreadSafe>())
		{
			Headers.Add(TEXT("Content-Type"), TEXT("application/json"));
			Headers.Add(TEXT("Accept"), TEXT("application/json"));
			Headers.Add(TEXT("Authorization"), TEXT("Bearer sk-bench-0123456789abcdef0123456789abcdef"));
			Headers.Add(TEXT("Access-Protocol"), TEXT("chat"));
			Headers.Add(TEXT("RequestID"), InRequestID.ToString(EGuidFormats::Digits));
			Headers.Add(TEXT("X-Game-Session"), TEXT("arena-7"));
			Headers.Add(TEXT("bStream"), TEXT("1"));
		}

		FString GetURL() const override { return TEXT("https://127.0.0.1/chat/completions"); }
		FString GetHeader(const FString& HeaderName) const override
		{
			const FString* Found = Headers.Find(HeaderName);
			return Found ? *Found : FString();
		}
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
		uint64 GetContentLength() const override { return RequestBodyBytes; }
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
		const FHttpResponsePtr GetResponse() const override { return Response; }
		float GetElapsedTime() const override { return 0.0f; }

		const TSharedRef<FFakeStreamResponse, ESPMode::ThreadSafe> Response;

	private:
		TMap<FString, FString> Headers;
		TArray<uint8> NoContent;
		FHttpRequestCompleteDelegate CompleteDelegate;
		FHttpRequestProgressDelegate ProgressDelegate;
		FHttpRequestHeaderReceivedDelegate HeaderDelegate;
	};
}
