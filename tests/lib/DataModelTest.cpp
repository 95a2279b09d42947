#include "host/lib/DataModel.h"

#include "host/lib/Data.h"
#include "host/lib/SharedImageSet.h"

#include <gtest/gtest.h>

using namespace Quorvale;

TEST(DataModelTest, GetAllFiltersByKindAndModalityInModelOrder)
{
	DataModel model;
	Data* plain = model.add(std::make_unique<Data>("plain"));
	auto labels = std::make_unique<SharedImageSet>("labels");
	labels->setModality(Data::LabelMap);
	Data* labelSet = model.add(std::move(labels));
	Data* imageSet = model.add(std::make_unique<SharedImageSet>("image"));
	EXPECT_EQ(model.add(nullptr), nullptr);
	EXPECT_EQ(model.getAll().items(), (std::vector<Data*>{plain, labelSet, imageSet}));
	EXPECT_EQ(model.getAll(Data::ImageSet).items(), (std::vector<Data*>{labelSet, imageSet}));
	EXPECT_EQ(model.getAll(0, Data::LabelMap).items(), (std::vector<Data*>{labelSet}));
}

TEST(DataModelTest, RemovalIsAnnouncedWhileTheDataIsStillValid)
{
	std::vector<std::string> announced;
	SignalReceiver receiver;
	{
		DataModel model;
		model.signalAboutToRemove.connect(&receiver, [&](Data* d) { announced.push_back(d->name()); });
		Data* first = model.add(std::make_unique<Data>("first"));
		model.add(std::make_unique<Data>("second"));
		auto taken = model.take(first);
		EXPECT_EQ(taken->name(), "first");
		EXPECT_FALSE(model.contains(first));
		EXPECT_FALSE(model.remove(first));
	}
	EXPECT_EQ(announced, (std::vector<std::string>{"first", "second"}));
}
