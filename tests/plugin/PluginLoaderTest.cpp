#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/core/Log.h"
#include "host/lib/FactoryRegistry.h"
#include "host/lib/PluginAutoRegistrationGuard.h"
#include "host/lib/PluginDescriptor.h"
#include "host/lib/PluginManager.h"
#include "src/plugin/GraphPlugin.h"

using namespace Quorvale;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace
{
	const std::string hostText = "__QUORVALE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.0|buildflags=MSC_VER:1929,IDL:0|pluginversion=";

	std::string fixture(const std::string& name) { return std::string(QUORVALE_FIXTURE_PLUGIN_DIR) + "/lib" + name + ".so"; }

	std::string graphLibrary() { return PluginManager::defaultPluginDirectory() + "/libQuorvaleGraph.so"; }

	bool isMapped(const std::string& path)
	{
		void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
		if (handle)
			dlclose(handle);
		return handle != nullptr;
	}

	std::vector<std::string> ids(const std::vector<PluginManager::PluginInfo>& plugins)
	{
		std::vector<std::string> out;
		for (const auto& plugin : plugins)
			out.push_back(plugin.id);
		return out;
	}

	std::vector<std::string> paths(const std::vector<PluginManager::Failure>& failures)
	{
		std::vector<std::string> out;
		for (const auto& failure : failures)
			out.push_back(failure.path);
		return out;
	}

	/// A fresh empty folder, removed with the object.
	class TemporaryFolder
	{
	public:
		TemporaryFolder()
		{
			std::string pattern = (std::filesystem::temp_directory_path() / "quorvale-plugin-test-XXXXXX").string();
			if (!mkdtemp(pattern.data()))
				throw std::runtime_error("cannot create a temporary folder");
			m_path = pattern;
		}
		~TemporaryFolder() { std::filesystem::remove_all(m_path); }
		std::string file(const std::string& name) const { return (m_path / name).string(); }
		std::string path() const { return m_path.string(); }

	private:
		std::filesystem::path m_path;
	};

	std::string readFile(const std::string& path)
	{
		std::ifstream in(path);
		std::stringstream text;
		text << in.rdbuf();
		return text.str();
	}

	struct ProgramRun
	{
		int exitCode = -1;
		std::string out;
		std::string err;
	};

	ProgramRun runProgram(const std::string& arguments)
	{
		TemporaryFolder folder;
		const std::string command =
		    std::string("'") + QUORVALE_PROGRAM + "' " + arguments + " >'" + folder.file("out") + "' 2>'" + folder.file("err") + "'";
		const int status = std::system(command.c_str());
		ProgramRun run;
		run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
		run.out = readFile(folder.file("out"));
		run.err = readFile(folder.file("err"));
		return run;
	}
}

TEST(PluginDescriptorTest, AcceptsTheHostTextWithOrWithoutAPluginVersion)
{
	EXPECT_EQ(PluginDescriptor::hostCompatibilityText, hostText);
	EXPECT_TRUE(PluginDescriptor::isCompatible(hostText.c_str()));
	EXPECT_TRUE(PluginDescriptor::isCompatible((hostText + "2.0.1").c_str()));
}

TEST(PluginDescriptorTest, RefusesOtherHostsAndIncompleteTexts)
{
	EXPECT_FALSE(PluginDescriptor::isCompatible(nullptr));
	EXPECT_FALSE(PluginDescriptor::isCompatible(""));
	EXPECT_FALSE(PluginDescriptor::isCompatible("__QUORVALE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.0"));
	EXPECT_FALSE(PluginDescriptor::isCompatible(hostText.substr(0, hostText.size() - 1).c_str()));
	EXPECT_FALSE(PluginDescriptor::isCompatible(
	    "__QUORVALE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.1|buildflags=MSC_VER:1929,IDL:0|pluginversion="));
	EXPECT_FALSE(PluginDescriptor::isCompatible(
	    "__QUORVALE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.0|buildflags=MSC_VER:1929,IDL:1|pluginversion="));
}

namespace
{
	const char* exampleId() { return "Test.Guard"; }
	const char* emptyId() { return ""; }
}

