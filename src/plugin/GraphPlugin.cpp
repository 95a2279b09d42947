#include "src/plugin/GraphPlugin.h"

#include <memory>

#include "host/gui/DataDisplayHandlerFactory.h"
#include "host/lib/FactoryRegistry.h"
#include "host/lib/QuorvaleFile.h"
#include "src/gl/GraphDisplayHandler.h"
#include "src/io/GraphQuorvaleFilePlugin.h"
#include "src/plugin/GraphDataAnnotationFactory.h"
#include "src/plugin/GraphPluginControllerFactory.h"
#include "src/plugin/GraphPluginFactory.h"

namespace Quorvale
{
	GraphPlugin::GraphPlugin() = default;

	GraphPlugin::~GraphPlugin()
	{
		if (m_repository)
			Resource::removeRepository(m_repository.get());
	}

	const char* GraphPlugin::id() { return "Quorvale.Graph"; }

	std::string GraphPlugin::author() const { return "QuorvaleGraph developers"; }

	std::string GraphPlugin::description() const { return "Plugin for working with graphs"; }

	PluginBase::Status GraphPlugin::init()
	{
		auto annotationFactory = std::make_unique<GraphDataAnnotationFactory>();
		auto controllerFactory = std::make_unique<GraphPluginControllerFactory>();
		auto algorithmFactory = std::make_unique<GraphPluginFactory>();
		FactoryRegistry::get().registerFactories(std::move(algorithmFactory), std::move(controllerFactory), std::move(annotationFactory));
		// A repository of an earlier `init` stays: it is registered with the host, which would be left
		// pointing at a destroyed one if it were replaced.
		if (!m_repository)
		{
			m_repository = std::make_unique<Repository_QuorvaleGraph>();
			Resource::addRepository(m_repository.get());
		}
		DataDisplayHandlerFactory::registerHandler("Quorvale.GraphDisplayHandler", [] { return std::make_unique<GraphDisplayHandler>(); });
		QuorvaleFile::addPlugin(std::make_unique<GraphQuorvaleFilePlugin>(GraphQuorvaleFilePlugin::kBlockType));
		return Success;
	}
}
