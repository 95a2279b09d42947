#include "host/gui/GlPointCloud.h"

#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "host/lib/PointCloud.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Quorvale;

TEST(GlPointCloudTest, PointsShowInTheVolumeViewAndInSlicesOfVolumesOnly)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	const std::vector<Eigen::Vector3d> points = {{2, 3, 4}, {14, 3, 9}, {8, 15, 1}};
	PointCloud cloud(points, 0, 0, "cloud");
	GlPointCloud object(cloud);
	auto volume = RenderTest::image({20, 20, 20});
	auto planar = RenderTest::image({20, 20, 1});
	const Eigen::Vector4f orange = GlPointCloud::color().cast<float>();
	struct Case
	{
		const char* name;
		std::function<std::unique_ptr<GlView>()> make;
		bool shown;
	};
	const Case cases[] = {
	    {"3-D view", [] { return std::make_unique<GlVolumeView>(); }, true},
	    {"slice view without an image", [] { return std::make_unique<GlSliceView>(2); }, true},
	    {"slice view of a volume",
	     [&]
	     {
		     auto v = std::make_unique<GlSliceView>(1);
		     v->setImage(volume.get());
		     return v;
	     },
	     true},
	    {"slice view of a planar image",
	     [&]
	     {
		     auto v = std::make_unique<GlSliceView>(2);
		     v->setImage(planar.get());
		     return v;
	     },
	     false},
	};
	for (const Case& c : cases)
	{
		std::unique_ptr<GlView> view = c.make();
		view->addObject(&object);
		const RenderTest::Frame frame = RenderTest::render(*view);
		for (const Eigen::Vector3d& p : points)
			EXPECT_EQ(RenderTest::near(frame.at(p), orange), c.shown) << c.name << ": " << p.transpose();
	}

	// Moved points are drawn where they went.
	GlVolumeView view;
	view.addObject(&object);
	cloud.setPoints({{5, 5, 5}, {6, 5, 5}});
	const RenderTest::Frame frame = RenderTest::render(view);
	EXPECT_TRUE(RenderTest::near(frame.at({5, 5, 5}), orange));
}
