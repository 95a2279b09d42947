#pragma once

#include "host/core/NotCopyable.h"
#include "host/lib/PluginDescriptor.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Quorvale
{
	class PluginBase;
	/// Loads plug-in libraries, checks them against this host, creates and initialises their plug-in
	/// objects and keeps them until shutdown. A library that cannot be used is refused with a message
	/// (logged as an error and returned) and loading goes on with the next one.
	///
	/// Libraries are never unloaded once their plug-in object was created: the plug-in's `init` hands
	/// factories and handlers whose code lives in the library to process-wide registries. Only a
	/// library refused before `quorvaleCreatePlugin` was called is closed again.
	/// Use from one thread (the one on which the host starts up).
	class PluginManager : public Utils::NotCopyable
	{
	public:
		/// A plug-in that loaded and initialised.
		struct PluginInfo
		{
			std::string id;
			std::string description;
			std::string author;
			/// The library path as it was given to `loadPlugin` or found by `loadFolder`.
			std::string path;
		};

		/// A library or folder that was refused, with a message naming it and the reason.
		struct Failure
		{
			std::string path;
			std::string message;
		};

		/// Outcome of one load call.
		struct LoadResult
		{
			std::vector<PluginInfo> loaded;
			std::vector<Failure> failures;

			bool ok() const { return failures.empty(); }
		};

		PluginManager();
		/// Calls `shutdown`.
		~PluginManager();

		/// The folder to load plug-ins from: the environment variable QUORVALE_PLUGIN_DIR when set and
		/// not empty, else the plug-in folder of this build.
		static std::string defaultPluginDirectory();

		/// Loads one plug-in library: opens it, checks its entry points and compatibility text, creates
		/// the plug-in and calls `init`. A plug-in whose identifier is already loaded is refused.
		LoadResult loadPlugin(const std::string& libraryPath);
		/// Loads every file named lib*.so directly in `folder`, in file name order. A missing folder is a failure.
		LoadResult loadFolder(const std::string& folder);

		/// The loaded and initialised plug-ins in load order.
		std::vector<PluginInfo> plugins() const;
		/// The plug-in object of that identifier, or null.
		PluginBase* plugin(const std::string& id) const;

		/// Destroys every plug-in object in reverse creation order, including those whose `init` failed
		/// (kept until now because `init` may have registered parts of them before failing). Idempotent.
		void shutdown();

	private:
		struct Entry
		{
			PluginInfo info;
			std::unique_ptr<PluginBase> plugin;
			void* library = nullptr;
			bool initialised = false;
		};

		/// The entry points a plug-in library exports; null where one is missing.
		struct EntryPoints
		{
			const QuorvalePluginDescriptor* descriptor = nullptr;
			PluginDescriptor::PluginIdFunction pluginId = nullptr;
			PluginDescriptor::CreatePluginFunction createPlugin = nullptr;
		};

		static EntryPoints entryPointsOf(void* library);
		/// Why the library cannot be used (missing entry points, incompatible, no or a loaded
		/// identifier), or nothing; `id` receives the plug-in's identifier once it was asked.
		std::optional<std::string> refusal(const std::string& libraryPath, const EntryPoints& points, std::string& id) const;
		/// Creates the plug-in object into `entry`; why it failed, or nothing.
		static std::optional<std::string> createPlugin(Entry& entry, const EntryPoints& points);
		/// Calls `init` and takes the plug-in's description; why it failed, or empty.
		static std::string initialise(Entry& entry);
		Failure refuse(const std::string& path, const std::string& message) const;
		const Entry* findLoaded(const std::string& id) const;

		std::vector<Entry> m_entries;
	};
}
