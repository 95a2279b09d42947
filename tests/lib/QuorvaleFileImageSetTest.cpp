#include "host/core/Log.h"
#include "host/lib/ImageSetFilePlugin.h"
#include "host/lib/MemImage.h"
#include "host/lib/QuorvaleFile.h"
#include "host/lib/QuorvaleFileIO.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>

using namespace Quorvale;

namespace
{
	std::unique_ptr<SharedImage> rampImage(const ImageDescriptor& descriptor, const std::string& name)
	{
		std::shared_ptr<MemImage> mem = MemImage::create(descriptor);
		auto* bytes = static_cast<unsigned char*>(mem->data());
		for (size_t i = 0; i < mem->byteSize(); ++i)
			bytes[i] = static_cast<unsigned char>(i * 7 + 3);
		return std::make_unique<SharedImage>(std::move(mem), name);
	}

	/// Three images of different element types and placements, the second current, two selected.
	std::unique_ptr<SharedImageSet> sampleSet()
	{
		auto set = std::make_unique<SharedImageSet>("Scan series");
		ImageDescriptor labels(ImageDescriptor::UnsignedShort, Eigen::Vector3i(4, 3, 2), 2, Eigen::Vector3d(0.5, 0.75, 2.0), false);
		labels.setStorageMapping(0.5, -100);
		SharedImage* first = set->add(rampImage(labels, "labels"));
		first->setModality(Data::LabelMap);
		Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		m(0, 3) = 12.5;
		m(2, 1) = -0.25;
		first->setMatrixToWorld(m);
		set->add(rampImage(ImageDescriptor(ImageDescriptor::Float, Eigen::Vector3i(5, 2, 1)), "slice"));
		set->add(rampImage(ImageDescriptor(ImageDescriptor::Bytes3, Eigen::Vector3i(2, 2, 1), 1), ""));
		set->setCurrentIndex(1);
		set->setSelection(Selection({0, 2}));
		return set;
	}

	std::string bodyOf(const SharedImageSet& set)
	{
		std::ostringstream out;
		EXPECT_TRUE(ImageSetFilePlugin().write(set, out));
		return out.str();
	}

	bool loadBody(const std::string& body, SharedImageSet& set)
	{
		std::istringstream in(body);
		return ImageSetFilePlugin().load(body.size(), set, in);
	}

	void expectSameImage(const SharedImage& a, const SharedImage& b)
	{
		EXPECT_EQ(a.name(), b.name());
		EXPECT_TRUE(a.descriptor() == b.descriptor());
		EXPECT_EQ(a.modality(), b.modality());
		EXPECT_EQ(a.matrixToWorld(), b.matrixToWorld());
		ASSERT_EQ(a.mem()->byteSize(), b.mem()->byteSize());
		EXPECT_EQ(std::memcmp(a.mem()->data(), b.mem()->data(), a.mem()->byteSize()), 0);
		const MemImage& memA = *a.mem();
		const MemImage& memB = *b.mem();
		EXPECT_EQ(typeid(memA), typeid(memB));
	}
}

TEST(QuorvaleFileImageSetTest, ImageSetsAreStoredByDefault)
{
	const SharedImageSet set;
	const auto* handler = dynamic_cast<const ImageSetFilePlugin*>(QuorvaleFile::pluginFor(set));
	ASSERT_NE(handler, nullptr);
	EXPECT_EQ(handler->blockType(set), ImageSetFilePlugin::kBlockType);
	EXPECT_EQ(handler->blockType(Data("other")), 0u);
	EXPECT_EQ(handler->createData(ImageSetFilePlugin::kBlockType + 1), nullptr);
}