TEST(PluginAutoRegistrationGuardTest, ListsTheIdentifierWhileAlive)
{
	auto count = []
	{
		const auto ids = PluginAutoRegistrationGuard::registeredPluginIds();
		return std::count(ids.begin(), ids.end(), "Test.Guard");
	};
	{
		PluginAutoRegistrationGuard first(&exampleId);
		EXPECT_EQ(first.pluginId(), "Test.Guard");
		EXPECT_EQ(count(), 1);
		{
			PluginAutoRegistrationGuard second(&exampleId);
			EXPECT_EQ(count(), 2);
		}
		EXPECT_EQ(count(), 1);
	}
	EXPECT_EQ(count(), 0);
}

TEST(PluginAutoRegistrationGuardTest, AMissingIdentifierIsLoggedAndNotListed)
{
	const auto before = PluginAutoRegistrationGuard::registeredPluginIds();
	Log::ScopedCapture log;
	{
		PluginAutoRegistrationGuard noFunction(nullptr);
		PluginAutoRegistrationGuard noId(&emptyId);
		EXPECT_EQ(PluginAutoRegistrationGuard::registeredPluginIds(), before);
	}
	EXPECT_EQ(PluginAutoRegistrationGuard::registeredPluginIds(), before);
	EXPECT_EQ(log->count(Log::Error), 2);
}

namespace
{
	class NamedData : public Data
	{
	public:
		using Data::Data;
	};

	/// Knows only `NamedData`; registered behind whatever other test registered before it.
	class NamedDataFactory : public DataAnnotationFactory
	{
	public:
		std::string dataDescription(const Data* data) override
		{
			return dynamic_cast<const NamedData*>(data) ? "Named " + data->name() : std::string();
		}
		std::unique_ptr<Data> cloneData(const Data* data) override
		{
			auto* named = dynamic_cast<const NamedData*>(data);
			return named ? std::make_unique<NamedData>(*named) : nullptr;
		}
	};
}

TEST(FactoryRegistryTest, AsksEveryFactoryAndFallsBackToTheDataItself)
{
	FactoryRegistry& registry = FactoryRegistry::get();
	const size_t before = registry.annotationFactories().size();
	registry.registerFactories(nullptr, nullptr, nullptr);
	EXPECT_EQ(registry.annotationFactories().size(), before);

	// A graph factory registered first must not stop the question from reaching the next factory.
	GraphPlugin().init();
	registry.registerFactories(nullptr, nullptr, std::make_unique<NamedDataFactory>());
	EXPECT_EQ(registry.annotationFactories().size(), before + 2);

	NamedData named("thing");
	EXPECT_EQ(registry.describeData(named), "Named thing");
	auto clone = registry.cloneData(named);
	ASSERT_NE(dynamic_cast<NamedData*>(clone.get()), nullptr);
	EXPECT_EQ(clone->name(), "thing");

	Data unknown("plain");
	EXPECT_EQ(registry.describeData(unknown), unknown.describe());
	EXPECT_EQ(registry.cloneData(unknown), nullptr);
}

TEST(PluginLoaderTest, LoadsTheBuiltGraphPluginLikeTheProgram)
{
	if (const char* dir = std::getenv("QUORVALE_PLUGIN_DIR"))
	{
		EXPECT_EQ(PluginManager::defaultPluginDirectory(), dir);
	}

	const size_t factoriesBefore = FactoryRegistry::get().annotationFactories().size();
	PluginManager manager;
	const auto result = manager.loadFolder(PluginManager::defaultPluginDirectory());
	ASSERT_TRUE(result.ok()) << result.failures.front().message;
	ASSERT_EQ(result.loaded.size(), 1u);
	const auto& info = result.loaded.front();
	EXPECT_EQ(info.id, "Quorvale.Graph");
	EXPECT_EQ(info.description, "Plugin for working with graphs");
	EXPECT_FALSE(info.author.empty());
	EXPECT_EQ(std::filesystem::path(info.path).filename(), "libQuorvaleGraph.so");
	EXPECT_THAT(ids(manager.plugins()), ElementsAre("Quorvale.Graph"));
	EXPECT_NE(dynamic_cast<GraphPlugin*>(manager.plugin("Quorvale.Graph")), nullptr);
	EXPECT_EQ(manager.plugin("Quorvale.Missing"), nullptr);
	EXPECT_EQ(FactoryRegistry::get().annotationFactories().size(), factoriesBefore + 1);
}

