#include "host/core/Parameter.h"
#include "host/lib/DataList.h"
#include "host/lib/Selection.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace Quorvale;

namespace
{
	class Tag : public DataComponent<Tag>
	{
	public:
		Tag() = default;
		Tag(const Tag& other)
		    : DataComponent<Tag>(other)
		{
			assignParameters(other);
		}
		std::string id() const override { return "Tag"; }
		Parameter<int> value{"value", 0, this};
	};

	std::unique_ptr<SharedImage> makeImage(float value, const std::string& name = "image")
	{
		auto mem = TypedImage<float>::create({2, 2, 1});
		mem->fill(value);
		return std::make_unique<SharedImage>(std::move(mem), name);
	}

	Eigen::Matrix4d shift(double x)
	{
		Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		m(0, 3) = x;
		return m;
	}

	float firstValue(const SharedImage* image) { return static_cast<const float*>(image->mem()->data())[0]; }
}

TEST(SharedImageTest, PlacesItsMemoryInTheWorld)
{
	EXPECT_THROW(SharedImage image{std::shared_ptr<MemImage>()}, std::invalid_argument);
	auto image = makeImage(1.0f);
	EXPECT_EQ(image->kind(), Data::Image);
	EXPECT_FALSE(image->hasGl());
	image->setMatrix(shift(5));
	EXPECT_EQ(image->matrixToWorld(), shift(5));
	EXPECT_EQ(image->descriptorWorld().matrixToWorld(), shift(5));
	EXPECT_EQ(image->descriptorWorld().descriptor(), image->descriptor());
	// Pixel (0.5, 0.5, 0) is the centre of the 2x2 image: world (5, 0, 0).
	const Eigen::Vector4d pixel = image->worldToPixelMatrix() * Eigen::Vector4d(5, 0, 0, 1);
	EXPECT_TRUE(pixel.isApprox(Eigen::Vector4d(0.5, 0.5, 0, 1)));

	int changes = 0;
	image->signalDataChanged.connect([&] { ++changes; });
	image->setDirtyMem();
	image->setModality(Data::LabelMap);
	image->setModality(Data::LabelMap);
	EXPECT_EQ(changes, 2);
	EXPECT_EQ(image->modality(), Data::LabelMap);
}

TEST(SharedImageTest, CloneCopiesTheMemory)
{
	auto image = makeImage(3.0f, "original");
	image->setModality(Data::LabelMap);
	image->setMatrixToWorld(shift(2));
	std::shared_ptr<MemImage> shared = image->sharedMem();
	EXPECT_EQ(shared.get(), image->mem());

	auto copy = image->clone();
	EXPECT_EQ(copy->name(), "original");
	EXPECT_EQ(copy->modality(), Data::LabelMap);
	EXPECT_EQ(copy->matrixToWorld(), shift(2));
	EXPECT_NE(copy->mem(), image->mem());
	static_cast<float*>(copy->mem()->data())[0] = 9.0f;
	EXPECT_EQ(firstValue(image.get()), 3.0f);
}

TEST(SharedImageSetTest, CurrentImageAndIndexing)
{
	SharedImageSet set("series");
	EXPECT_EQ(set.kind(), Data::ImageSet);
	EXPECT_EQ(set.get(), nullptr);
	EXPECT_EQ(set.mem(), nullptr);
	EXPECT_THROW(set.get(0), std::out_of_range);
	EXPECT_EQ(set.add(nullptr), nullptr);

	SharedImage* first = set.add(makeImage(1.0f));
	SharedImage* second = set.add(makeImage(2.0f));
	EXPECT_EQ(set.size(), 2);
	EXPECT_EQ(set.get(), first);
	EXPECT_EQ(set.img(1), second);
	set.setCurrentIndex(1);
	EXPECT_EQ(set.get(-1), second);
	EXPECT_EQ(set.mem(), second->mem());
	EXPECT_THROW(set.setCurrentIndex(2), std::out_of_range);
	EXPECT_THROW(set.get(2), std::out_of_range);
	EXPECT_THROW(set.get(-2), std::out_of_range);

	SharedImageSet named(makeImage(1.0f, "scan"));
	EXPECT_EQ(named.name(), "scan");
	EXPECT_EQ(named.size(), 1);
}

TEST(SharedImageSetTest, MatrixAndModalityFollowTheCurrentImage)
{
	SharedImageSet set;
	set.setMatrix(shift(1));
	EXPECT_EQ(set.matrixToWorld(), shift(1));
	SharedImage* first = set.add(makeImage(1.0f));
	SharedImage* second = set.add(makeImage(2.0f));
	// An added image keeps its own placement, and the set reports the current image's.
	EXPECT_EQ(set.matrixToWorld(), Eigen::Matrix4d::Identity());
	second->setMatrixToWorld(shift(4));
	second->setModality(Data::LabelMap);
	set.setCurrentIndex(1);
	EXPECT_EQ(set.matrix(), shift(4));
	EXPECT_EQ(set.modality(), Data::LabelMap);
	EXPECT_TRUE(set.matrixFromWorld().isApprox(shift(-4)));

	set.setMatrixToWorld(shift(7));
	set.setModality(Data::NoModality);
	EXPECT_EQ(first->matrixToWorld(), shift(7));
	EXPECT_EQ(second->matrixToWorld(), shift(7));
	EXPECT_EQ(first->modality(), Data::NoModality);
	EXPECT_EQ(second->modality(), Data::NoModality);
}

