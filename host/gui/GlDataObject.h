#pragma once

#include "host/core/Signal.h"
#include "host/gl/GlObject.h"

#include <cstdint>
#include <vector>

namespace Quorvale
{
	class Data;

	/// A drawable object showing one data item (not owned): it takes the item's matrix to world, follows
	/// it when it changes, and counts the item's content changes (`signalDataChanged`) so that derived
	/// vertex lists are rebuilt only then. The item must outlive the object; a display handler drops
	/// the object when the item goes.
	class GlDataObject : public GlObject
	{
	public:
		explicit GlDataObject(Data& data);
		~GlDataObject() override;

		/// Raised by every content change of the data item, from 0.
		std::uint64_t dataVersion() const { return m_version; }

	protected:
		/// The box of some points.
		static Geometry::AlignedBox boxOf(const std::vector<Eigen::Vector3d>& points);

	private:
		std::uint64_t m_version = 0;
		SignalReceiver m_receiver;
	};
}
