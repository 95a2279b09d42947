#include "host/lib/PluginManager.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>

#include <dlfcn.h>
#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/lib/PluginBase.h"
#include "host/lib/PluginDescriptor.h"

#ifndef QUORVALE_DEFAULT_PLUGIN_DIR
#error "QUORVALE_DEFAULT_PLUGIN_DIR must name the build's plug-in folder"
#endif

namespace Quorvale
{
	namespace
	{
		const char* const kCategory = "Core.Plugin";

		std::string lastDlError()
		{
			const char* text = dlerror();
			return text ? text : "unknown error";
		}

		std::string exceptionText(std::exception_ptr error)
		{
			try
			{
				std::rethrow_exception(error);
			}
			catch (const std::exception& e)
			{
				return e.what();
			}
			catch (...)
			{
				return "unknown exception";
			}
		}
	}

	PluginManager::PluginManager() = default;

	PluginManager::~PluginManager() { shutdown(); }

	std::string PluginManager::defaultPluginDirectory()
	{
		const char* fromEnvironment = std::getenv("QUORVALE_PLUGIN_DIR");
		if (fromEnvironment && *fromEnvironment)
			return fromEnvironment;
		return QUORVALE_DEFAULT_PLUGIN_DIR;
	}

	PluginManager::Failure PluginManager::refuse(const std::string& path, const std::string& message) const
	{
		Log::log(Log::Error, kCategory, message);
		return {path, message};
	}

	const PluginManager::Entry* PluginManager::findLoaded(const std::string& id) const
	{
		for (const Entry& entry : m_entries)
			if (entry.initialised && entry.info.id == id)
				return &entry;
		return nullptr;
	}

	PluginManager::EntryPoints PluginManager::entryPointsOf(void* library)
	{
		EntryPoints points;
		points.descriptor = static_cast<const QuorvalePluginDescriptor*>(dlsym(library, PluginDescriptor::descriptorSymbol));
		points.pluginId = reinterpret_cast<PluginDescriptor::PluginIdFunction>(dlsym(library, PluginDescriptor::pluginIdSymbol));
		points.createPlugin =
		    reinterpret_cast<PluginDescriptor::CreatePluginFunction>(dlsym(library, PluginDescriptor::createPluginSymbol));
		return points;
	}

	std::optional<std::string> PluginManager::refusal(const std::string& libraryPath, const EntryPoints& points, std::string& id) const
	{
		std::vector<std::string> missing;
		if (!points.descriptor)
			missing.emplace_back(PluginDescriptor::descriptorSymbol);
		if (!points.pluginId)
			missing.emplace_back(PluginDescriptor::pluginIdSymbol);
		if (!points.createPlugin)
			missing.emplace_back(PluginDescriptor::createPluginSymbol);
		if (!missing.empty())
			return fmt::format("'{}' is not a Quorvale plug-in: missing entry point {}", libraryPath, fmt::join(missing, ", "));

		const QuorvalePluginDescriptor* descriptor = points.descriptor;
		if (!descriptor->compatibility)
			return fmt::format("Plug-in library '{}' is incompatible with this host: it has no compatibility text", libraryPath);
		if (!PluginDescriptor::isCompatible(descriptor->compatibility))
			return fmt::format("Plug-in library '{}' is incompatible with this host: it was built for '{}', "
			                   "the host expects '{}' followed by the plug-in version",
			                   libraryPath, descriptor->compatibility, PluginDescriptor::hostCompatibilityText);

		const char* idText = points.pluginId();
		id = idText ? idText : "";
		if (id.empty())
			return fmt::format("Plug-in library '{}' gives an empty plug-in identifier", libraryPath);
		if (const Entry* other = findLoaded(id))
			return fmt::format("Plug-in library '{}' was not loaded: plug-in '{}' is already loaded from '{}'", libraryPath, id,
			                   other->info.path);
		return std::nullopt;
	}

	std::optional<std::string> PluginManager::createPlugin(Entry& entry, const EntryPoints& points)
	{
		try
		{
			entry.plugin.reset(points.createPlugin());
		}
		catch (...)
		{
			return fmt::format("Plug-in '{}' ('{}') could not be created: {}", entry.info.id, entry.info.path,
			                   exceptionText(std::current_exception()));
		}
		if (!entry.plugin)
			return fmt::format("Plug-in '{}' ('{}') could not be created: {} returned null", entry.info.id, entry.info.path,
			                   PluginDescriptor::createPluginSymbol);
		return std::nullopt;
	}

