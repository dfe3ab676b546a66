// Answers of the reference server: whole and streamed chat, reasoning, tools, log probabilities,
// local chat, fill-in-the-middle, the echo path, authentication and malformed requests.

#include "ReferenceServerTestSupport.h"

#include <map>

using namespace TalvaneReferenceTests;
using FJson = nlohmann::json;

namespace
{
	const std::vector<std::pair<std::string, std::string>> Conversation = {
		{"system", "Be brief"}, {"user", "Hello there"}, {"assistant", "Echo: Hello there"}, {"user", "How are you?"}};

	class FAnswerTest : public FServerTest
	{
	};

	TEST_F(FAnswerTest, WholeChatEchoesTheWholeConversation)
	{
		const httplib::Result Result = Post("/chat/completions", ChatBody(Conversation, false));
		ASSERT_TRUE(Result);
		EXPECT_EQ(Result->status, 200);
		EXPECT_EQ(Result->get_header_value("Content-Type"), "application/json");
		const FJson Body = FJson::parse(Result->body);
		EXPECT_EQ(Body["object"], "chat.completion");
		EXPECT_EQ(Body["model"], "nimbrel-chat");
		EXPECT_EQ(Body["choices"][0]["message"]["role"], "assistant");
		EXPECT_EQ(Body["choices"][0]["message"]["content"], "Echo: How are you? (turn 2, 4 messages) [system: Be brief]");
		EXPECT_FALSE(Body["choices"][0]["message"].contains("reasoning_content"));
		EXPECT_FALSE(Body["choices"][0]["message"].contains("tool_calls"));
		EXPECT_EQ(Body["choices"][0]["finish_reason"], "stop");
		EXPECT_TRUE(Body["choices"][0]["logprobs"].is_null());
		const FJson& Usage = Body["usage"];
		// Words of the four messages: 2 + 2 + 3 + 3.
		EXPECT_EQ(Usage["prompt_tokens"], 10);
		EXPECT_EQ(Usage["prompt_cache_miss_tokens"], 10);
		// Words of the answer: Echo: How are you? (turn 2, 4 messages) [system: Be brief]
		EXPECT_EQ(Usage["completion_tokens"], 11);
		EXPECT_EQ(Usage["total_tokens"], 21);
		EXPECT_EQ(Usage["completion_tokens_details"]["reasoning_tokens"], 0);
	}

	TEST_F(FAnswerTest, StreamedDeltasJoinToTheWholeText)
	{
		const std::string Whole = WholeContent(Post("/chat/completions", ChatBody(Conversation, false))->body);
		FJson Request = ChatBody(Conversation, true);
		Request["stream_options"]["include_usage"] = true;
		const httplib::Result Result = Post("/chat/completions", Request);
		ASSERT_TRUE(Result);
		EXPECT_EQ(Result->get_header_value("Content-Type"), "text/event-stream");
		const std::vector<std::string> Events = DataEvents(Result->body);
		ASSERT_GE(Events.size(), 5u);
		EXPECT_EQ(JoinDeltas(Events, "content"), Whole);

		const FJson First = FJson::parse(Events.front());
		EXPECT_EQ(First["object"], "chat.completion.chunk");
		EXPECT_EQ(First["choices"][0]["delta"], FJson({{"role", "assistant"}, {"content", ""}}));
		// Event order at the end: the finishing chunk, the usage chunk, then the end marker.
		const FJson Finish = FJson::parse(Events[Events.size() - 3]);
		EXPECT_EQ(Finish["choices"][0]["finish_reason"], "stop");
		EXPECT_TRUE(Finish["choices"][0]["delta"].empty());
		const FJson Usage = FJson::parse(Events[Events.size() - 2]);
		EXPECT_TRUE(Usage["choices"].empty());
		EXPECT_EQ(Usage["usage"]["total_tokens"], 21);
		EXPECT_EQ(Events.back(), "[DONE]");
		EXPECT_EQ(Result->body.substr(Result->body.size() - 14), "data: [DONE]\n\n");
	}

