#include "app/ProgramContext.h"

#include <iostream>
#include <stdexcept>

#include <CLI/CLI.hpp>

#include "app/ConsoleLogSink.h"
#include "host/core/MemoryLimit.h"

namespace Quorvale
{
	void ProgramContext::printError(const std::string& message) { std::cerr << "quorvale: error: " << message << '\n'; }

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
		if (m_loadResult)
			return *m_loadResult;
		// The manager logs each refusal; it is said here once, like the program's other errors.
		ConsoleLogSink::ErrorHold held;
		m_loadResult = m_pluginManager.loadFolder(pluginDirectory());
		for (const auto& failure : m_loadResult->failures)
		{
			held.drop(failure.message);
			printError("not loaded: " + failure.message);
		}
		return *m_loadResult;
	}

	const PluginManager::LoadResult& ProgramContext::requirePlugins()
	{
		const PluginManager::LoadResult& result = loadPlugins();
		if (!result.loaded.empty())
			return result;
		throw std::runtime_error("No plug-ins loaded from '" + pluginDirectory() + "'" +
		                         (result.failures.empty() ? ": it holds no plug-in libraries (lib*.so)" : ""));
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
