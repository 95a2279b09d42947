#include "host/core/Log.h"
#include "host/core/Parameter.h"
#include "host/core/Properties.h"
#include "host/lib/AlgorithmFactory.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/AlgorithmUtils.h"
#include "host/lib/FactoryRegistry.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Quorvale;

namespace
{
	int liveAlgorithms = 0;

	class CountingAlgorithm : public Algorithm
	{
	public:
		CountingAlgorithm() { ++liveAlgorithms; }
		~CountingAlgorithm() override { --liveAlgorithms; }
		void compute() override { m_status = Success; }
	};

	// Accepts an empty selection or a selection of exactly one data object.
	class OneItemAlgorithm : public CountingAlgorithm
	{
	public:
		static bool createCompatible(const DataList& data, Algorithm** out)
		{
			if (data.size() > 1)
				return false;
			if (out)
				*out = new OneItemAlgorithm;
			return true;
		}
	};

	// Stores an algorithm, then fails: the creator must free what was stored.
	class ThrowingAlgorithm : public CountingAlgorithm
	{
	public:
		static bool createCompatible(const DataList&, Algorithm** out)
		{
			if (out)
			{
				*out = new ThrowingAlgorithm;
				throw std::runtime_error("no label map");
			}
			return true;
		}
	};

	class ReaderAlgorithm : public IoAlgorithm
	{
	public:
		ReaderAlgorithm()
		    : IoAlgorithm(IoMode::Read, LocalFile)
		{
		}
		static bool createCompatible(const DataList& data, Algorithm** out)
		{
			if (!data.isEmpty())
				return false;
			if (out)
				*out = new ReaderAlgorithm;
			return true;
		}
		std::vector<std::string> supportedFileExtensions() const override { return {"tst"}; }
		void compute() override { m_status = Success; }
		Parameter<int> quality{"quality", 1, this};
	};

	class TestFactory : public AlgorithmFactory
	{
	public:
		explicit TestFactory(const std::string& name = "Test")
		    : AlgorithmFactory(name)
		{
			registerAlgorithm<OneItemAlgorithm>("One", "Test;Sub;One Item");
			registerAlgorithm<ThrowingAlgorithm>("Throwing", "Test;Throwing");
			registerAlgorithm<ReaderAlgorithm>("Reader", "IO;Test (tst)");
		}
		using AlgorithmFactory::registerAlgorithm;
	};
}

TEST(AlgorithmFactoryTest, RegistrationPrefixesTheFactoryNameAndKeepsOrder)
{
	TestFactory factory;
	const auto descriptors = factory.algorithmDescriptors();
	ASSERT_EQ(descriptors.size(), 3u);
	EXPECT_EQ(descriptors[0]->id, "Test.One");
	EXPECT_EQ(descriptors[1]->id, "Test.Throwing");
	EXPECT_EQ(descriptors[2]->id, "Test.Reader");
	EXPECT_EQ(descriptors[0]->name, "Test;Sub;One Item");
	EXPECT_FALSE(descriptors[0]->isIo);
	EXPECT_TRUE(descriptors[2]->isIo);
	EXPECT_EQ(factory.ioAlgorithmDescriptors().size(), 1u);

	TestFactory unnamed("");
	EXPECT_EQ(unnamed.algorithmDescriptors()[0]->id, "One");
}

TEST(AlgorithmFactoryTest, SecondRegistrationIsRefusedWithOneWarning)
{
	TestFactory factory;
	Log::ScopedCapture log;
	factory.registerAlgorithm<ReaderAlgorithm>("One", "Other;Menu");
	EXPECT_EQ(factory.algorithmDescriptors().size(), 3u);
	EXPECT_EQ(factory.algorithmDescriptor("Test.One")->name, "Test;Sub;One Item");
	const auto records = log.sink().records();
	ASSERT_EQ(records.size(), 1u);
	EXPECT_EQ(records[0].level, Log::Warning);
	EXPECT_EQ(records[0].category, "AlgorithmFactory");
	EXPECT_EQ(records[0].message, "Algorithm already registered: Test.One");
	// The class map still names the first registration of the reader.
	ReaderAlgorithm reader;
	EXPECT_EQ(factory.identifierOf(reader), "Test.Reader");
}

TEST(AlgorithmFactoryTest, CreatorSetsFactoryInfoFromTheLastMenuPiece)
{
	TestFactory factory;
	Data item("input");
	auto algorithm = factory.instantiateAlgorithm("Test.One", DataList{&item});
	ASSERT_TRUE(algorithm);
	EXPECT_EQ(algorithm->factoryInfo().id, "Test.One");
	EXPECT_EQ(algorithm->factoryInfo().name, "One Item");
	ASSERT_EQ(algorithm->factoryInfo().data.size(), 1);
	EXPECT_EQ(algorithm->factoryInfo().data.get(0), &item);
	EXPECT_EQ(algorithm->status(), Algorithm::NotComputed);

	Data other;
	EXPECT_EQ(factory.instantiateAlgorithm("Test.One", DataList{&item, &other}), nullptr);
	EXPECT_EQ(factory.instantiateAlgorithm("Test.Missing", DataList{}), nullptr);
}