	TEST_F(FAnswerTest, StreamWithoutUsageHasNoUsageChunk)
	{
		const std::vector<std::string> Events = DataEvents(Post("/chat/completions", ChatBody({{"user", "Hi"}}, true))->body);
		ASSERT_GE(Events.size(), 3u);
		EXPECT_EQ(FJson::parse(Events[Events.size() - 2])["choices"][0]["finish_reason"], "stop");
		for (const std::string& Event : Events)
		{
			EXPECT_EQ(Event.find("\"usage\""), std::string::npos) << Event;
		}
	}

	TEST_F(FAnswerTest, ReasonerSendsItsReasoningBeforeTheAnswer)
	{
		const FJson Request = ChatBody({{"user", "Why?"}}, true, "nimbrel-reasoner");
		const std::vector<std::string> Events = DataEvents(Post("/chat/completions", Request)->body);
		EXPECT_EQ(JoinDeltas(Events, "reasoning_content"), "Thinking about \"Why?\".");
		EXPECT_EQ(JoinDeltas(Events, "content"), "Echo: Why? (turn 1, 1 message)");
		bool bContentSeen = false;
		for (const std::string& Event : Events)
		{
			const FJson Chunk = FJson::parse(Event, nullptr, false);
			if (Chunk.is_discarded() || Chunk["choices"].empty())
			{
				continue;
			}
			const FJson& Delta = Chunk["choices"][0]["delta"];
			bContentSeen = bContentSeen || (Delta.contains("content") && !Delta["content"].get<std::string>().empty());
			EXPECT_FALSE(bContentSeen && Delta.contains("reasoning_content")) << "reasoning after content: " << Event;
		}

		const FJson Whole = FJson::parse(Post("/chat/completions", ChatBody({{"user", "Why?"}}, false, "nimbrel-reasoner"))->body);
		EXPECT_EQ(Whole["choices"][0]["message"]["reasoning_content"], "Thinking about \"Why?\".");
		EXPECT_EQ(Whole["usage"]["completion_tokens_details"]["reasoning_tokens"], 3);
	}

	TEST_F(FAnswerTest, OfferedToolsAreCalledUnlessTheChoiceIsNone)
	{
		FJson Request = ChatBody({{"user", "Time?"}}, false);
		Request["tools"] = FJson::array({{{"type", "function"}, {"function", {{"name", "get_time"}, {"description", ""}}}},
			{{"type", "function"}, {"function", {{"name", "get_date"}, {"description", ""}}}}});
		Request["tool_choice"] = "auto";
		const FJson Whole = FJson::parse(Post("/chat/completions", Request)->body);
		const FJson& Calls = Whole["choices"][0]["message"]["tool_calls"];
		ASSERT_EQ(Calls.size(), 1u);
		EXPECT_EQ(Calls[0], FJson({{"id", "call_0"}, {"type", "function"}, {"function", {{"name", "get_time"}, {"arguments", "{}"}}}}));
		EXPECT_EQ(Whole["choices"][0]["finish_reason"], "tool_calls");

		Request["stream"] = true;
		const std::vector<std::string> Events = DataEvents(Post("/chat/completions", Request)->body);
		ASSERT_GE(Events.size(), 3u);
		EXPECT_EQ(FJson::parse(Events[Events.size() - 3])["choices"][0]["delta"]["tool_calls"][0]["function"]["name"], "get_time");
		EXPECT_EQ(FJson::parse(Events[Events.size() - 2])["choices"][0]["finish_reason"], "tool_calls");

		const std::vector<std::string> Fragments = DataEvents(Post("/chat/completions", Request, {{"X-Talvane-Scenario", "tool-fragments"}})->body);
		std::map<int, std::string> Arguments;
		int FragmentEvents = 0;
		for (const std::string& Event : Fragments)
		{
			if (Event == "[DONE]")
			{
				continue;
			}
			const FJson Delta = FJson::parse(Event)["choices"][0]["delta"];
			for (const FJson& Fragment : Delta.value("tool_calls", FJson::array()))
			{
				++FragmentEvents;
				Arguments[Fragment["index"].get<int>()] += Fragment["function"].value("arguments", "");
			}
		}
		EXPECT_EQ(FragmentEvents, 5);
		EXPECT_EQ(Arguments[0], "{\"zone\":\"UTC\"}");
		EXPECT_EQ(Arguments[1], "{}");

		Request["stream"] = false;
		Request["tool_choice"] = "none";
		const FJson Declined = FJson::parse(Post("/chat/completions", Request)->body);
		EXPECT_FALSE(Declined["choices"][0]["message"].contains("tool_calls"));
		EXPECT_EQ(Declined["choices"][0]["finish_reason"], "stop");
	}

