#pragma once

#include "ReferenceServer.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace TalvaneReferenceTests
{
	/** A response read off the socket as it was framed: status line and headers, then each chunk. */
	struct FRawResponse
	{
		std::string Head;
		std::vector<std::string> Chunks; // payloads of the chunks of a chunked body
		std::string Body;                // de-chunked body (or the plain body)
		bool bChunked = false;
		bool bTerminated = false;        // the zero-length last chunk arrived
	};

	/** A fresh server on a free loopback port for every test. */
	class FServerTest : public ::testing::Test
	{
	protected:
		void SetUp() override;
		void TearDown() override;

		/** Starts another server with other options in place of the default one. */
		void Restart(const TalvaneReference::FServerOptions& InOptions);

		std::unique_ptr<httplib::Client> MakeClient() const;

		/** POSTs a JSON body with the bearer key and any extra headers. */
		httplib::Result Post(const std::string& InPath, const nlohmann::json& InBody, const httplib::Headers& InExtra = {}) const;

		/** Sends a request over a plain socket and reads until the server closes it. */
		FRawResponse PostRaw(const std::string& InPath, const std::string& InBody, const std::string& InExtraHeaders = "") const;

		std::unique_ptr<TalvaneReference::FReferenceServer> Server;
	};

	/** A cloud chat body with the given (role, content) messages. */
	nlohmann::json ChatBody(const std::vector<std::pair<std::string, std::string>>& InMessages, bool bInStream,
		const std::string& InModel = "nimbrel-chat");

	/** The "data:" payloads of a server-sent events body, in order (comments skipped). */
	std::vector<std::string> DataEvents(const std::string& InBody);

	/** Joins a field of every chunk's first choice ("content", "reasoning_content" of the delta, or "text"). */
	std::string JoinDeltas(const std::vector<std::string>& InEvents, const std::string& InField);

	/** The whole answer text of a chat completion body. */
	std::string WholeContent(const std::string& InBody);

	/** Reads the raw bytes of one exchange on a fresh connection, until the server closes it. */
	FRawResponse ExchangeRaw(int InPort, const std::string& InRequest);

	/** Opens a loopback connection to InPort; -1 on failure. */
	int ConnectLoopback(int InPort);
}
