#include "RequestHandler.h"

#include <chrono>
#include <thread>

#include "AnswerBuilder.h"
#include "Scenarios.h"
#include "ServerConnection.h"

namespace TalvaneReference
{
	namespace
	{
		const std::string LocalPathHead = "/api/v1/chats_openai/";
		const std::string LocalPathTail = "/chat/completions";

		void AnswerError(httplib::Response& OutResponse, const int InStatus, const std::string& InMessage,
			const std::string& InType, const std::string& InCode)
		{
			OutResponse.status = InStatus;
			OutResponse.set_content(MakeErrorBody(InMessage, InType, InCode), "application/json");
		}

		/** Parses the body as a JSON object; answers 400 and returns false when it is not one. */
		bool ParseBody(const httplib::Request& InRequest, httplib::Response& OutResponse, nlohmann::json& OutBody)
		{
			OutBody = nlohmann::json::parse(InRequest.body, nullptr, false);
			if (OutBody.is_discarded() || !OutBody.is_object())
			{
				AnswerError(OutResponse, 400, "Invalid request body: not a JSON object", "invalid_request_error",
					"invalid_request_error");
				return false;
			}
			return true;
		}

		int HexValue(const char InChar)
		{
			if (InChar >= '0' && InChar <= '9')
			{
				return InChar - '0';
			}
			if (InChar >= 'a' && InChar <= 'f')
			{
				return InChar - 'a' + 10;
			}
			if (InChar >= 'A' && InChar <= 'F')
			{
				return InChar - 'A' + 10;
			}
			return -1;
		}

		bool IsLibraryHeader(const std::string& InName)
		{
			// cpp-httplib files the peer's addresses among the request headers; they were never sent.
			return InName == "REMOTE_ADDR" || InName == "REMOTE_PORT" || InName == "LOCAL_ADDR" || InName == "LOCAL_PORT";
		}
	}

	FRequestHandler::FRequestHandler(const std::string& InApiKey, const std::string& InCloudPrefix, const FServerControl& InControl)
		: ApiKey(InApiKey)
		, CloudPrefix(NormalizePrefix(InCloudPrefix))
		, Control(InControl)
	{
	}

	std::string FRequestHandler::NormalizePrefix(const std::string& InPrefix)
	{
		std::string Prefix = InPrefix;
		if (Prefix.empty() || Prefix.front() != '/')
		{
			Prefix.insert(Prefix.begin(), '/');
		}
		if (Prefix.back() != '/')
		{
			Prefix.push_back('/');
		}
		return Prefix;
	}

	std::string FRequestHandler::DecodePercent(const std::string& InText)
	{
		std::string Decoded;
		Decoded.reserve(InText.size());
		for (size_t Index = 0; Index < InText.size(); ++Index)
		{
			const bool bEscape = InText[Index] == '%' && Index + 2 < InText.size();
			const int High = bEscape ? HexValue(InText[Index + 1]) : -1;
			const int Low = High >= 0 ? HexValue(InText[Index + 2]) : -1;
			if (Low >= 0)
			{
				Decoded.push_back(static_cast<char>(High * 16 + Low));
				Index += 2;
			}
			else
			{
				Decoded.push_back(InText[Index]);
			}
		}
		return Decoded;
	}

	void FRequestHandler::Handle(const httplib::Request& InRequest, httplib::Response& OutResponse)
	{
		std::string ChatID;
		const ERoute Which = Route(InRequest, ChatID);
		if (Which == ERoute::Echo)
		{
			AnswerEcho(InRequest, OutResponse);
		}
		else if (Which == ERoute::NotFound)
		{
			AnswerError(OutResponse, 404, "No route for " + InRequest.method + " " + InRequest.target,
				"invalid_request_error", "not_found");
		}
		else if (!IsAuthorized(InRequest))
		{
			AnswerError(OutResponse, 401, "Authentication Fails (invalid api key)", "authentication_error",
				"invalid_request_error");
		}
		else
		{
			const FScenario Scenario = ReadScenario(InRequest);
			if (!AnswerWithoutBody(Scenario, OutResponse, Control))
			{
				if (Which == ERoute::Fim)
				{
					AnswerFim(InRequest, Scenario, OutResponse);
				}
				else
				{
					AnswerChat(InRequest, Scenario, Which == ERoute::LocalChat, ChatID, OutResponse);
				}
			}
		}
		// cpp-httplib gzips JSON answers for a client that accepts gzip, which would merge the slices
		// and pauses of the paced scenarios; clients are to see the bytes as written. The request
		// object belongs to the library's request loop and is not const there, so the header can be
		// dropped before the response goes out.
		const_cast<httplib::Request&>(InRequest).headers.erase("Accept-Encoding");
	}