	TEST_F(FAnswerTest, LogprobsCoverEveryTokenAndCapTheAlternatives)
	{
		FJson Request = ChatBody({{"user", "Grüße"}}, false);
		Request["logprobs"] = true;
		Request["top_logprobs"] = 2;
		const FJson Whole = FJson::parse(Post("/chat/completions", Request)->body);
		const FJson& Content = Whole["choices"][0]["logprobs"]["content"];
		std::string Joined;
		for (const FJson& Entry : Content)
		{
			const std::string Token = Entry["token"];
			Joined += Token;
			ASSERT_EQ(Entry["bytes"].size(), Token.size());
			for (size_t Index = 0; Index < Token.size(); ++Index)
			{
				EXPECT_EQ(Entry["bytes"][Index], static_cast<int>(static_cast<unsigned char>(Token[Index])));
			}
			ASSERT_EQ(Entry["top_logprobs"].size(), 2u);
			EXPECT_EQ(Entry["top_logprobs"][0]["token"], Token);
		}
		EXPECT_EQ(Joined, Whole["choices"][0]["message"]["content"]);

		Request["top_logprobs"] = 0;
		const FJson NoAlternatives = FJson::parse(Post("/chat/completions", Request)->body);
		EXPECT_TRUE(NoAlternatives["choices"][0]["logprobs"]["content"][0]["top_logprobs"].empty());
	}

	TEST_F(FAnswerTest, LocalChatQuotesTheDecodedChatIdentifier)
	{
		const FJson Request = {{"messages", {{{"role", "user"}, {"content", "Hi"}}}}, {"model", "my-local-model"}, {"stream", false}};
		const httplib::Result Result = Post("/api/v1/chats_openai/room%2042%2Fa/chat/completions", Request);
		ASSERT_TRUE(Result);
		const FJson Whole = FJson::parse(Result->body);
		EXPECT_EQ(Whole["model"], "my-local-model");
		EXPECT_EQ(Whole["choices"][0]["message"]["content"], "Echo: Hi (turn 1, 1 message) [chat: room 42/a]");

		FJson Streamed = Request;
		Streamed["stream"] = true;
		const std::vector<std::string> Events = DataEvents(Post("/api/v1/chats_openai//chat/completions", Streamed)->body);
		EXPECT_EQ(JoinDeltas(Events, "content"), "Echo: Hi (turn 1, 1 message) [chat: ]");
	}

	TEST_F(FAnswerTest, FillInTheMiddleWholeStreamedAndEchoed)
	{
		FJson Request = {{"model", "nimbrel-chat"}, {"prompt", "def f("}, {"echo", false}, {"logprobs", 0},
			{"stream", false}, {"stream_options", nullptr}, {"suffix", "):"}};
		const FJson Whole = FJson::parse(Post("/beta/completions", Request)->body);
		EXPECT_EQ(Whole["object"], "text_completion");
		EXPECT_EQ(Whole["choices"][0]["text"], "[fill between \"def f(\" and \"):\"]");
		EXPECT_TRUE(Whole["choices"][0]["logprobs"].is_null());

		Request["echo"] = true;
		Request["logprobs"] = 3;
		const FJson Echoed = FJson::parse(Post("/beta/completions", Request)->body);
		const std::string Text = Echoed["choices"][0]["text"];
		EXPECT_EQ(Text, "def f([fill between \"def f(\" and \"):\"]");
		const FJson& Logprobs = Echoed["choices"][0]["logprobs"];
		EXPECT_EQ(Logprobs["tokens"].size(), Logprobs["text_offset"].size());
		EXPECT_EQ(Logprobs["tokens"].size(), Logprobs["logprobs"].size());
		EXPECT_EQ(Logprobs["text_offset"].back().get<size_t>() + Logprobs["tokens"].back().get<std::string>().size(), Text.size());

		Request["stream"] = true;
		const std::vector<std::string> Events = DataEvents(Post("/beta/completions", Request)->body);
		EXPECT_EQ(JoinDeltas(Events, "text"), Text);
		EXPECT_EQ(Events.back(), "[DONE]");
	}

