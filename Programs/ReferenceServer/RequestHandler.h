#pragma once

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace TalvaneReference
{
	class FServerControl;
	struct FScenario;

	/** Routes every request of a reference server to its answer. */
	class FRequestHandler
	{
	public:
		FRequestHandler(const std::string& InApiKey, const std::string& InCloudPrefix, const FServerControl& InControl);

		/** Answers one request: the echo path, the cloud chat and FIM paths, the local chat path, or 404. */
		void Handle(const httplib::Request& InRequest, httplib::Response& OutResponse);

		/** The cloud prefix with a leading and a trailing slash. */
		static std::string NormalizePrefix(const std::string& InPrefix);

		/** Percent-decodes a path segment (RFC 3986); malformed escapes stay as they are. */
		static std::string DecodePercent(const std::string& InText);

	private:
		enum class ERoute : uint8_t
		{
			NotFound,
			Echo,
			CloudChat,
			Fim,
			LocalChat,
		};

		ERoute Route(const httplib::Request& InRequest, std::string& OutChatID) const;
		bool IsAuthorized(const httplib::Request& InRequest) const;
		void AnswerEcho(const httplib::Request& InRequest, httplib::Response& OutResponse) const;
		void AnswerChat(const httplib::Request& InRequest, const FScenario& InScenario, bool bInLocal,
			const std::string& InChatID, httplib::Response& OutResponse);
		void AnswerFim(const httplib::Request& InRequest, const FScenario& InScenario, httplib::Response& OutResponse);
		std::string NextID(const char* InPrefix);

		std::string ApiKey;
		std::string CloudPrefix;
		const FServerControl& Control;
		std::atomic<uint64_t> AnswerCount{0};
	};
}