TEST(PluginLoaderTest, RefusesASecondPluginWithTheSameIdentifier)
{
	PluginManager manager;
	ASSERT_TRUE(manager.loadPlugin(graphLibrary()).ok());
	const auto again = manager.loadPlugin(graphLibrary());
	ASSERT_EQ(again.failures.size(), 1u);
	EXPECT_THAT(again.failures[0].message, HasSubstr("'Quorvale.Graph' is already loaded"));
	EXPECT_EQ(manager.plugins().size(), 1u);
	EXPECT_TRUE(isMapped(graphLibrary()));
}

TEST(PluginLoaderTest, RefusesAFileThatIsNotALibrary)
{
	TemporaryFolder folder;
	const std::string path = folder.file("libNotALibrary.so");
	std::ofstream(path) << "not a shared object\n";

	PluginManager manager;
	Log::ScopedCapture log;
	const auto result = manager.loadFolder(folder.path());
	ASSERT_EQ(result.failures.size(), 1u);
	EXPECT_EQ(result.failures[0].path, path);
	EXPECT_THAT(result.failures[0].message, AllOf(HasSubstr("Cannot load plug-in library"), HasSubstr(path)));
	EXPECT_THAT(log->messages(Log::Error), ElementsAre(result.failures[0].message));
	EXPECT_TRUE(manager.plugins().empty());
}

TEST(PluginLoaderTest, RefusesALibraryWithoutEntryPointsAndUnloadsIt)
{
	PluginManager manager;
	const auto result = manager.loadPlugin(fixture("FixtureNoEntryPoints"));
	ASSERT_EQ(result.failures.size(), 1u);
	EXPECT_THAT(result.failures[0].message,
	            AllOf(HasSubstr(fixture("FixtureNoEntryPoints")), HasSubstr("not a Quorvale plug-in"),
	                  HasSubstr("quorvalePluginDescriptor"), HasSubstr("quorvalePluginId"), HasSubstr("quorvaleCreatePlugin")));
	EXPECT_FALSE(isMapped(fixture("FixtureNoEntryPoints")));
}

TEST(PluginLoaderTest, RefusesAnotherHostsCompatibilityTextBeforeRunningThePlugin)
{
	PluginManager manager;
	Log::ScopedCapture log;
	const auto result = manager.loadPlugin(fixture("FixtureWrongCompat"));
	ASSERT_EQ(result.failures.size(), 1u);
	EXPECT_THAT(result.failures[0].message, AllOf(HasSubstr(fixture("FixtureWrongCompat")), HasSubstr("incompatible"),
	                                              HasSubstr("hostversion=4.4.0"), HasSubstr(hostText)));
	EXPECT_EQ(log->messages(2), std::vector<std::string>{result.failures[0].message}) << "the plug-in's init must not have run";
	EXPECT_FALSE(isMapped(fixture("FixtureWrongCompat")));
}

TEST(PluginLoaderTest, AcceptsAPluginVersionAfterTheHostText)
{
	PluginManager manager;
	const auto result = manager.loadPlugin(fixture("FixtureVersioned"));
	EXPECT_TRUE(result.ok());
	EXPECT_THAT(ids(result.loaded), ElementsAre("Test.Versioned"));
}