	TEST_F(FAnswerTest, EchoPathReflectsWhatWasSent)
	{
		const httplib::Headers Headers = {{"X-Custom-Thing", "Value 1"}, {"bStream", "1"}};
		const httplib::Result Result = MakeClient()->Put("/echo?a=1", Headers, "body \"text\"", "text/plain");
		ASSERT_TRUE(Result);
		EXPECT_EQ(Result->status, 200);
		const FJson Echo = FJson::parse(Result->body);
		EXPECT_EQ(Echo["method"], "PUT");
		EXPECT_EQ(Echo["path"], "/echo?a=1");
		EXPECT_EQ(Echo["headers"]["X-Custom-Thing"], "Value 1");
		EXPECT_EQ(Echo["headers"]["bStream"], "1");
		EXPECT_EQ(Echo["headers"]["Content-Type"], "text/plain");
		EXPECT_FALSE(Echo["headers"].contains("REMOTE_ADDR"));
		EXPECT_EQ(Echo["body"], "body \"text\"");
		EXPECT_EQ(Echo["body_size"], 11);

		const FJson Empty = FJson::parse(MakeClient()->Get("/echo")->body);
		EXPECT_EQ(Empty["method"], "GET");
		EXPECT_EQ(Empty["body_size"], 0);
	}

	TEST_F(FAnswerTest, ChatPathsDemandTheBearerKey)
	{
		const FJson Expected = {{"error", {{"message", "Authentication Fails (invalid api key)"}, {"type", "authentication_error"},
			{"param", nullptr}, {"code", "invalid_request_error"}}}};
		const std::string Body = ChatBody({{"user", "Hi"}}, false).dump();
		for (const std::string Path : {"/chat/completions", "/beta/completions", "/api/v1/chats_openai/x/chat/completions"})
		{
			const httplib::Result Missing = MakeClient()->Post(Path, Body, "application/json");
			ASSERT_TRUE(Missing);
			EXPECT_EQ(Missing->status, 401) << Path;
			EXPECT_EQ(FJson::parse(Missing->body), Expected) << Path;
			const httplib::Result Wrong = MakeClient()->Post(Path, {{"Authorization", "Bearer other"}}, Body, "application/json");
			EXPECT_EQ(Wrong->status, 401) << Path;
		}
	}

	TEST_F(FAnswerTest, MalformedRequestsGetErrorBodies)
	{
		const httplib::Headers Auth = {{"Authorization", "Bearer test-key"}};
		const httplib::Result BadJson = MakeClient()->Post("/chat/completions", Auth, "{\"messages\":[", "application/json");
		EXPECT_EQ(BadJson->status, 400);
		EXPECT_TRUE(FJson::parse(BadJson->body)["error"].contains("message"));

		const httplib::Result NoMessages = MakeClient()->Post("/chat/completions", Auth, "{\"model\":\"nimbrel-chat\"}", "application/json");
		EXPECT_EQ(NoMessages->status, 422);
		const httplib::Result NoPrompt = MakeClient()->Post("/beta/completions", Auth, "{\"model\":\"nimbrel-chat\"}", "application/json");
		EXPECT_EQ(NoPrompt->status, 422);

		const httplib::Result Unknown = MakeClient()->Post("/v2/chat/completions", Auth, "{}", "application/json");
		EXPECT_EQ(Unknown->status, 404);
		EXPECT_EQ(FJson::parse(Unknown->body)["error"]["code"], "not_found");
		const httplib::Result WrongVerb = MakeClient()->Get("/chat/completions", Auth);
		EXPECT_EQ(WrongVerb->status, 404);
	}
}
