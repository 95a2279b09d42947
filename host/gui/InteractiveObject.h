#pragma once

#include "host/gl/GlObject.h"
#include "host/gui/Manipulator.h"

#include <memory>

namespace Quorvale
{
	/// A drawable object and the manipulator that edits it, shown together in views
	/// (`DisplayWidgetMulti::addObject`). Owns both; either may be null.
	class InteractiveObject
	{
	public:
		/// `enabled`: whether the manipulator receives events from the start.
		InteractiveObject(std::unique_ptr<GlObject> object, std::unique_ptr<Manipulator> manipulator, bool enabled);
		virtual ~InteractiveObject();
		InteractiveObject(const InteractiveObject&) = delete;
		InteractiveObject& operator=(const InteractiveObject&) = delete;

		GlObject* glObject() const { return m_object.get(); }
		Manipulator* baseManipulator() const { return m_manipulator.get(); }

	private:
		// The manipulator goes first: it may still refer to the object.
		std::unique_ptr<GlObject> m_object;
		std::unique_ptr<Manipulator> m_manipulator;
	};

	/// An interactive object with its concrete types.
	template <typename GlObjectT, typename ManipulatorT>
	class Interactive : public InteractiveObject
	{
	public:
		Interactive(std::unique_ptr<GlObjectT> object, std::unique_ptr<ManipulatorT> manipulator, bool enabled)
		    : InteractiveObject(std::move(object), std::move(manipulator), enabled)
		{
		}

		GlObjectT* object() const { return static_cast<GlObjectT*>(glObject()); }
		ManipulatorT* manipulator() const { return static_cast<ManipulatorT*>(baseManipulator()); }
	};
}
