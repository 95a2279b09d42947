#pragma once

#include "host/gui/ObjectDisplayHandler.h"

namespace Quorvale
{
	/// Shows point clouds (`GlPointCloud`) in the 3-D view and in slice views that show a volume (or
	/// no image). Registered by the window as "Quorvale.PointCloudDisplayHandler".
	class PointCloudDisplayHandler : public ObjectDisplayHandler
	{
	public:
		bool canHandle(const Data* data) const override;
		bool canShowIn(const Data* data, const GUI::View* view) const override;

	protected:
		std::unique_ptr<GlObject> createObject(Data& data) const override;
	};
}
