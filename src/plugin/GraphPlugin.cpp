#include "src/plugin/GraphPlugin.h"

#include <memory>

#include "host/lib/FactoryRegistry.h"
#include "src/plugin/GraphDataAnnotationFactory.h"

namespace Quorvale
{
	GraphPlugin::~GraphPlugin() = default;

	const char* GraphPlugin::id() { return "Quorvale.Graph"; }

	std::string GraphPlugin::author() const { return "QuorvaleGraph developers"; }

	std::string GraphPlugin::description() const { return "Plugin for working with graphs"; }

	PluginBase::Status GraphPlugin::init()
	{
		FactoryRegistry::get().registerFactories(std::make_unique<GraphDataAnnotationFactory>());
		return Success;
	}
}
