// Life of a reference server: addresses, many concurrent streams, kept-alive connections, and a
// prompt stop while requests stall.

#include "ReferenceServerTestSupport.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace TalvaneReferenceTests;
using FJson = nlohmann::json;

namespace
{
	class FServerLifeTest : public FServerTest
	{
	};

	/** Sends a request whose answer stalls for ten minutes; returns the open socket. */
	int SendStalledRequest(const int InPort, const std::string& InScenario)
	{
		const std::string Body = ChatBody({{"user", "wait"}}, true).dump();
		const std::string Request = "POST /chat/completions HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer test-key\r\n"
			"X-Talvane-Scenario: " + InScenario + "\r\nX-Talvane-Stall-Ms: 600000\r\nContent-Length: "
			+ std::to_string(Body.size()) + "\r\n\r\n" + Body;
		const int Socket = ConnectLoopback(InPort);
		EXPECT_GE(Socket, 0);
		EXPECT_EQ(::send(Socket, Request.data(), Request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(Request.size()));
		return Socket;
	}

	/** Reads until the server closes the connection (or the 30-second receive limit fails the read). */
	std::string ReadUntilClosed(const int InSocket, bool& bOutClosed)
	{
		std::string Bytes;
		char Buffer[4096];
		ssize_t Received = 0;
		while ((Received = ::recv(InSocket, Buffer, sizeof(Buffer), 0)) > 0)
		{
			Bytes.append(Buffer, static_cast<size_t>(Received));
		}
		bOutClosed = Received == 0;
		return Bytes;
	}

	TEST_F(FServerLifeTest, AddressesFollowTheOptions)
	{
		TalvaneReference::FServerOptions Options;
		Options.CloudPrefix = "v1";
		Options.ApiKey = "";
		Options.Threads = 4;
		Restart(Options);
		const std::string Port = std::to_string(Server->GetPort());
		EXPECT_EQ(Server->GetBaseURL(), "http://127.0.0.1:" + Port + "/v1/");
		EXPECT_EQ(Server->GetHostPort(), "127.0.0.1:" + Port);

		const std::string Body = ChatBody({{"user", "Hi"}}, false).dump();
		const httplib::Result Prefixed = MakeClient()->Post("/v1/chat/completions", Body, "application/json");
		ASSERT_TRUE(Prefixed);
		EXPECT_EQ(Prefixed->status, 200) << "no key configured: no key needed";
		EXPECT_EQ(MakeClient()->Post("/chat/completions", Body, "application/json")->status, 404);

		Server->Stop();
		Server->Stop();
		EXPECT_EQ(Server->GetPort(), -1);
		EXPECT_FALSE(httplib::Client("127.0.0.1", std::stoi(Port)).Get("/echo"));
	}

	TEST_F(FServerLifeTest, TwoHundredConcurrentStreamsAllComplete)
	{
		TalvaneReference::FServerOptions Options;
		Restart(Options);
		constexpr int StreamCount = 200;
		std::atomic<int> Completed{0};
		std::vector<std::thread> Clients;
		for (int Index = 0; Index < StreamCount; ++Index)
		{
			Clients.emplace_back([this, Index, &Completed]()
			{
				const std::string Question = "question " + std::to_string(Index);
				const httplib::Result Result = Post("/chat/completions", ChatBody({{"user", Question}}, true),
					{{"X-Talvane-Scenario", "trickle"}, {"X-Talvane-Delay-Ms", "5"}});
				if (Result && Result->status == 200
					&& JoinDeltas(DataEvents(Result->body), "content") == "Echo: " + Question + " (turn 1, 1 message)")
				{
					++Completed;
				}
			});
		}
		for (std::thread& Client : Clients)
		{
			Client.join();
		}
		EXPECT_EQ(Completed.load(), StreamCount);
	}

	TEST_F(FServerLifeTest, KeptAliveConnectionServesManyRequestsAndStillStops)
	{
		httplib::Client Client("127.0.0.1", Server->GetPort());
		Client.set_keep_alive(true);
		const httplib::Headers Auth = {{"Authorization", "Bearer test-key"}};
		for (int Turn = 1; Turn <= 3; ++Turn)
		{
			const std::string Body = ChatBody({{"user", "turn " + std::to_string(Turn)}}, Turn % 2 == 0).dump();
			const httplib::Result Result = Client.Post("/chat/completions", Auth, Body, "application/json");
			ASSERT_TRUE(Result);
			EXPECT_EQ(Result->status, 200);
		}
		// The connection is idle but open; stopping must not wait for the client to close it.
		Server->Stop();
		EXPECT_EQ(Server->GetPort(), -1);
	}

	TEST_F(FServerLifeTest, StopCutsStalledRequestsPromptly)
	{
		const int Stalled = SendStalledRequest(Server->GetPort(), "stall");
		const int AfterHeaders = SendStalledRequest(Server->GetPort(), "stall-after-headers");
		// Wait for the first event of the second request, so both handlers are surely stalling.
		char First[256];
		ASSERT_GT(::recv(AfterHeaders, First, sizeof(First), 0), 0);

		// The stalls last ten minutes; a stop that waited for them would run into the test timeout.
		Server->Stop();

		bool bClosed = false;
		EXPECT_EQ(ReadUntilClosed(Stalled, bClosed), "") << "a stalled request gets no byte at all";
		EXPECT_TRUE(bClosed);
		const std::string Rest = ReadUntilClosed(AfterHeaders, bClosed);
		EXPECT_TRUE(bClosed);
		EXPECT_EQ(Rest.find("0\r\n\r\n"), std::string::npos) << "the cut stream has no last chunk";
		::close(Stalled);
		::close(AfterHeaders);
	}

	TEST_F(FServerLifeTest, AStallEndsWhenItsClientLeaves)
	{
		TalvaneReference::FServerOptions Options;
		Options.Threads = 1;
		Restart(Options);
		const int Stalled = SendStalledRequest(Server->GetPort(), "stall");
		::close(Stalled);
		// With a single worker, this request is served only once the stall has noticed its client left.
		const httplib::Result Result = Post("/chat/completions", ChatBody({{"user", "next"}}, false));
		ASSERT_TRUE(Result);
		EXPECT_EQ(WholeContent(Result->body), "Echo: next (turn 1, 1 message)");
	}
}