TEST(AlgorithmFactoryTest, CreationFailureIsLoggedAndFreesTheAlgorithm)
{
	TestFactory factory;
	const int before = liveAlgorithms;
	Log::ScopedCapture log;
	EXPECT_EQ(factory.instantiateAlgorithm("Test.Throwing", DataList{}), nullptr);
	EXPECT_EQ(liveAlgorithms, before);
	const auto records = log.sink().records();
	ASSERT_EQ(records.size(), 1u);
	EXPECT_EQ(records[0].level, Log::Error);
	EXPECT_EQ(records[0].category, "");
	EXPECT_EQ(records[0].message, "Cannot create algorithm Test;Throwing: no label map");
	// The factory stays usable.
	EXPECT_TRUE(factory.instantiateAlgorithm("Test.One", DataList{}));
}

TEST(AlgorithmFactoryTest, IoAlgorithmsTakeTheGlobalSettings)
{
	TestFactory factory;
	IoAlgorithm::globalSettings().setParam("quality", 7);
	auto reader = factory.instantiateIoAlgorithm("Test.Reader", DataList{});
	IoAlgorithm::globalSettings().clear();
	ASSERT_TRUE(reader);
	EXPECT_EQ(static_cast<ReaderAlgorithm*>(reader.get())->quality.value(), 7);
	EXPECT_EQ(factory.instantiateIoAlgorithm("Test.One", DataList{}), nullptr);

	EXPECT_TRUE(reader->canLoad("/data/VESSELS.TST"));
	EXPECT_FALSE(reader->canLoad("/data/vessels.nii"));
	EXPECT_EQ(factory.compatibleIoDescriptors(std::string("a.tst")).size(), 1u);
	EXPECT_EQ(factory.compatibleIoDescriptors(std::string("a.txt")).size(), 0u);
}

TEST(AlgorithmFactoryTest, CompatibilityFollowsTheSelection)
{
	TestFactory factory;
	Data a, b;
	auto ids = [](const std::vector<const AlgorithmFactory::Descriptor*>& ds)
	{
		std::vector<std::string> out;
		for (const auto* d : ds)
			out.push_back(d->id);
		return out;
	};
	EXPECT_EQ(ids(factory.compatibleDescriptors(DataList{})), (std::vector<std::string>{"Test.One", "Test.Throwing", "Test.Reader"}));
	EXPECT_EQ(ids(factory.compatibleDescriptors(DataList{&a})), (std::vector<std::string>{"Test.One", "Test.Throwing"}));
	EXPECT_EQ(ids(factory.compatibleDescriptors(DataList{&a, &b})), (std::vector<std::string>{"Test.Throwing"}));
}

TEST(AlgorithmFactoryTest, RegistryFindsShortIdentifiersOnlyWhenUnique)
{
	auto& registry = FactoryRegistry::get();
	registry.registerFactories(std::make_unique<TestFactory>("Alpha"), nullptr, nullptr);
	registry.registerFactories(std::make_unique<TestFactory>("Beta"), nullptr, nullptr);
	auto [factory, descriptor] = registry.findAlgorithm("Beta.One");
	ASSERT_NE(descriptor, nullptr);
	EXPECT_EQ(factory->name(), "Beta");
	EXPECT_EQ(registry.findAlgorithm("One").second, nullptr);
	EXPECT_EQ(registry.findAlgorithm("One", true).second, nullptr); // two factories know it
	EXPECT_EQ(registry.findAlgorithm("Nothing", true).second, nullptr);
}

TEST(AlgorithmRunnerTest, StatusIsResetAndMissingReportsCountAsFailure)
{
	class Silent : public Algorithm
	{
	public:
		void compute() override {}
	};
	class Throws : public Algorithm
	{
	public:
		void compute() override { throw std::runtime_error("disk full"); }
	};
	class Finishes : public Algorithm
	{
	public:
		void compute() override { m_status = Success; }
	};

	Silent silent;
	silent.setStatus(Algorithm::Success); // a finished earlier run must not count
	EXPECT_EQ(AlgorithmRunner::run(silent), Algorithm::Error);

	Throws throws;
	Log::ScopedCapture log;
	EXPECT_EQ(AlgorithmRunner::run(throws), Algorithm::Error);
	EXPECT_EQ(log.sink().messages(Log::Error), std::vector<std::string>{"Algorithm failed with an exception: disk full"});

	Finishes finishes;
	EXPECT_EQ(AlgorithmRunner::run(finishes), Algorithm::Success);
}

TEST(AlgorithmUtilsTest, ParsedNameIsTheLastMenuPiece)
{
	std::string path;
	EXPECT_EQ(AlgorithmUtils::parseAlgorithmName("Graph;Graph Display", &path), "Graph Display");
	EXPECT_EQ(path, "Graph");
	EXPECT_EQ(AlgorithmUtils::parseAlgorithmName("A; B ;C", &path), "C");
	EXPECT_EQ(path, "A;B");
	EXPECT_EQ(AlgorithmUtils::parseAlgorithmName("Plain", &path), "Plain");
	EXPECT_EQ(path, "");
	EXPECT_EQ(AlgorithmUtils::parseAlgorithmName("", nullptr), "");
}
