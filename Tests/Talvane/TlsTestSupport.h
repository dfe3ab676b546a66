#pragma once

// For the TLS tests: certificates made at test time with the openssl command line, and a TLS front
// for the reference server on loopback. The front ends TLS with one certificate and passes the bytes
// on, unchanged, to the plain reference server behind it, so the client gets the server's full answer
// over TLS, or, when it refuses the certificate, the server never sees a byte.

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace TalvaneTlsTest
{
	/** A scratch folder for the certificates of one test, removed with this object. */
	class FCertificateFolder
	{
	public:
		FCertificateFolder()
		{
			char Template[] = "/tmp/talvane-tls-XXXXXX";
			const char* Made = mkdtemp(Template);
			Path = Made ? Made : "";
		}
		~FCertificateFolder()
		{
			std::error_code Ignored;
			std::filesystem::remove_all(Path, Ignored);
		}

		/**
		 * Makes a self-signed certificate and its key, InName.pem and InName.key, for the names in
		 * InSubjectAltName (e.g. "IP:127.0.0.1"); false when the openssl program failed.
		 */
		bool MakeSelfSigned(const std::string& InName, const std::string& InSubjectAltName) const
		{
			const std::string Command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=talvane-test"
				" -addext subjectAltName=" + InSubjectAltName + " -keyout '" + File(InName + ".key") + "' -out '" + File(InName + ".pem")
				+ "' >/dev/null 2>&1";
			return !Path.empty() && std::system(Command.c_str()) == 0;
		}

		std::string File(const std::string& InName) const { return Path + "/" + InName; }

	private:
		std::string Path;
	};

	/** Ends TLS on 127.0.0.1 with one certificate and relays each connection to a plain port. */
	class FTlsFront
	{
	public:
		FTlsFront(const std::string& InCertificateFile, const std::string& InKeyFile, const int InTargetPort)
			: TargetPort(InTargetPort)
		{
			Context = SSL_CTX_new(TLS_server_method());
			bReady = Context && SSL_CTX_use_certificate_chain_file(Context, InCertificateFile.c_str()) == 1
				&& SSL_CTX_use_PrivateKey_file(Context, InKeyFile.c_str(), SSL_FILETYPE_PEM) == 1;
		}

		~FTlsFront()
		{
			Stop();
			SSL_CTX_free(Context);
		}

		/** Starts listening on a free loopback port and returns it; -1 on failure. */
		int Start()
		{
			ListenSocket = bReady ? socket(AF_INET, SOCK_STREAM, 0) : -1;
			sockaddr_in Address = LoopbackAddress(0);
			socklen_t Length = sizeof(Address);
			if (ListenSocket < 0 || bind(ListenSocket, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) != 0 || listen(ListenSocket, 64) != 0
				|| getsockname(ListenSocket, reinterpret_cast<sockaddr*>(&Address), &Length) != 0)
			{
				return -1;
			}
			AcceptThread = std::thread([this]() { AcceptLoop(); });
			return ntohs(Address.sin_port);
		}

		void Stop()
		{
			bStopping = true;
			if (AcceptThread.joinable())
			{
				AcceptThread.join();
			}
			std::vector<std::thread> Relays;
			{
				const std::lock_guard<std::mutex> Lock(Mutex);
				Relays.swap(RelayThreads);
			}
			for (std::thread& Relay : Relays)
			{
				Relay.join();
			}
			if (ListenSocket >= 0)
			{
				close(ListenSocket);
				ListenSocket = -1;
			}
		}

		/** Connections accepted. */
		int GetConnections() const { return Connections.load(); }
		/** Bytes of request that reached the server behind. */
		long GetBytesRelayed() const { return BytesRelayed.load(); }

	private:
		static sockaddr_in LoopbackAddress(const int InPort)
		{
			sockaddr_in Address{};
			Address.sin_family = AF_INET;
			Address.sin_port = htons(static_cast<uint16_t>(InPort));
			Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
			return Address;
		}

		void AcceptLoop()
		{
			while (!bStopping)
			{
				pollfd Wait{ListenSocket, POLLIN, 0};
				if (poll(&Wait, 1, 20) <= 0)
				{
					continue;
				}
				const int Client = accept(ListenSocket, nullptr, nullptr);
				if (Client >= 0)
				{
					++Connections;
					const std::lock_guard<std::mutex> Lock(Mutex);
					RelayThreads.emplace_back([this, Client]() { Serve(Client); });
				}
			}
		}

		void Serve(const int InClient)
		{
			// A short receive time-out keeps a silent client from holding the handshake forever.
			timeval Timeout{5, 0};
			setsockopt(InClient, SOL_SOCKET, SO_RCVTIMEO, &Timeout, sizeof(Timeout));
			SSL* Tls = SSL_new(Context);
			SSL_set_fd(Tls, InClient);
			// A client that refuses the certificate ends the handshake, or (TLS 1.3) closes right after it.
			if (SSL_accept(Tls) == 1)
			{
				Relay(Tls, InClient);
				SSL_shutdown(Tls);
			}
			SSL_free(Tls);
			close(InClient);
		}

		void Relay(SSL* InTls, const int InClient)
		{
			const int Server = socket(AF_INET, SOCK_STREAM, 0);
			const sockaddr_in Address = LoopbackAddress(TargetPort);
			if (Server < 0 || connect(Server, reinterpret_cast<const sockaddr*>(&Address), sizeof(Address)) != 0)
			{
				if (Server >= 0)
				{
					close(Server);
				}
				return;
			}
			char Buffer[16384];
			bool bOpen = true;
			while (bOpen && !bStopping)
			{
				pollfd Waits[2] = {{InClient, POLLIN, 0}, {Server, POLLIN, 0}};
				if (SSL_pending(InTls) == 0 && poll(Waits, 2, 20) <= 0)
				{
					continue;
				}
				if (SSL_pending(InTls) > 0 || (Waits[0].revents & (POLLIN | POLLHUP | POLLERR)))
				{
					const int Read = SSL_read(InTls, Buffer, sizeof(Buffer));
					bOpen = Read > 0 && send(Server, Buffer, static_cast<size_t>(Read), MSG_NOSIGNAL) == Read;
					BytesRelayed += Read > 0 ? Read : 0;
				}
				if (bOpen && (Waits[1].revents & (POLLIN | POLLHUP | POLLERR)))
				{
					const ssize_t Read = recv(Server, Buffer, sizeof(Buffer), 0);
					bOpen = Read > 0 && SSL_write(InTls, Buffer, static_cast<int>(Read)) == Read;
				}
			}
			close(Server);
		}

		SSL_CTX* Context = nullptr;
		bool bReady = false;
		int TargetPort = 0;
		int ListenSocket = -1;
		std::atomic<bool> bStopping{false};
		std::atomic<int> Connections{0};
		std::atomic<long> BytesRelayed{0};
		std::thread AcceptThread;
		std::mutex Mutex;
		std::vector<std::thread> RelayThreads;
	};
}
