#include "host/gui/InteractiveObject.h"

namespace Quorvale
{
	InteractiveObject::InteractiveObject(std::unique_ptr<GlObject> object, std::unique_ptr<Manipulator> manipulator, bool enabled)
	    : m_object(std::move(object))
	    , m_manipulator(std::move(manipulator))
	{
		if (m_manipulator)
			m_manipulator->setEnabled(enabled);
	}

	InteractiveObject::~InteractiveObject() { m_manipulator.reset(); }
}
