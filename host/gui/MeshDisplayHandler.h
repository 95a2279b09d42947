#pragma once

#include "host/gui/ObjectDisplayHandler.h"

namespace Quorvale
{
	/// Shows surface meshes (`GlMesh`): always in the 3-D view, and as their cut line in slice views of
	/// a volume image (which gives the planes). Registered by the window as "Quorvale.MeshDisplayHandler".
	class MeshDisplayHandler : public ObjectDisplayHandler
	{
	public:
		bool canHandle(const Data* data) const override;
		bool canShowIn(const Data* data, const GUI::View* view) const override;

	protected:
		std::unique_ptr<GlObject> createObject(Data& data) const override;
	};
}
