// Fault scenarios chosen with "X-Talvane-Scenario": error statuses, framing oddities, cut and
// paced streams, huge answers.

#include "ReferenceServerTestSupport.h"

using namespace TalvaneReferenceTests;
using FJson = nlohmann::json;

namespace
{
	class FScenarioTest : public FServerTest
	{
	protected:
		httplib::Result PostScenario(const std::string& InScenario, const bool bInStream, const httplib::Headers& InExtra = {}) const
		{
			httplib::Headers Headers = InExtra;
			Headers.emplace("X-Talvane-Scenario", InScenario);
			return Post("/chat/completions", ChatBody({{"user", "hi"}}, bInStream), Headers);
		}

		FRawResponse PostScenarioRaw(const std::string& InScenario, const bool bInStream, const std::string& InExtra = "") const
		{
			return PostRaw("/chat/completions", ChatBody({{"user", "hi"}}, bInStream).dump(),
				"X-Talvane-Scenario: " + InScenario + "\r\n" + InExtra);
		}
	};

	bool StartsInsideACharacter(const std::string& InBytes)
	{
		return !InBytes.empty() && (static_cast<unsigned char>(InBytes.front()) & 0xC0) == 0x80;
	}

	TEST_F(FScenarioTest, StatusScenariosAnswerWithCloudErrorBodies)
	{
		for (const int Status : {400, 401, 402, 422, 429, 500, 503})
		{
			for (const bool bStream : {false, true})
			{
				const httplib::Result Result = PostScenario("status-" + std::to_string(Status), bStream);
				ASSERT_TRUE(Result);
				EXPECT_EQ(Result->status, Status);
				const FJson Body = FJson::parse(Result->body);
				EXPECT_NE(Body["error"]["message"].get<std::string>().find(std::to_string(Status)), std::string::npos);
				EXPECT_TRUE(Body["error"]["type"].is_string());
				EXPECT_TRUE(Body["error"]["param"].is_null());
				EXPECT_TRUE(Body["error"]["code"].is_string());
			}
		}
	}

	TEST_F(FScenarioTest, SlowServerErrorArrivesInTwoSlices)
	{
		const FRawResponse Response = PostScenarioRaw("status-500-slow", false, "X-Talvane-Delay-Ms: 1\r\n");
		EXPECT_EQ(Response.Head.rfind("HTTP/1.1 500", 0), 0u) << Response.Head;
		EXPECT_EQ(Response.Chunks.size(), 2u);
		EXPECT_TRUE(Response.bTerminated);
		EXPECT_EQ(FJson::parse(Response.Body)["error"]["code"], "internal_error");
	}

	TEST_F(FScenarioTest, SplitStreamCutsCharactersButReassemblesExactly)
	{
		// A client that accepts gzip must still get the bytes uncompressed and sliced.
		const FRawResponse Response = PostScenarioRaw("split", true, "X-Talvane-Delay-Ms: 0\r\nAccept-Encoding: gzip, deflate\r\n");
		EXPECT_EQ(Response.Head.find("Content-Encoding"), std::string::npos);
		ASSERT_TRUE(Response.bTerminated);
		bool bCharacterCut = false;
		for (const std::string& Chunk : Response.Chunks)
		{
			EXPECT_LE(Chunk.size(), 7u);
			bCharacterCut = bCharacterCut || StartsInsideACharacter(Chunk);
		}
		EXPECT_TRUE(bCharacterCut);
		const std::vector<std::string> Events = DataEvents(Response.Body);
		EXPECT_EQ(JoinDeltas(Events, "content"), "Echo: hi (turn 1, 1 message) 你好，世界。🙂");
		EXPECT_EQ(Events.back(), "[DONE]");

		const FRawResponse Whole = PostScenarioRaw("split", false, "X-Talvane-Delay-Ms: 0\r\n");
		EXPECT_GT(Whole.Chunks.size(), 10u);
		EXPECT_EQ(WholeContent(Whole.Body), "Echo: hi (turn 1, 1 message) 你好，世界。🙂");
	}

	TEST_F(FScenarioTest, DropClosesWithoutTheLastChunk)
	{
		const FRawResponse Response = PostScenarioRaw("drop", true);
		EXPECT_EQ(Response.Head.rfind("HTTP/1.1 200", 0), 0u);
		EXPECT_FALSE(Response.bTerminated);
		const std::vector<std::string> Events = DataEvents(Response.Body);
		EXPECT_EQ(Events.size(), 3u);
		EXPECT_EQ(Response.Body.find("[DONE]"), std::string::npos);

		const FRawResponse Whole = PostScenarioRaw("drop", false);
		EXPECT_FALSE(Whole.bTerminated);
		EXPECT_TRUE(FJson::parse(Whole.Body, nullptr, false).is_discarded());
		EXPECT_FALSE(PostScenario("drop", true)) << "a client must see the cut stream as an error";
	}