	FRequestHandler::ERoute FRequestHandler::Route(const httplib::Request& InRequest, std::string& OutChatID) const
	{
		// The raw target, not the decoded path: a chat identifier may hold an encoded slash.
		const std::string Path = InRequest.target.substr(0, InRequest.target.find('?'));
		if (Path == "/echo")
		{
			return ERoute::Echo;
		}
		if (InRequest.method != "POST")
		{
			return ERoute::NotFound;
		}
		if (Path == CloudPrefix + "chat/completions")
		{
			return ERoute::CloudChat;
		}
		if (Path == CloudPrefix + "beta/completions")
		{
			return ERoute::Fim;
		}
		const size_t MinLength = LocalPathHead.size() + LocalPathTail.size();
		if (Path.size() >= MinLength && Path.rfind(LocalPathHead, 0) == 0
			&& Path.compare(Path.size() - LocalPathTail.size(), LocalPathTail.size(), LocalPathTail) == 0)
		{
			OutChatID = DecodePercent(Path.substr(LocalPathHead.size(), Path.size() - MinLength));
			return ERoute::LocalChat;
		}
		return ERoute::NotFound;
	}

	bool FRequestHandler::IsAuthorized(const httplib::Request& InRequest) const
	{
		return ApiKey.empty() || InRequest.get_header_value("Authorization") == "Bearer " + ApiKey;
	}

	void FRequestHandler::AnswerEcho(const httplib::Request& InRequest, httplib::Response& OutResponse) const
	{
		nlohmann::ordered_json Headers = nlohmann::ordered_json::object();
		for (const std::pair<const std::string, std::string>& Header : InRequest.headers)
		{
			if (IsLibraryHeader(Header.first))
			{
				continue;
			}
			// A header sent twice shows both values, joined as HTTP joins list values.
			nlohmann::ordered_json& Value = Headers[Header.first];
			Value = Value.is_string() ? Value.get<std::string>() + ", " + Header.second : Header.second;
		}
		const nlohmann::ordered_json Echo{{"method", InRequest.method}, {"path", InRequest.target},
			{"headers", std::move(Headers)}, {"body", InRequest.body}, {"body_size", InRequest.body.size()}};
		OutResponse.set_content(DumpJson(Echo), "application/json");
	}

	void FRequestHandler::AnswerChat(const httplib::Request& InRequest, const FScenario& InScenario, const bool bInLocal,
		const std::string& InChatID, httplib::Response& OutResponse)
	{
		nlohmann::json Body;
		FChatQuery Query;
		std::string Problem;
		if (!ParseBody(InRequest, OutResponse, Body))
		{
			return;
		}
		if (!ReadChatQuery(Body, Query, Problem))
		{
			AnswerError(OutResponse, 422, "Invalid Parameters: " + Problem, "invalid_request_error", "invalid_parameters");
			return;
		}
		Query.bLocal = bInLocal;
		Query.ChatID = InChatID;
		Query.bToolFragments = InScenario.Kind == EScenario::ToolFragments;
		if (!StallIfAsked(InScenario, Control))
		{
			return;
		}
		FAnswerText Text;
		if (InScenario.ToolPlay != EToolPlay::Off)
		{
			if (InScenario.ToolDelayMs > 0)
			{
				std::this_thread::sleep_for(std::chrono::milliseconds(InScenario.ToolDelayMs));
			}
			FToolTurn Turn = PlanToolTurn(Body, InScenario.ToolPlay);
			Query.ToolName.clear();
			Query.PlannedCalls = std::move(Turn.Calls);
			Text.Content = std::move(Turn.Text);
		}
		else
		{
			Text = MakeChatText(Query);
		}
		ReshapeText(InScenario, Text);
		const FAnswerShapes Shapes = ShapeChatAnswer(Query, Text, NextID("chatcmpl-"), MinPieceBytes(InScenario));
		DeliverAnswer(InScenario, Query.bStream, Shapes, OutResponse, Control);
	}

	void FRequestHandler::AnswerFim(const httplib::Request& InRequest, const FScenario& InScenario, httplib::Response& OutResponse)
	{
		nlohmann::json Body;
		FFimQuery Query;
		std::string Problem;
		if (!ParseBody(InRequest, OutResponse, Body))
		{
			return;
		}
		if (!ReadFimQuery(Body, Query, Problem))
		{
			AnswerError(OutResponse, 422, "Invalid Parameters: " + Problem, "invalid_request_error", "invalid_parameters");
			return;
		}
		if (!StallIfAsked(InScenario, Control))
		{
			return;
		}
		FAnswerText Text = MakeFimText(Query);
		ReshapeText(InScenario, Text);
		const FAnswerShapes Shapes = ShapeFimAnswer(Query, Text, NextID("cmpl-"), MinPieceBytes(InScenario));
		DeliverAnswer(InScenario, Query.bStream, Shapes, OutResponse, Control);
	}

	std::string FRequestHandler::NextID(const char* InPrefix)
	{
		return InPrefix + std::to_string(++AnswerCount);
	}
}
