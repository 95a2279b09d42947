#include "app/ProgramContext.h"

#include <stdexcept>

#include <CLI/CLI.hpp>

#include "host/core/MemoryLimit.h"

namespace Quorvale
{
	void ProgramContext::addGlobalOptions(CLI::App& app)
	{
		app.add_option("--plugin-dir", m_pluginDirOption,
		               "Folder of the plug-in libraries (default: $QUORVALE_PLUGIN_DIR, else the build's plug-in folder)");
	}

	std::string ProgramContext::pluginDirectory() const
	{
		return m_pluginDirOption.empty() ? PluginManager::defaultPluginDirectory() : m_pluginDirOption;
	}

	const PluginManager::LoadResult& ProgramContext::loadPlugins()
	{
		if (!m_loadResult)
			m_loadResult = m_pluginManager.loadFolder(pluginDirectory());
		return *m_loadResult;
	}

	const PluginManager::LoadResult& ProgramContext::requirePlugins()
	{
		const PluginManager::LoadResult& result = loadPlugins();
		if (!result.loaded.empty())
			return result;
		std::string reasons;
		for (const auto& failure : result.failures)
			reasons += "\n  " + failure.message;
		throw std::runtime_error("No plug-ins loaded from '" + pluginDirectory() + "'" +
		                         (reasons.empty() ? std::string(": it holds no plug-in libraries (lib*.so)") : ":" + reasons));
	}

	void ProgramContext::setAction(std::function<int()> action) { m_action = std::move(action); }

	int ProgramContext::run()
	{
		// A memory limit that cannot be read would silently mean none.
		if (const std::string problem = MemoryLimit::settingProblem(); !problem.empty())
			throw std::runtime_error(problem);
		return m_action ? m_action() : 1;
	}
}