TEST(QuorvaleFileImageSetTest, ASetComesBackWithEveryImageWhole)
{
	const auto set = sampleSet();
	std::ostringstream out;
	ASSERT_TRUE(QuorvaleFile::write({set.get()}, out));
	std::istringstream in(out.str());
	auto result = QuorvaleFile::read(in);
	ASSERT_TRUE(result.ok());
	ASSERT_EQ(result.data.size(), 1);
	const auto* copy = dynamic_cast<const SharedImageSet*>(result.data.get(0));
	ASSERT_NE(copy, nullptr);
	EXPECT_EQ(copy->name(), "Scan series");
	ASSERT_EQ(copy->size(), 3);
	for (int i = 0; i < 3; ++i)
		expectSameImage(*set->get(i), *copy->get(i));
	EXPECT_EQ(copy->currentIndex(), 1);
	EXPECT_TRUE(copy->selection() == set->selection());
	EXPECT_EQ(copy->modality(), set->modality());
	EXPECT_NE(dynamic_cast<const TypedImage<unsigned short>*>(copy->mem(0)), nullptr);
}

TEST(QuorvaleFileImageSetTest, AnEmptySetKeepsItsOwnMatrixAndModality)
{
	SharedImageSet set("nothing yet");
	Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
	m(1, 3) = -4;
	set.setMatrixToWorld(m);
	set.setModality(Data::LabelMap);
	SharedImageSet copy;
	ASSERT_TRUE(loadBody(bodyOf(set), copy));
	EXPECT_TRUE(copy.isEmpty());
	EXPECT_EQ(copy.matrixToWorld(), m);
	EXPECT_EQ(copy.modality(), Data::LabelMap);
}

TEST(QuorvaleFileImageSetTest, DamagedBodiesFailWithAMessageAndNeverCrash)
{
	const std::string body = bodyOf(*sampleSet());
	for (size_t cut = 0; cut < body.size(); ++cut)
	{
		Log::ScopedCapture log;
		SharedImageSet copy;
		bool ok = true;
		EXPECT_NO_THROW(ok = loadBody(body.substr(0, cut), copy)) << cut;
		EXPECT_FALSE(ok) << cut;
		EXPECT_EQ(log->count(Log::Error), 1) << cut;
	}
	std::mt19937 random(99);
	std::uniform_int_distribution<size_t> position(0, body.size() - 1);
	std::uniform_int_distribution<int> mask(1, 255);
	for (int round = 0; round < 2000; ++round)
	{
		std::string damaged = body;
		for (int i = 0; i < 3; ++i)
			damaged[position(random)] ^= static_cast<char>(mask(random));
		Log::ScopedCapture log;
		SharedImageSet copy;
		bool ok = false;
		ASSERT_NO_THROW(ok = loadBody(damaged, copy)) << round;
		if (!ok)
		{
			EXPECT_GE(log->count(Log::Error), 1) << round;
		}
	}
}

TEST(QuorvaleFileImageSetTest, SizesAreCheckedBeforeAnythingIsAllocated)
{
	SharedImageSet set;
	set.add(rampImage(ImageDescriptor(ImageDescriptor::Double, Eigen::Vector3i(2, 2, 2)), "small"));
	const std::string body = bodyOf(set);
	// Offsets: tag 9, count 4, current 4, modality 4, matrix 128, selection count 4, name length 4, name 5, pixel type 4.
	const size_t dimensions = 9 + 4 + 4 + 4 + 128 + 4 + 4 + 5 + 4;
	const size_t byteCount = dimensions + 12 + 4 + 24 + 1 + 16 + 4 + 128;
	std::string u32max(4, '\x7f');
	u32max[0] = '\xff';
	const std::pair<size_t, std::string> damages[] = {
	    {9, std::string("\xff\xff\xff\x0f", 4)}, // image count
	    {dimensions, u32max},                    // x dimension 2^31 - 1
	    {byteCount, std::string("\0\0\0\0\0\0\0\x10", 8)},
	};
	for (const auto& [offset, value] : damages)
	{
		std::string damaged = body;
		damaged.replace(offset, value.size(), value);
		Log::ScopedCapture log;
		SharedImageSet copy;
		EXPECT_FALSE(loadBody(damaged, copy)) << offset;
		ASSERT_EQ(log->count(Log::Error), 1) << offset;
		EXPECT_NE(log->messages(Log::Error)[0].find("damaged"), std::string::npos) << log->messages(Log::Error)[0];
	}
}
