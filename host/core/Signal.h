#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace Quorvale
{
	class SignalReceiver;

	/// One connection between a signal and a function. Shared between the signal, the receiver
	/// and whoever called `connect`; disconnecting it from any side stops further calls.
	class SignalConnection
	{
	public:
		virtual ~SignalConnection() = default;
		void disconnect() { m_connected = false; }
		bool isConnected() const { return m_connected; }

	private:
		template <typename... Args>
		friend class Signal;
		friend class SignalReceiver;

		bool m_connected = true;
		const SignalReceiver* m_receiver = nullptr;
	};

	/// Base of objects that receive signals: every connection made with it as receiver is
	/// disconnected when it is destroyed, so no function bound to it is called afterwards.
	/// Copies start without connections.
	class SignalReceiver
	{
	public:
		SignalReceiver() = default;
		SignalReceiver(const SignalReceiver&) = default;
		SignalReceiver& operator=(const SignalReceiver&) = default;
		virtual ~SignalReceiver() { disconnectAll(); }

		/// Disconnects every connection that has this object as receiver.
		void disconnectAll()
		{
			for (auto& weak : m_connections.list)
				if (auto connection = weak.lock())
					connection->disconnect();
			m_connections.list.clear();
		}

	private:
		template <typename... Args>
		friend class Signal;

		/// The receiver's connections; a copy or an assignment leaves the target's list as it was
		/// (a new receiver has none), so that copying a receiver needs no code of its own.
		struct Connections
		{
			Connections() = default;
			Connections(const Connections&) {}
			Connections& operator=(const Connections&) { return *this; }
			std::vector<std::weak_ptr<SignalConnection>> list;
		};

		void track(const std::shared_ptr<SignalConnection>& connection)
		{
			// Forget connections whose signal is gone before adding the new one.
			std::vector<std::weak_ptr<SignalConnection>> kept;
			kept.reserve(m_connections.list.size() + 1);
			for (auto& weak : m_connections.list)
				if (auto c = weak.lock(); c && c->isConnected())
					kept.push_back(weak);
			kept.push_back(connection);
			m_connections.list.swap(kept);
		}

		Connections m_connections;
	};

	/// Common part of all signals, so that a `SignalBlocker` can mute any of them.
	class SignalBase
	{
	public:
		bool isBlocked() const { return m_blocked > 0; }
		void block() { ++m_blocked; }
		void unblock()
		{
			if (m_blocked > 0)
				--m_blocked;
		}

	protected:
		int m_blocked = 0;
	};

	/// A list of functions called in connection order by `emitSignal`. Copying a signal copies no
	/// connections. Not thread-safe: a signal and its receivers are used by one thread at a time.
	template <typename... Args>
	class Signal : public SignalBase
	{
	public:
		using Function = std::function<void(Args...)>;

		Signal() = default;
		Signal(const Signal&)
		    : SignalBase()
		{
		}
		Signal& operator=(const Signal&) { return *this; }
		~Signal() { disconnectAll(); }

		/// Connects `function`; when `receiver` is destroyed the connection ends with it.
		std::shared_ptr<SignalConnection> connect(SignalReceiver* receiver, Function function)
		{
			prune();
			auto slot = std::make_shared<Slot>(std::move(function));
			slot->m_receiver = receiver;
			m_slots.push_back(slot);
			if (receiver)
				receiver->track(slot);
			return slot;
		}

		/// Connects a function without a receiver; the returned connection disconnects it.
		std::shared_ptr<SignalConnection> connect(Function function) { return connect(nullptr, std::move(function)); }

		/// Disconnects every function connected with this receiver.
		void disconnect(const SignalReceiver* receiver)
		{
			for (auto& slot : m_slots)
				if (slot->m_receiver == receiver)
					slot->disconnect();
			prune();
		}

		void disconnectAll()
		{
			for (auto& slot : m_slots)
				slot->disconnect();
			m_slots.clear();
		}

		/// Number of live connections.
		int connectionCount() const
		{
			int n = 0;
			for (const auto& slot : m_slots)
				n += slot->isConnected() ? 1 : 0;
			return n;
		}

		/// Calls every connected function in connection order, unless the signal is blocked.
		/// Functions may connect or disconnect during the emission; new ones are first called by the next one.
		void emitSignal(Args... args)
		{
			if (isBlocked() || m_slots.empty())
				return;
			const std::vector<std::shared_ptr<Slot>> current = m_slots;
			for (const auto& slot : current)
				if (slot->isConnected())
					slot->m_function(args...);
		}

	private:
		struct Slot : SignalConnection
		{
			explicit Slot(Function f)
			    : m_function(std::move(f))
			{
			}
			Function m_function;
		};

		void prune()
		{
			std::vector<std::shared_ptr<Slot>> kept;
			kept.reserve(m_slots.size());
			for (auto& slot : m_slots)
				if (slot->isConnected())
					kept.push_back(std::move(slot));
			m_slots.swap(kept);
		}

		std::vector<std::shared_ptr<Slot>> m_slots;
	};

	/// Mutes a signal for its own lifetime.
	class SignalBlocker
	{
	public:
		explicit SignalBlocker(SignalBase& signal)
		    : m_signal(signal)
		{
			m_signal.block();
		}
		~SignalBlocker() { m_signal.unblock(); }
		SignalBlocker(const SignalBlocker&) = delete;
		SignalBlocker& operator=(const SignalBlocker&) = delete;

	private:
		SignalBase& m_signal;
	};
}
