#include "host/gui/MeshDisplayHandler.h"

#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "host/gui/PointCloudDisplayHandler.h"
#include "host/gui/View.h"
#include "host/lib/Mesh.h"
#include "host/lib/PointCloud.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

using namespace Quorvale;

TEST(MeshDisplayHandlerTest, MeshesNeedTheSlicePlanesOfAVolumePointCloudsAnyVolumeSlice)
{
	Mesh mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
	PointCloud cloud({{0, 0, 0}}, 0, 0, "cloud");
	auto volume = RenderTest::image({8, 8, 8});
	auto planar = RenderTest::image({8, 8, 1});
	// The 3-D view; slice views without an image, of a volume, of a planar image.
	GUI::View views[] = {GUI::View(std::make_unique<GlVolumeView>()), GUI::View(std::make_unique<GlSliceView>(2)),
	                     GUI::View(std::make_unique<GlSliceView>(1)), GUI::View(std::make_unique<GlSliceView>(2))};
	views[2].glView()->setImage(volume.get());
	views[3].glView()->setImage(planar.get());
	const bool meshFits[] = {true, false, true, false}, cloudFits[] = {true, true, true, false};
	MeshDisplayHandler meshes;
	PointCloudDisplayHandler clouds;
	for (int i = 0; i < 4; ++i)
	{
		EXPECT_EQ(meshes.canShowIn(&mesh, &views[i]), meshFits[i]) << i;
		EXPECT_EQ(clouds.canShowIn(&cloud, &views[i]), cloudFits[i]) << i;
		EXPECT_FALSE(meshes.canShowIn(&cloud, &views[i])) << i;
		EXPECT_FALSE(clouds.canShowIn(&mesh, &views[i])) << i;
	}
	EXPECT_FALSE(clouds.canHandle(volume.get()));
}
