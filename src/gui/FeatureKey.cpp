#include "src/gui/FeatureKey.h"

namespace Quorvale::detail
{
	void FeatureKey::registerMetaType()
	{
		static const int id = []
		{
			const int type = qRegisterMetaType<FeatureKey>("Quorvale::detail::FeatureKey");
			qRegisterMetaType<FeatureKey>("Quorvale::FeatureKey");
			return type;
		}();
		(void)id;
	}
}
