#include "host/gui/MeshDisplayHandler.h"

#include "host/gui/GlMesh.h"
#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "host/gui/View.h"
#include "host/lib/Mesh.h"

namespace Quorvale
{
	bool MeshDisplayHandler::canHandle(const Data* data) const { return dynamic_cast<const Mesh*>(data) != nullptr; }

	bool MeshDisplayHandler::canShowIn(const Data* data, const GUI::View* view) const
	{
		if (!canHandle(data) || !view)
			return false;
		if (const auto* slice = dynamic_cast<const GlSliceView*>(view->glView()))
			return slice->slice().count() > 0 && slice->kind() == GlView::VolumeSlice;
		return dynamic_cast<const GlVolumeView*>(view->glView()) != nullptr;
	}

	std::unique_ptr<GlObject> MeshDisplayHandler::createObject(Data& data) const
	{
		return std::make_unique<GlMesh>(static_cast<Mesh&>(data));
	}
}
