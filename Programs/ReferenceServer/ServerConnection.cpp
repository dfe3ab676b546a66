#include "ServerConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace TalvaneReference
{
	namespace
	{
		thread_local int GCurrentSocket = -1;

		constexpr int WaitSliceMs = 25;
		constexpr int ReadTimeoutMs = 5000;
		constexpr int WriteTimeoutMs = 5000;
		constexpr time_t KeepAliveTimeoutSeconds = 5;
		constexpr int KeepAliveTimeoutMs = KeepAliveTimeoutSeconds * 1000;
		constexpr size_t MaxRequestsPerConnection = 100;

		/** Polls InSocket for InEvents in short slices, giving up after InTimeoutMs or when the server stops. */
		bool WaitForSocket(const FServerControl& InControl, const int InSocket, const short InEvents, const int InTimeoutMs)
		{
			for (int Waited = 0; Waited < InTimeoutMs && !InControl.IsStopping(); Waited += WaitSliceMs)
			{
				pollfd Poll{InSocket, InEvents, 0};
				const int Ready = ::poll(&Poll, 1, std::min(WaitSliceMs, InTimeoutMs - Waited));
				if (Ready < 0 && errno != EINTR)
				{
					return false;
				}
				if (Ready > 0)
				{
					// A hang-up counts as ready: the following read or write reports it.
					return true;
				}
			}
			return false;
		}

		void DescribeAddress(const sockaddr_storage& InAddress, std::string& OutIp, int& OutPort)
		{
			char Text[INET6_ADDRSTRLEN] = {};
			if (InAddress.ss_family == AF_INET)
			{
				const sockaddr_in* Ipv4 = reinterpret_cast<const sockaddr_in*>(&InAddress);
				::inet_ntop(AF_INET, &Ipv4->sin_addr, Text, sizeof(Text));
				OutPort = ntohs(Ipv4->sin_port);
			}
			else if (InAddress.ss_family == AF_INET6)
			{
				const sockaddr_in6* Ipv6 = reinterpret_cast<const sockaddr_in6*>(&InAddress);
				::inet_ntop(AF_INET6, &Ipv6->sin6_addr, Text, sizeof(Text));
				OutPort = ntohs(Ipv6->sin6_port);
			}
			OutIp = Text;
		}

		/** A buffered stream over one accepted socket whose waits notice the server's stop flag. */
		class FSocketStream final : public httplib::Stream
		{
		public:
			FSocketStream(const int InSocket, const FServerControl& InControl)
				: Socket(InSocket)
				, Control(InControl)
			{
			}

			bool HasBufferedBytes() const
			{
				return ReadOffset < ReadLength;
			}

			bool is_readable() const override
			{
				return HasBufferedBytes() || WaitForSocket(Control, Socket, POLLIN, ReadTimeoutMs);
			}

			bool is_writable() const override
			{
				return !Control.IsStopping() && !FServerControl::IsPeerGone()
					&& WaitForSocket(Control, Socket, POLLOUT, WriteTimeoutMs);
			}

			ssize_t read(char* OutData, const size_t InSize) override
			{
				if (!HasBufferedBytes())
				{
					if (!WaitForSocket(Control, Socket, POLLIN, ReadTimeoutMs))
					{
						return -1;
					}
					const ssize_t Received = ::recv(Socket, Buffer, sizeof(Buffer), 0);
					if (Received <= 0)
					{
						return Received;
					}
					ReadOffset = 0;
					ReadLength = static_cast<size_t>(Received);
				}
				const size_t Count = std::min(InSize, ReadLength - ReadOffset);
				std::memcpy(OutData, Buffer + ReadOffset, Count);
				ReadOffset += Count;
				return static_cast<ssize_t>(Count);
			}

			ssize_t write(const char* InData, const size_t InSize) override
			{
				if (!WaitForSocket(Control, Socket, POLLOUT, WriteTimeoutMs))
				{
					return -1;
				}
				return ::send(Socket, InData, InSize, MSG_NOSIGNAL);
			}

			void get_remote_ip_and_port(std::string& OutIp, int& OutPort) const override
			{
				sockaddr_storage Address{};
				socklen_t Length = sizeof(Address);
				if (::getpeername(Socket, reinterpret_cast<sockaddr*>(&Address), &Length) == 0)
				{
					DescribeAddress(Address, OutIp, OutPort);
				}
			}

			void get_local_ip_and_port(std::string& OutIp, int& OutPort) const override
			{
				sockaddr_storage Address{};
				socklen_t Length = sizeof(Address);
				if (::getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Length) == 0)
				{
					DescribeAddress(Address, OutIp, OutPort);
				}
			}

			socket_t socket() const override
			{
				return Socket;
			}

			/** Waits for the next request of a kept-alive connection. */
			bool WaitForNextRequest() const
			{
				return HasBufferedBytes() || WaitForSocket(Control, Socket, POLLIN, KeepAliveTimeoutMs);
			}

		private:
			int Socket;
			const FServerControl& Control;
			char Buffer[16 * 1024];
			size_t ReadOffset = 0;
			size_t ReadLength = 0;
		};
	}

	void FServerControl::RequestStop()
	{
		std::lock_guard<std::mutex> Lock(Mutex);
		bStopping = true;
		WakeUp.notify_all();
		// Workers close a socket only after untracking it under this lock, so no descriptor here
		// can have been reused by an unrelated file.
		for (const int Socket : OpenSockets)
		{
			::shutdown(Socket, SHUT_RDWR);
		}
	}

	bool FServerControl::IsStopping() const
	{
		return bStopping;
	}

	void FServerControl::NoteBodyStarted() const
	{
		LastBodyStartNs = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
	}

	bool FServerControl::Wait(const int InMs) const
	{
		const std::chrono::steady_clock::time_point Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(InMs);
		std::unique_lock<std::mutex> Lock(Mutex);
		while (!bStopping)
		{
			const std::chrono::steady_clock::time_point Now = std::chrono::steady_clock::now();
			if (Now >= Deadline)
			{
				return true;
			}
			const std::chrono::steady_clock::time_point SliceEnd = std::min(Deadline, Now + std::chrono::milliseconds(WaitSliceMs));
			WakeUp.wait_until(Lock, SliceEnd);
			if (IsPeerGone())
			{
				return false;
			}
		}
		return false;
	}

	void FServerControl::TrackSocket(const int InSocket)
	{
		std::lock_guard<std::mutex> Lock(Mutex);
		OpenSockets.insert(InSocket);
		if (bStopping)
		{
			::shutdown(InSocket, SHUT_RDWR);
		}
	}

	void FServerControl::UntrackSocket(const int InSocket)
	{
		std::lock_guard<std::mutex> Lock(Mutex);
		OpenSockets.erase(InSocket);
	}

	bool FServerControl::IsPeerGone()
	{
		if (GCurrentSocket < 0)
		{
			return false;
		}
		pollfd Poll{GCurrentSocket, static_cast<short>(POLLIN | POLLRDHUP), 0};
		if (::poll(&Poll, 1, 0) <= 0)
		{
			return false;
		}
		if (Poll.revents & (POLLHUP | POLLERR | POLLRDHUP | POLLNVAL))
		{
			return true;
		}
		// Readable: either a pipelined request (still there) or the end of the stream (gone).
		char Byte = 0;
		return ::recv(GCurrentSocket, &Byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
	}

	void FServerControl::AbandonConnection()
	{
		if (GCurrentSocket >= 0)
		{
			::shutdown(GCurrentSocket, SHUT_RDWR);
		}
	}

	void FServerControl::SetCurrentSocket(const int InSocket)
	{
		GCurrentSocket = InSocket;
	}

	FConnectionServer::FConnectionServer(FServerControl& InControl)
		: Control(InControl)
	{
		// Only the "Keep-Alive" response header reads these; the connection loop below applies them.
		set_keep_alive_max_count(MaxRequestsPerConnection);
		set_keep_alive_timeout(KeepAliveTimeoutSeconds);
	}

	void FConnectionServer::WidenBacklog(const int InBacklog)
	{
		// Linux lets a listening socket change its backlog by listening again.
		const socket_t Listener = svr_sock_;
		if (Listener != INVALID_SOCKET)
		{
			::listen(Listener, InBacklog);
		}
	}

	bool FConnectionServer::process_and_close_socket(const socket_t InSocket)
	{
		Control.TrackSocket(InSocket);
		FServerControl::SetCurrentSocket(InSocket);
		const int NoDelay = 1;
		::setsockopt(InSocket, IPPROTO_TCP, TCP_NODELAY, &NoDelay, sizeof(NoDelay));

		FSocketStream Stream(InSocket, Control);
		bool bHandled = false;
		for (size_t Remaining = MaxRequestsPerConnection; Remaining > 0 && !Control.IsStopping(); --Remaining)
		{
			if (!Stream.WaitForNextRequest())
			{
				break;
			}
			bool bConnectionClosed = false;
			bHandled = process_request(Stream, Remaining == 1, bConnectionClosed, nullptr);
			if (!bHandled || bConnectionClosed)
			{
				break;
			}
		}

		FServerControl::SetCurrentSocket(-1);
		Control.UntrackSocket(InSocket);
		::shutdown(InSocket, SHUT_RDWR);
		::close(InSocket);
		return bHandled;
	}
}