TEST(SharedImageSetTest, SelectionPolicies)
{
	Selection all;
	EXPECT_TRUE(all.isSelected(3));
	EXPECT_TRUE(all.isSelected(3, Selection::EmptySelectsAll));
	EXPECT_FALSE(all.isSelected(0, Selection::EmptySelectsNone));
	EXPECT_TRUE(all.isSelected(0, Selection::EmptySelectsFirst));
	EXPECT_FALSE(all.isSelected(1, Selection::EmptySelectsFirst));
	EXPECT_FALSE(all.isSelected(-1));

	Selection some({4, 1, 4});
	EXPECT_EQ(some.indices(), (std::vector<int>{1, 4}));
	EXPECT_TRUE(some.isSelected(4, Selection::EmptySelectsNone));
	EXPECT_FALSE(some.isSelected(0));
	EXPECT_THROW(Selection({-1}), std::invalid_argument);

	SharedImageSet set;
	set.setSelection(some);
	EXPECT_EQ(set.selection(), some);
}

TEST(SharedImageSetTest, CloneWithAndWithoutImages)
{
	SharedImageSet set("labels");
	set.components().add(std::make_unique<Tag>())->value = 6;
	set.add(makeImage(1.0f));
	set.add(makeImage(2.0f));
	set.setMatrixToWorld(shift(3));
	set.setModality(Data::LabelMap);
	set.setCurrentIndex(1);
	set.setSelection(Selection({1}));

	auto empty = set.clone(SharedImageSet::CloneWithoutImages);
	EXPECT_EQ(empty->size(), 0);
	EXPECT_EQ(empty->name(), "labels");
	EXPECT_EQ(empty->matrixToWorld(), shift(3));
	EXPECT_EQ(empty->modality(), Data::LabelMap);
	ASSERT_NE(empty->components().get<Tag>(), nullptr);
	EXPECT_EQ(empty->components().get<Tag>()->value.value(), 6);
	EXPECT_TRUE(empty->selection().isEmpty());

	auto full = set.clone(SharedImageSet::CloneWithImages);
	ASSERT_EQ(full->size(), 2);
	EXPECT_EQ(full->currentIndex(), 1);
	EXPECT_EQ(full->selection(), set.selection());
	EXPECT_EQ(full->get(1)->matrixToWorld(), shift(3));
	EXPECT_NE(full->get(1)->mem(), set.get(1)->mem());
	EXPECT_EQ(firstValue(full->get(1)), 2.0f);
}

TEST(SharedImageSetTest, ListsFilterImageSetsByKindAndModality)
{
	SharedImageSet plain("plain");
	SharedImageSet labels("labels");
	labels.setModality(Data::LabelMap);
	auto loose = makeImage(1.0f);
	Data other;
	DataList list{&plain, loose.get(), &labels, &other};

	EXPECT_EQ(list.getImages(), (std::vector<SharedImageSet*>{&plain, &labels}));
	EXPECT_EQ(list.getImages(Data::ImageSet).size(), 2u);
	EXPECT_TRUE(list.getImages(Data::Image).empty());
	EXPECT_EQ(list.getImages(0, Data::LabelMap), (std::vector<SharedImageSet*>{&labels}));

	OwningDataList owning;
	owning.add(makeImage(1.0f));
	owning.add(std::make_unique<SharedImageSet>("first"));
	auto labelSet = std::make_unique<SharedImageSet>("second");
	labelSet->setModality(Data::LabelMap);
	owning.add(std::move(labelSet));
	auto extracted = owning.extractFirstImage(0, Data::LabelMap);
	ASSERT_TRUE(extracted);
	EXPECT_EQ(extracted->name(), "second");
	EXPECT_EQ(owning.size(), 2);
	EXPECT_EQ(owning.extractFirstImage(Data::ImageSet)->name(), "first");
	EXPECT_EQ(owning.extractFirstImage(), nullptr);
	EXPECT_EQ(owning.size(), 1);
}

TEST(SharedImageTest, KeepsItsValueRangeUntilItsValuesMayChange)
{
	const std::unique_ptr<SharedImage> image = makeImage(1.0f);
	const SharedImage& reader = *image;
	EXPECT_EQ(reader.valueRange()->high, 1.0);
	reader.mem();
	EXPECT_EQ(reader.valueRange()->high, 1.0);
	EXPECT_EQ(reader.valueRangeReads(), 1);

	// Every way of handing the values out for writing, or of recording a write, renews the range.
	const std::function<float*()> writes[] = {
	    [&] { return static_cast<float*>(image->mem()->data()); },
	    [&] { return static_cast<float*>(image->sharedMem()->data()) + 1; },
	    [&] { return static_cast<float*>(const_cast<MemImage*>(reader.mem())->data()) + 2; },
	};
	for (int i = 0; i < 3; ++i)
	{
		*writes[i]() = 10.0f + static_cast<float>(i);
		if (i == 2)
			image->setDirtyMem();
		EXPECT_EQ(reader.valueRange()->high, 10.0 + i) << i;
		EXPECT_EQ(reader.valueRangeReads(), 2 + i) << i;
	}
}
