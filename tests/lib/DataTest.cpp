#include "host/core/Parameter.h"
#include "host/lib/Data.h"
#include "host/lib/DataList.h"

#include <gtest/gtest.h>

using namespace Quorvale;

namespace
{
	class Colour : public DataComponent<Colour>
	{
	public:
		Colour() = default;
		std::string id() const override { return "Colour"; }
		Parameter<int> red{"red", 0, this};
	};

	class Cache : public TemporaryDataComponent<Cache>
	{
	public:
		Cache() = default;
		std::string id() const override { return "Cache"; }
	};

	class ParentAware : public DataComponent<ParentAware>, public DataComponentWithParentInterface
	{
	public:
		ParentAware() = default;
		std::string id() const override { return "ParentAware"; }
		void setParent(Data* p) override { parent = p; }
		Data* parent = nullptr;
	};

	class Sample : public Data
	{
	public:
		using Data::Data;
		int kind() const override { return Data::Mesh; }
	};
}

TEST(DataTest, CopyClonesPermanentComponentsOnly)
{
	Data original("vessels");
	original.components().add(std::make_unique<Colour>())->red = 7;
	original.components().add(std::make_unique<Cache>());
	original.components().add(std::make_unique<ParentAware>());
	Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
	m(0, 3) = 5;
	original.setMatrixToWorld(m);

	Data copy(original);
	EXPECT_EQ(copy.name(), "vessels");
	EXPECT_EQ(copy.matrixToWorld(), m);
	ASSERT_EQ(copy.components().size(), 2);
	ASSERT_NE(copy.components().get<Colour>(), nullptr);
	EXPECT_NE(copy.components().get<Colour>(), original.components().get<Colour>());
	EXPECT_EQ(copy.components().get<Colour>()->red.value(), 7);
	EXPECT_EQ(copy.components().get<Cache>(), nullptr);
	EXPECT_EQ(copy.components().get<ParentAware>()->parent, &copy);

	// The copy is independent of the original.
	copy.components().get<Colour>()->red = 1;
	EXPECT_EQ(original.components().get<Colour>()->red.value(), 7);
}

TEST(DataTest, CopyCarriesNoSignalConnections)
{
	Data original;
	int changes = 0;
	original.signalDataChanged.connect([&] { ++changes; });
	Data copy(original);
	copy.setName("other");
	EXPECT_EQ(changes, 0);
	original.setName("again");
	EXPECT_EQ(changes, 1);
}

TEST(DataTest, AssignmentKeepsOwnTemporaryComponents)
{
	Data a, b;
	a.components().add(std::make_unique<Cache>());
	b.components().add(std::make_unique<Colour>())->red = 3;
	a = b;
	EXPECT_NE(a.components().get<Cache>(), nullptr);
	ASSERT_NE(a.components().get<Colour>(), nullptr);
	EXPECT_EQ(a.components().get<Colour>()->red.value(), 3);
}

TEST(DataTest, DeletionSignalNamesTheObject)
{
	Data* seen = nullptr;
	auto data = std::make_unique<Data>();
	Data* address = data.get();
	data->signalDeleted.connect([&](Data* d) { seen = d; });
	data.reset();
	EXPECT_EQ(seen, address);
}

TEST(DataTest, MatrixFollowsTheConvention)
{
	class ToWorldData : public Data
	{
	public:
		int matrixConvention() const override { return Data::ToWorld; }
	};
	Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
	m(1, 3) = 2;

	ToWorldData toWorld;
	toWorld.setMatrix(m);
	EXPECT_EQ(toWorld.matrixToWorld(), m);
	EXPECT_EQ(toWorld.matrix(), m);

	Data fromWorld;
	fromWorld.setMatrix(m);
	EXPECT_TRUE(fromWorld.matrixFromWorld().isApprox(m));
	EXPECT_DOUBLE_EQ(fromWorld.matrixToWorld()(1, 3), -2);
}