	std::string PluginManager::initialise(Entry& entry)
	{
		try
		{
			const PluginBase::Status status = entry.plugin->init();
			if (status != PluginBase::Success)
				return fmt::format("init returned status {}", static_cast<int>(status));
			entry.info.description = entry.plugin->description();
			entry.info.author = entry.plugin->author();
			return {};
		}
		catch (...)
		{
			return exceptionText(std::current_exception());
		}
	}

	PluginManager::LoadResult PluginManager::loadPlugin(const std::string& libraryPath)
	{
		LoadResult result;
		auto fail = [&](const std::string& message)
		{
			result.failures.push_back(refuse(libraryPath, message));
			return result;
		};

		dlerror();
		void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
		if (!library)
			return fail(fmt::format("Cannot load plug-in library '{}': {}", libraryPath, lastDlError()));

		const EntryPoints points = entryPointsOf(library);
		std::string id;
		if (std::optional<std::string> message = refusal(libraryPath, points, id))
		{
			// Until the plug-in object exists none of the library's code has been handed anywhere, so a
			// library refused up to that point may be closed again.
			dlclose(library);
			return fail(*message);
		}

		Entry entry;
		entry.library = library;
		entry.info.id = id;
		entry.info.path = libraryPath;
		if (std::optional<std::string> message = createPlugin(entry, points))
			return fail(*message);

		const std::string initError = initialise(entry);
		entry.initialised = initError.empty();
		m_entries.push_back(std::move(entry));
		if (!initError.empty())
			return fail(fmt::format("Plug-in '{}' ('{}') failed to initialise: {}", id, libraryPath, initError));

		Log::log(Log::Debug, kCategory, fmt::format("Loaded plug-in '{}' from '{}'", id, libraryPath));
		result.loaded.push_back(m_entries.back().info);
		return result;
	}

	PluginManager::LoadResult PluginManager::loadFolder(const std::string& folder)
	{
		namespace fs = std::filesystem;
		LoadResult result;
		std::error_code error;
		if (!fs::is_directory(folder, error))
		{
			result.failures.push_back(refuse(folder, fs::exists(folder, error)
			                                             ? fmt::format("Plug-in folder '{}' is not a folder", folder)
			                                             : fmt::format("Plug-in folder '{}' does not exist", folder)));
			return result;
		}

		std::vector<fs::path> libraries;
		for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
		{
			const std::string name = it->path().filename().string();
			const bool looksLikeLibrary = name.size() > 6 && name.compare(0, 3, "lib") == 0 && name.compare(name.size() - 3, 3, ".so") == 0;
			std::error_code typeError;
			if (looksLikeLibrary && it->is_regular_file(typeError))
				libraries.push_back(it->path());
		}
		if (error)
		{
			result.failures.push_back(refuse(folder, fmt::format("Cannot read plug-in folder '{}': {}", folder, error.message())));
			return result;
		}

		std::sort(libraries.begin(), libraries.end());
		for (const fs::path& library : libraries)
		{
			LoadResult one = loadPlugin(library.string());
			result.loaded.insert(result.loaded.end(), one.loaded.begin(), one.loaded.end());
			result.failures.insert(result.failures.end(), one.failures.begin(), one.failures.end());
		}
		return result;
	}

	std::vector<PluginManager::PluginInfo> PluginManager::plugins() const
	{
		std::vector<PluginInfo> out;
		for (const Entry& entry : m_entries)
			if (entry.initialised)
				out.push_back(entry.info);
		return out;
	}

	PluginBase* PluginManager::plugin(const std::string& id) const
	{
		const Entry* entry = findLoaded(id);
		return entry ? entry->plugin.get() : nullptr;
	}

	void PluginManager::shutdown()
	{
		// The library handles stay open on purpose: see the class comment.
		while (!m_entries.empty())
		{
			m_entries.back().plugin.reset();
			m_entries.pop_back();
		}
	}
}
