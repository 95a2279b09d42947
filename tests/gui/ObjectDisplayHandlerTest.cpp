#include "host/gui/ObjectDisplayHandler.h"

#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "host/gui/MeshDisplayHandler.h"
#include "host/gui/PointCloudDisplayHandler.h"
#include "host/gui/View.h"
#include "host/lib/Mesh.h"
#include "host/lib/PointCloud.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

using namespace Quorvale;

namespace
{
	std::unique_ptr<Mesh> triangle()
	{
		return std::make_unique<Mesh>(std::vector<Eigen::Vector3d>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
		                              std::vector<Eigen::Vector3i>{{0, 1, 2}});
	}

	/// The views a handler is asked about: the 3-D view, and slice views without an image, of a volume and of a planar image.
	struct Views
	{
		std::unique_ptr<SharedImageSet> volume = RenderTest::image({8, 8, 8});
		std::unique_ptr<SharedImageSet> planar = RenderTest::image({8, 8, 1});
		GUI::View volumeView{std::make_unique<GlVolumeView>()};
		GUI::View bare{std::make_unique<GlSliceView>(2)};
		GUI::View ofVolume{std::make_unique<GlSliceView>(1)};
		GUI::View ofPlane{std::make_unique<GlSliceView>(2)};

		Views()
		{
			ofVolume.glView()->setImage(volume.get());
			ofPlane.glView()->setImage(planar.get());
		}
		std::vector<GUI::View*> all() { return {&volumeView, &bare, &ofVolume, &ofPlane}; }
	};
}

TEST(ObjectDisplayHandlerTest, MeshesNeedAVolumesPlanesInSliceViewsPointCloudsOnlyAVolumeSlice)
{
	Views views;
	auto mesh = triangle();
	PointCloud cloud({{0, 0, 0}}, 0, 0, "cloud");
	MeshDisplayHandler meshes;
	PointCloudDisplayHandler clouds;
	EXPECT_TRUE(meshes.canHandle(mesh.get()));
	EXPECT_FALSE(meshes.canHandle(&cloud));
	EXPECT_TRUE(clouds.canHandle(&cloud));
	EXPECT_FALSE(clouds.canHandle(mesh.get()));
	EXPECT_FALSE(clouds.canHandle(views.volume.get()));
	const std::vector<bool> meshFits = {true, false, true, false}, cloudFits = {true, true, true, false};
	for (size_t i = 0; i < views.all().size(); ++i)
	{
		EXPECT_EQ(meshes.canShowIn(mesh.get(), views.all()[i]), meshFits[i]) << i;
		EXPECT_EQ(clouds.canShowIn(&cloud, views.all()[i]), cloudFits[i]) << i;
		EXPECT_FALSE(meshes.canShowIn(&cloud, views.all()[i])) << i;
	}
}

TEST(ObjectDisplayHandlerTest, AnObjectLivesWhileAViewShowsItsDataAndGoesWithTheData)
{
	Views views;
	auto mesh = triangle();
	MeshDisplayHandler handler;
	handler.show(mesh.get(), &views.volumeView);
	handler.show(mesh.get(), &views.ofVolume);
	GlObject* object = handler.object(mesh.get());
	ASSERT_NE(object, nullptr);
	EXPECT_EQ(object->typeName(), "GlMesh");
	handler.hide(mesh.get(), &views.volumeView);
	EXPECT_FALSE(views.volumeView.glView()->hasObject(object));
	EXPECT_TRUE(views.ofVolume.glView()->hasObject(object));
	EXPECT_EQ(handler.createOptionsWidget(mesh.get(), nullptr, nullptr), nullptr);

	mesh.reset();
	EXPECT_TRUE(views.ofVolume.glView()->objects().empty());
	auto other = triangle();
	EXPECT_EQ(handler.object(other.get()), nullptr);
	EXPECT_TRUE(handler.viewsOf(other.get()).empty());
}
