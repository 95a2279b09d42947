#include "host/core/Signal.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace Quorvale;

namespace
{
	struct Receiver : SignalReceiver
	{
	};
}

TEST(SignalTest, CallsInConnectionOrderWithTheArguments)
{
	Signal<int, const std::string&> signal;
	std::vector<std::string> calls;
	signal.connect([&](int i, const std::string& s) { calls.push_back("a" + std::to_string(i) + s); });
	signal.connect([&](int i, const std::string& s) { calls.push_back("b" + std::to_string(i) + s); });
	signal.connect([&](int i, const std::string& s) { calls.push_back("c" + std::to_string(i) + s); });
	signal.emitSignal(1, "x");
	signal.emitSignal(2, "y");
	EXPECT_EQ(calls, (std::vector<std::string>{"a1x", "b1x", "c1x", "a2y", "b2y", "c2y"}));
	EXPECT_EQ(signal.connectionCount(), 3);
}

TEST(SignalTest, DisconnectByReceiverOrConnection)
{
	Signal<> signal;
	Receiver first, second;
	std::vector<int> calls;
	signal.connect(&first, [&] { calls.push_back(1); });
	signal.connect(&second, [&] { calls.push_back(2); });
	signal.connect(&first, [&] { calls.push_back(3); });
	auto connection = signal.connect([&] { calls.push_back(4); });

	signal.disconnect(&first);
	signal.emitSignal();
	EXPECT_EQ(calls, (std::vector<int>{2, 4}));

	connection->disconnect();
	EXPECT_FALSE(connection->isConnected());
	calls.clear();
	signal.emitSignal();
	EXPECT_EQ(calls, std::vector<int>{2});
	EXPECT_EQ(signal.connectionCount(), 1);

	signal.disconnectAll();
	EXPECT_EQ(signal.connectionCount(), 0);
}

TEST(SignalTest, ReceiverDestroyedBeforeOrAfterTheSignal)
{
	int calls = 0;
	Signal<> signal;
	std::shared_ptr<SignalConnection> connection;
	{
		Receiver receiver;
		connection = signal.connect(&receiver, [&] { ++calls; });
		signal.emitSignal();
	}
	signal.emitSignal();
	EXPECT_EQ(calls, 1);
	EXPECT_FALSE(connection->isConnected());
	EXPECT_EQ(signal.connectionCount(), 0);

	// The signal goes first: the receiver's later destruction must not touch it.
	auto receiver = std::make_unique<Receiver>();
	{
		Signal<> shortLived;
		connection = shortLived.connect(receiver.get(), [&] { ++calls; });
	}
	EXPECT_FALSE(connection->isConnected());
	receiver.reset();
}

TEST(SignalTest, ConnectionsChangedDuringEmission)
{
	Signal<> signal;
	std::vector<std::string> calls;
	std::shared_ptr<SignalConnection> second;
	auto receiver = std::make_unique<Receiver>();

	signal.connect(
	    [&]
	    {
		    calls.push_back("first");
		    second->disconnect();                              // a later function that is disconnected is not called any more
		    receiver.reset();                                  // nor is one whose receiver is destroyed
		    signal.connect([&] { calls.push_back("added"); }); // a new one waits for the next emission
	    });
	second = signal.connect([&] { calls.push_back("second"); });
	signal.connect(receiver.get(), [&] { calls.push_back("receiver"); });
	std::shared_ptr<SignalConnection> self;
	self = signal.connect(
	    [&]
	    {
		    calls.push_back("self");
		    self->disconnect();
	    });

	signal.emitSignal();
	EXPECT_EQ(calls, (std::vector<std::string>{"first", "self"}));
	calls.clear();
	signal.emitSignal();
	// The first function adds another one on every emission.
	EXPECT_EQ(calls, (std::vector<std::string>{"first", "added"}));
}

TEST(SignalTest, BlockersNest)
{
	Signal<> signal;
	int calls = 0;
	signal.connect([&] { ++calls; });
	{
		SignalBlocker outer(signal);
		{
			SignalBlocker inner(signal);
			signal.emitSignal();
		}
		EXPECT_TRUE(signal.isBlocked());
		signal.emitSignal();
	}
	EXPECT_FALSE(signal.isBlocked());
	EXPECT_EQ(calls, 0); // emissions while blocked are dropped, not queued
	signal.emitSignal();
	EXPECT_EQ(calls, 1);

	signal.unblock(); // one unblock too many does not leave the signal "more than unblocked"
	SignalBlocker blocker(signal);
	EXPECT_TRUE(signal.isBlocked());
}

TEST(SignalTest, CopiesStartWithoutConnections)
{
	int calls = 0;
	Signal<> signal;
	signal.connect([&] { ++calls; });
	Signal<> copy(signal);
	copy.emitSignal();
	EXPECT_EQ(calls, 0);
	EXPECT_EQ(copy.connectionCount(), 0);

	int assignedCalls = 0;
	Signal<> assigned;
	assigned.connect([&] { ++assignedCalls; });
	assigned = signal; // keeps its own connections, takes none
	assigned.emitSignal();
	EXPECT_EQ(assignedCalls, 1);
	EXPECT_EQ(calls, 0);

	// A copied receiver does not own the original's connections.
	auto original = std::make_unique<Receiver>();
	signal.connect(original.get(), [&] { ++calls; });
	{
		Receiver receiverCopy(*original);
	}
	signal.emitSignal();
	EXPECT_EQ(calls, 2);
	original.reset();
	signal.emitSignal();
	EXPECT_EQ(calls, 3);
}