TEST(PluginLoaderTest, ReportsFailedInitsAndGoesOnWithTheNextLibrary)
{
	PluginManager manager;
	const auto result = manager.loadFolder(QUORVALE_FIXTURE_PLUGIN_DIR);

	EXPECT_THAT(ids(result.loaded), ElementsAre("Test.Alpha", "Test.Beta", "Test.Versioned"));
	EXPECT_THAT(paths(result.failures), ElementsAre(fixture("FixtureInitFails"), fixture("FixtureInitThrows"),
	                                                fixture("FixtureNoEntryPoints"), fixture("FixtureWrongCompat")));
	ASSERT_EQ(result.failures.size(), 4u);
	EXPECT_THAT(result.failures[0].message, AllOf(HasSubstr("'Test.InitFails'"), HasSubstr("init returned status 1")));
	EXPECT_THAT(result.failures[1].message, AllOf(HasSubstr("'Test.InitThrows'"), HasSubstr("fixture init exploded")));
	EXPECT_THAT(ids(manager.plugins()), ElementsAre("Test.Alpha", "Test.Beta", "Test.Versioned"));
	EXPECT_EQ(manager.plugin("Test.InitThrows"), nullptr);
	// Its code was run, so whatever it registered before failing must stay valid.
	EXPECT_TRUE(isMapped(fixture("FixtureInitThrows")));
}

TEST(PluginLoaderTest, ShutdownDestroysEveryCreatedPluginInReverseOrder)
{
	Log::ScopedCapture log;
	{
		PluginManager manager;
		manager.loadPlugin(fixture("FixtureAlpha"));
		manager.loadPlugin(fixture("FixtureInitThrows"));
		manager.loadPlugin(fixture("FixtureBeta"));
		EXPECT_THAT(log->messages(Log::Info), ::testing::Not(::testing::Contains(HasSubstr("destroyed"))))
		    << "a plug-in whose init failed is kept until shutdown";
		log.sink().clear();
	}
	EXPECT_THAT(log->messages(Log::Info), ElementsAre("Test.Beta destroyed", "Test.InitThrows destroyed", "Test.Alpha destroyed"));
}

TEST(PluginLoaderTest, AMissingFolderIsAFailure)
{
	PluginManager manager;
	const auto result = manager.loadFolder("/nonexistent/quorvale-plugins");
	ASSERT_EQ(result.failures.size(), 1u);
	EXPECT_THAT(result.failures[0].message, AllOf(HasSubstr("/nonexistent/quorvale-plugins"), HasSubstr("does not exist")));
}

TEST(QuorvaleProgramTest, ListsTheBuiltPlugin)
{
	const auto run = runProgram("plugins");
	EXPECT_EQ(run.exitCode, 0) << run.err;
	EXPECT_EQ(run.out, "Quorvale.Graph  Plugin for working with graphs\n");
	EXPECT_EQ(run.err, "");
}

TEST(QuorvaleProgramTest, ListsTheGoodPluginsAndReportsTheRefusedOnes)
{
	const auto run = runProgram(std::string("plugins --plugin-dir '") + QUORVALE_FIXTURE_PLUGIN_DIR + "'");
	EXPECT_EQ(run.exitCode, 1);
	EXPECT_EQ(run.out, "Test.Alpha      Fixture Test.Alpha\n"
	                   "Test.Beta       Fixture Test.Beta\n"
	                   "Test.Versioned  Fixture Test.Versioned\n");
	EXPECT_THAT(run.err, AllOf(HasSubstr("libFixtureWrongCompat.so"), HasSubstr("incompatible"), HasSubstr("libFixtureNoEntryPoints.so"),
	                           HasSubstr("fixture init exploded"), HasSubstr("init returned status 1")));
}

TEST(QuorvaleProgramTest, FailsClearlyOnBadInput)
{
	const auto missing = runProgram("--plugin-dir /nonexistent/quorvale-plugins plugins");
	EXPECT_EQ(missing.exitCode, 1);
	EXPECT_THAT(missing.err, HasSubstr("'/nonexistent/quorvale-plugins' does not exist"));

	TemporaryFolder empty;
	const auto none = runProgram("plugins --plugin-dir '" + empty.path() + "'");
	EXPECT_EQ(none.exitCode, 1);
	EXPECT_THAT(none.err, HasSubstr("no plug-in libraries"));

	const auto noCommand = runProgram("");
	EXPECT_EQ(noCommand.exitCode, 1);
	EXPECT_THAT(noCommand.err, HasSubstr("subcommand is required"));

	const auto help = runProgram("--help");
	EXPECT_EQ(help.exitCode, 0);
	EXPECT_THAT(help.out, AllOf(HasSubstr("plugins"), HasSubstr("--plugin-dir")));
}
