#include "host/lib/PluginBase.h"

namespace Quorvale
{
	PluginBase::~PluginBase() = default;

	std::vector<std::string> PluginBase::dependencies() const { return {}; }

	void PluginBase::setApplicationController(void* /*controller*/) {}
}
