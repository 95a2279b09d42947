#include "host/gui/PointCloudDisplayHandler.h"

#include "host/gui/GlPointCloud.h"
#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "host/gui/View.h"
#include "host/lib/PointCloud.h"

namespace Quorvale
{
	bool PointCloudDisplayHandler::canHandle(const Data* data) const { return dynamic_cast<const PointCloud*>(data) != nullptr; }

	bool PointCloudDisplayHandler::canShowIn(const Data* data, const GUI::View* view) const
	{
		if (!canHandle(data) || !view)
			return false;
		if (const auto* slice = dynamic_cast<const GlSliceView*>(view->glView()))
			return slice->kind() == GlView::VolumeSlice;
		return dynamic_cast<const GlVolumeView*>(view->glView()) != nullptr;
	}

	std::unique_ptr<GlObject> PointCloudDisplayHandler::createObject(Data& data) const
	{
		return std::make_unique<GlPointCloud>(static_cast<PointCloud&>(data));
	}
}
