#include "ReferenceServerTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace TalvaneReferenceTests
{
	namespace
	{
		/** Splits a chunked body into its chunk payloads; stops at the last chunk or at missing bytes. */
		void ParseChunks(const std::string& InBytes, FRawResponse& OutResponse)
		{
			size_t Offset = 0;
			while (Offset < InBytes.size())
			{
				const size_t LineEnd = InBytes.find("\r\n", Offset);
				if (LineEnd == std::string::npos)
				{
					return;
				}
				const size_t Size = std::stoul(InBytes.substr(Offset, LineEnd - Offset), nullptr, 16);
				if (Size == 0)
				{
					OutResponse.bTerminated = true;
					return;
				}
				if (LineEnd + 2 + Size > InBytes.size())
				{
					OutResponse.Body += InBytes.substr(LineEnd + 2);
					return;
				}
				OutResponse.Chunks.push_back(InBytes.substr(LineEnd + 2, Size));
				OutResponse.Body += OutResponse.Chunks.back();
				Offset = LineEnd + 2 + Size + 2;
			}
		}
	}

	void FServerTest::SetUp()
	{
		TalvaneReference::FServerOptions Options;
		Options.Threads = 16;
		Restart(Options);
	}

	void FServerTest::TearDown()
	{
		Server.reset();
	}

	void FServerTest::Restart(const TalvaneReference::FServerOptions& InOptions)
	{
		Server.reset();
		Server = std::make_unique<TalvaneReference::FReferenceServer>(InOptions);
		ASSERT_GT(Server->Start(), 0);
	}

	std::unique_ptr<httplib::Client> FServerTest::MakeClient() const
	{
		std::unique_ptr<httplib::Client> Client = std::make_unique<httplib::Client>("127.0.0.1", Server->GetPort());
		Client->set_read_timeout(30, 0);
		return Client;
	}

	httplib::Result FServerTest::Post(const std::string& InPath, const nlohmann::json& InBody, const httplib::Headers& InExtra) const
	{
		httplib::Headers Headers = InExtra;
		Headers.emplace("Authorization", "Bearer test-key");
		return MakeClient()->Post(InPath, Headers, InBody.dump(), "application/json");
	}

	FRawResponse FServerTest::PostRaw(const std::string& InPath, const std::string& InBody, const std::string& InExtraHeaders) const
	{
		const std::string Request = "POST " + InPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer test-key\r\n"
			"Content-Type: application/json\r\nConnection: close\r\nContent-Length: " + std::to_string(InBody.size()) + "\r\n"
			+ InExtraHeaders + "\r\n" + InBody;
		return ExchangeRaw(Server->GetPort(), Request);
	}

	nlohmann::json ChatBody(const std::vector<std::pair<std::string, std::string>>& InMessages, const bool bInStream,
		const std::string& InModel)
	{
		nlohmann::json Messages = nlohmann::json::array();
		for (const std::pair<std::string, std::string>& Message : InMessages)
		{
			Messages.push_back({{"content", Message.second}, {"role", Message.first}});
		}
		return {{"messages", Messages}, {"model", InModel}, {"stream", bInStream},
			{"stream_options", bInStream ? nlohmann::json{{"include_usage", false}} : nlohmann::json()},
			{"tools", nullptr}, {"tool_choice", "none"}, {"logprobs", false}, {"top_logprobs", nullptr}};
	}

	std::vector<std::string> DataEvents(const std::string& InBody)
	{
		std::vector<std::string> Events;
		size_t Start = 0;
		while (Start < InBody.size())
		{
			size_t End = InBody.find('\n', Start);
			End = End == std::string::npos ? InBody.size() : End;
			std::string Line = InBody.substr(Start, End - Start);
			if (!Line.empty() && Line.back() == '\r')
			{
				Line.pop_back();
			}
			if (Line.rfind("data: ", 0) == 0)
			{
				Events.push_back(Line.substr(6));
			}
			Start = End + 1;
		}
		return Events;
	}

	std::string JoinDeltas(const std::vector<std::string>& InEvents, const std::string& InField)
	{
		std::string Joined;
		for (const std::string& Event : InEvents)
		{
			const nlohmann::json Chunk = nlohmann::json::parse(Event, nullptr, false);
			if (Chunk.is_discarded() || !Chunk.contains("choices") || Chunk["choices"].empty())
			{
				continue;
			}
			const nlohmann::json& Choice = Chunk["choices"][0];
			const nlohmann::json& Source = Choice.contains("delta") ? Choice["delta"] : Choice;
			if (Source.contains(InField))
			{
				Joined += Source[InField].get<std::string>();
			}
		}
		return Joined;
	}

	std::string WholeContent(const std::string& InBody)
	{
		return nlohmann::json::parse(InBody)["choices"][0]["message"]["content"].get<std::string>();
	}

	int ConnectLoopback(const int InPort)
	{
		const int Socket = ::socket(AF_INET, SOCK_STREAM, 0);
		sockaddr_in Address{};
		Address.sin_family = AF_INET;
		Address.sin_port = htons(static_cast<uint16_t>(InPort));
		Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		if (::connect(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) != 0)
		{
			::close(Socket);
			return -1;
		}
		// Bounded reads: a server that never answers fails the test instead of hanging it.
		const timeval Timeout{30, 0};
		::setsockopt(Socket, SOL_SOCKET, SO_RCVTIMEO, &Timeout, sizeof(Timeout));
		return Socket;
	}

	FRawResponse ExchangeRaw(const int InPort, const std::string& InRequest)
	{
		FRawResponse Response;
		const int Socket = ConnectLoopback(InPort);
		if (Socket < 0 || ::send(Socket, InRequest.data(), InRequest.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(InRequest.size()))
		{
			ADD_FAILURE() << "cannot send to the reference server";
			return Response;
		}
		std::string Bytes;
		char Buffer[65536];
		for (ssize_t Received = 0; (Received = ::recv(Socket, Buffer, sizeof(Buffer), 0)) > 0;)
		{
			Bytes.append(Buffer, static_cast<size_t>(Received));
		}
		::close(Socket);

		const size_t HeadEnd = Bytes.find("\r\n\r\n");
		Response.Head = Bytes.substr(0, HeadEnd);
		const std::string Rest = HeadEnd == std::string::npos ? std::string() : Bytes.substr(HeadEnd + 4);
		Response.bChunked = Response.Head.find("Transfer-Encoding: chunked") != std::string::npos;
		if (Response.bChunked)
		{
			ParseChunks(Rest, Response);
		}
		else
		{
			Response.Body = Rest;
		}
		return Response;
	}
}