	TEST_F(FScenarioTest, FramingVariantsCarryTheSameText)
	{
		const std::string Expected = "Echo: hi (turn 1, 1 message)";
		const httplib::Headers Fast = {{"X-Talvane-Delay-Ms", "1"}};
		for (const std::string Scenario : {"trickle", "keepalive", "crlf", "no-done", "ping-lines", "unknown-name"})
		{
			const httplib::Result Result = PostScenario(Scenario, true, Fast);
			ASSERT_TRUE(Result) << Scenario;
			EXPECT_EQ(JoinDeltas(DataEvents(Result->body), "content"), Expected) << Scenario;
			EXPECT_EQ(Result->body.find("data: [DONE]") != std::string::npos, Scenario != "no-done") << Scenario;
			EXPECT_EQ(Result->body.find(": keep-alive\n\n") != std::string::npos, Scenario == "keepalive") << Scenario;
			EXPECT_EQ(Result->body.find("data: ping\n") != std::string::npos, Scenario == "ping-lines") << Scenario;
			EXPECT_TRUE(Scenario != "ping-lines" || Result->body.find("\n\n") == std::string::npos) << "a blank line in " << Scenario;
		}

		const std::string Crlf = PostScenario("crlf", true)->body;
		EXPECT_EQ(Crlf.substr(Crlf.size() - 16), "data: [DONE]\r\n\r\n");
		for (size_t Index = Crlf.find('\n'); Index != std::string::npos; Index = Crlf.find('\n', Index + 1))
		{
			ASSERT_EQ(Crlf[Index - 1], '\r') << "bare line feed at " << Index;
		}
	}

	TEST_F(FScenarioTest, DataMarkerInsideTheAnswerText)
	{
		const std::string Expected = "Echo: data: is not a marker, hi (turn 1, 1 message)";
		EXPECT_EQ(JoinDeltas(DataEvents(PostScenario("data-in-text", true)->body), "content"), Expected);
		EXPECT_EQ(WholeContent(PostScenario("data-in-text", false)->body), Expected);
	}

	TEST_F(FScenarioTest, HugeAnswersReachTheAskedSize)
	{
		const httplib::Headers Size = {{"X-Talvane-Size", "300000"}};
		const std::string Streamed = JoinDeltas(DataEvents(PostScenario("huge", true, Size)->body), "content");
		EXPECT_GE(Streamed.size(), 300000u);
		EXPECT_EQ(Streamed.rfind("Echo: hi (turn 1, 1 message) word1 word2 ", 0), 0u);
		EXPECT_EQ(WholeContent(PostScenario("huge", false, Size)->body), Streamed);
	}

	TEST_F(FScenarioTest, WholeJsonAnswersAStreamedRequest)
	{
		const httplib::Result Result = PostScenario("whole-json", true);
		EXPECT_EQ(Result->get_header_value("Content-Type"), "application/json");
		EXPECT_EQ(FJson::parse(Result->body)["object"], "chat.completion");
	}

	TEST_F(FScenarioTest, ErrorEventFollowsTwoContentEvents)
	{
		const std::vector<std::string> Events = DataEvents(PostScenario("error-event", true)->body);
		ASSERT_EQ(Events.size(), 5u);
		EXPECT_EQ(JoinDeltas({Events[1], Events[2]}, "content"), "Echo: hi");
		EXPECT_EQ(FJson::parse(Events[3]), FJson::parse(R"({"error":{"message":"stream interrupted","type":"server_error","param":null,"code":"internal_error"}})"));
		EXPECT_EQ(Events[4], "[DONE]");
	}

	TEST_F(FScenarioTest, RefusalIsTheLocalServersRefusalBody)
	{
		const httplib::Result Result = PostScenario("refusal", true);
		EXPECT_EQ(Result->status, 200);
		EXPECT_EQ(Result->body, R"({"code":1001,"message":"chat refused"})");
	}

	TEST_F(FScenarioTest, ShortStallsEndInTheNormalAnswer)
	{
		const httplib::Headers Short = {{"X-Talvane-Stall-Ms", "30"}};
		EXPECT_EQ(WholeContent(PostScenario("stall", false, Short)->body), "Echo: hi (turn 1, 1 message)");
		const FRawResponse Response = PostScenarioRaw("stall-after-headers", true, "X-Talvane-Stall-Ms: 30\r\n");
		EXPECT_TRUE(Response.bTerminated);
		EXPECT_EQ(JoinDeltas(DataEvents(Response.Body), "content"), "Echo: hi (turn 1, 1 message)");
	}
}