TEST(DataComponentListTest, AddingTheSameTypeAssignsTheExistingComponent)
{
	Data data;
	int listChanges = 0;
	data.components().signalChanged.connect([&] { ++listChanges; });
	Colour* first = data.components().add(std::make_unique<Colour>());
	auto second = std::make_unique<Colour>();
	second->red = 9;
	Colour* returned = data.components().add(std::move(second));
	EXPECT_EQ(returned, first);
	EXPECT_EQ(first->red.value(), 9);
	EXPECT_EQ(data.components().size(), 1);
	EXPECT_EQ(listChanges, 1);
	EXPECT_EQ(data.components().add(std::unique_ptr<DataComponentBase>()), nullptr);
}

TEST(DataComponentListTest, GetOrCreateAddsOnce)
{
	Data data;
	Colour* a = data.components().getOrCreate<Colour>();
	Colour* b = data.components().getOrCreate<Colour>();
	EXPECT_EQ(a, b);
	EXPECT_EQ(data.components().size(), 1);
	const Data& constData = data;
	EXPECT_EQ(constData.components().get<Colour>(), a);
	EXPECT_EQ(constData.components().get<Cache>(), nullptr);
}

TEST(DataComponentListTest, RemoveHandsTheComponentBack)
{
	Data data;
	Colour* c = data.components().add(std::make_unique<Colour>());
	auto removed = data.components().remove(c);
	EXPECT_EQ(removed.get(), c);
	EXPECT_TRUE(data.components().empty());
	EXPECT_EQ(data.components().remove(c), nullptr);
}

TEST(DataComponentTest, DefaultEqualityAndAssignmentGoThroughParameters)
{
	Colour a, b;
	EXPECT_TRUE(a.equals(b));
	b.red = 4;
	EXPECT_FALSE(a.equals(b));
	EXPECT_TRUE(a.assign(b));
	EXPECT_EQ(a.red.value(), 4);
	Cache other;
	EXPECT_FALSE(a.assign(other));
	EXPECT_FALSE(a.equals(other));
}

TEST(DataListTest, GetAllFiltersByTypeAndKind)
{
	Data plain;
	Sample sample;
	DataList list{&plain, &sample, nullptr};
	EXPECT_EQ(list.size(), 2);
	EXPECT_EQ(list.getAll<Data>().size(), 2u);
	EXPECT_EQ(list.getAll<Sample>().size(), 1u);
	EXPECT_EQ(list.getAll<Data>(Data::Mesh).size(), 1u);
	EXPECT_EQ(list.getAll<Data>(Data::ImageSet).size(), 0u);
}

TEST(DataListTest, OwningListHandsItemsOver)
{
	OwningDataList owning;
	owning.add(std::make_unique<Data>("a"));
	owning.add(nullptr);
	owning.add(std::make_unique<Sample>("b"));
	EXPECT_EQ(owning.size(), 2);
	EXPECT_EQ(owning.asDataList().get(1)->name(), "b");
	auto sample = owning.extractFirst<Sample>();
	ASSERT_TRUE(sample);
	EXPECT_EQ(sample->name(), "b");
	EXPECT_EQ(owning.size(), 1);
	EXPECT_EQ(owning.extractFirst<Sample>(), nullptr);
	auto all = owning.extractAll();
	EXPECT_EQ(all.size(), 1u);
	EXPECT_TRUE(owning.isEmpty());
}

TEST(DataTest, AssignmentKeepsComponentsOfSharedTypesInPlace)
{
	Data a, b;
	Colour* held = a.components().add(std::make_unique<Colour>());
	a.components().add(std::make_unique<ParentAware>());
	b.components().add(std::make_unique<Colour>())->red = 5;
	a = b;
	EXPECT_EQ(a.components().get<Colour>(), held);
	EXPECT_EQ(held->red.value(), 5);
	// A permanent component the source lacks goes.
	EXPECT_EQ(a.components().get<ParentAware>(), nullptr);
	EXPECT_EQ(a.components().size(), 1);
}
