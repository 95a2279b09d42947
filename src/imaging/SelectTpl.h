#pragma once

#include "host/lib/ImageMath/ExprBaseTpl.h"
#include "host/lib/ImageMath/ExprInterface.h"
#include "src/imaging/SelectGl.h"

#include <algorithm>

namespace Quorvale::ImageMath::internal
{
	/// The voxel-wise selection select(condition, yes, no): `yes` where the condition is not zero,
	/// `no` elsewhere. The three operands are held by value.
	template <typename Condition, typename Yes, typename No>
	class SelectTpl : public ExprBaseTpl<SelectTpl<Condition, Yes, No>>, public ExprInterface, public SelectGl
	{
	public:
		SelectTpl(const Condition& condition, const Yes& yes, const No& no)
		    : m_condition(condition)
		    , m_yes(yes)
		    , m_no(no)
		{
		}

		/// The condition's layout.
		ImageDescriptor imgDesc() const override { return m_condition.imgDesc(); }
		/// The largest of the operands' counts.
		int imageCount() const override { return std::max({m_condition.imageCount(), m_yes.imageCount(), m_no.imageCount()}); }
		/// The smallest of the operands' levels (constants offer `GpuIfResident`).
		int deviceSupport() const override
		{
			return std::min({m_condition.deviceSupport(), m_yes.deviceSupport(), m_no.deviceSupport(), static_cast<int>(GpuIfResident)});
		}

		const Condition& condition() const { return m_condition; }
		const Yes& yes() const { return m_yes; }
		const No& no() const { return m_no; }

		const GlExprInterface& conditionGl() const override { return m_condition; }
		GlExprInterface& conditionGl() override { return m_condition; }
		const GlExprInterface& yesGl() const override { return m_yes; }
		GlExprInterface& yesGl() override { return m_yes; }
		const GlExprInterface& noGl() const override { return m_no; }
		GlExprInterface& noGl() override { return m_no; }

	private:
		Condition m_condition;
		Yes m_yes;
		No m_no;
	};
}
