#include "app/DataFiles.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "app/ConsoleLogSink.h"
#include "host/core/Log.h"
#include "host/core/SafeSave.h"
#include "host/core/String.h"
#include "host/lib/AlgorithmFactory.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/AlgorithmUtils.h"
#include "host/lib/Data.h"
#include "host/lib/FactoryRegistry.h"
#include "host/lib/IoAlgorithm.h"
#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/NiftiIo.h"
#include "host/lib/PointCloud.h"
#include "host/lib/QuorvaleFile.h"
#include "host/lib/SharedImageSet.h"

namespace Quorvale::DataFiles
{
	namespace
	{
		Format niftiFormat()
		{
			Format format;
			format.name = "NIfTI";
			format.dataKind = "image set";
			format.extensions = {".nii.gz", ".nii"};
			format.load = [](const std::string& path)
			{
				std::vector<std::unique_ptr<Data>> loaded;
				loaded.push_back(NiftiIo::load(path));
				return loaded;
			};
			format.holds = [](const Data& data) { return dynamic_cast<const SharedImageSet*>(&data) != nullptr; };
			// A NIfTI file holds one volume: a set of several images would silently lose all but one.
			format.writeProblem = [](const Data& data) -> std::string
			{
				const int size = dynamic_cast<const SharedImageSet&>(data).size();
				return size == 1 ? std::string() : "a NIfTI file holds one image, the set has " + std::to_string(size);
			};
			format.save = [](const Data& data, const std::string& path) { NiftiIo::save(dynamic_cast<const SharedImageSet&>(data), path); };
			return format;
		}

		/// A surface file: meshes, and for PLY point clouds too (read as such when the file has no faces).
		Format surfaceFormat(const std::string& name, const std::string& extension, bool pointClouds)
		{
			Format format;
			format.name = name;
			format.dataKind = pointClouds ? "mesh or point cloud" : "mesh";
			format.extensions = {extension};
			format.load = [](const std::string& path)
			{
				std::vector<std::unique_ptr<Data>> loaded;
				loaded.push_back(MeshIo::load(path));
				return loaded;
			};
			format.holds = [pointClouds](const Data& data)
			{ return dynamic_cast<const Mesh*>(&data) || (pointClouds && dynamic_cast<const PointCloud*>(&data)); };
			format.writeProblem = [](const Data&) { return std::string(); };
			format.save = [](const Data& data, const std::string& path) { MeshIo::save(data, path); };
			return format;
		}

		/// "IO;Graph (graphml)" -> "graph": what a plug-in's file type holds, for messages.
		std::string dataKindOf(const AlgorithmFactory::Descriptor& descriptor)
		{
			std::string name = AlgorithmUtils::parseAlgorithmName(descriptor.name, nullptr);
			name = String::trimCopy(name.substr(0, name.find('(')));
			return name.empty() ? "data" : String::toLowerCopy(name);
		}

		/// ": <the last error logged>", or empty when none was; that error is left to the message made
		/// with it, not printed by the console too.
		std::string lastError(const Log::CaptureSink& log, ConsoleLogSink::ErrorHold& held)
		{
			const auto errors = log.messages(Log::Error);
			if (errors.empty())
				return {};
			held.drop(errors.back());
			return ": " + errors.back();
		}

		/// Runs an input/output algorithm on `path`; throws, with the reason it logged, when it does not finish.
		void runIo(IoAlgorithm& io, const std::string& path, const std::string& what)
		{
			io.setLocation(path);
			Log::ScopedCapture log;
			ConsoleLogSink::ErrorHold held;
			const int status = AlgorithmRunner::run(io);
			if (status != Algorithm::Success)
				throw std::runtime_error("Cannot " + what + " '" + path + "' (status " + std::to_string(status) + ")" +
				                         lastError(log.sink(), held));
		}

		/// A file type read and written by an input/output algorithm of a plug-in.
		std::optional<Format> ioAlgorithmFormat(const AlgorithmFactory::Descriptor& descriptor)
		{
			auto reader = std::unique_ptr<Algorithm>(descriptor.create(DataList()));
			auto* io = dynamic_cast<IoAlgorithm*>(reader.get());
			if (!io || io->ioMode() != IoAlgorithm::IoMode::Read)
				return std::nullopt;
			Format format;
			format.name = AlgorithmUtils::parseAlgorithmName(descriptor.name, nullptr);
			format.dataKind = dataKindOf(descriptor);
			for (const std::string& extension : io->supportedFileExtensions())
				format.extensions.push_back("." + String::toLowerCopy(extension));
			if (format.extensions.empty())
				return std::nullopt;
			format.load = [descriptor](const std::string& path)
			{
				auto algorithm = descriptor.create(DataList());
				auto* reader = dynamic_cast<IoAlgorithm*>(algorithm.get());
				if (!reader)
					throw std::runtime_error("Cannot read '" + path + "': the reader could not be created");
				runIo(*reader, path, "read");
				std::vector<std::unique_ptr<Data>> loaded = reader->takeOutput().extractAll();
				if (loaded.empty())
					throw std::runtime_error("Cannot read '" + path + "': nothing was read");
				return loaded;
			};
			format.holds = [descriptor](const Data& data)
			{
				DataList list{const_cast<Data*>(&data)};
				return descriptor.isCompatible && descriptor.isCompatible(list);
			};
			format.writeProblem = [](const Data&) { return std::string(); };
			format.save = [descriptor](const Data& data, const std::string& path)
			{
				auto algorithm = descriptor.create(DataList{const_cast<Data*>(&data)});
				auto* writer = dynamic_cast<IoAlgorithm*>(algorithm.get());
				if (!writer || writer->ioMode() != IoAlgorithm::IoMode::Write)
					throw std::runtime_error("Cannot write '" + path + "': the writer could not be created");
				runIo(*writer, path, "write");
			};
			return format;
		}

		Format dataFileFormat()
		{
			Format format;
			format.name = "Quorvale data file";
			format.dataKind = "data";
			format.extensions = {QuorvaleFile::kExtension};
			format.holdsSeveral = true;
			format.load = [](const std::string& path)
			{
				ConsoleLogSink::ErrorHold held;
				QuorvaleFile::LoadResult result = QuorvaleFile::load(path);
				if (!result.ok())
				{
					// The intact blocks were read, but a run on part of the user's data would mislead.
					std::string problems;
					bool lackOfMemory = true;
					for (const auto& problem : result.problems)
						if (problem.level >= Log::Error)
						{
							held.drop(problem.message);
							problems += "\n  " + problem.message;
							lackOfMemory = lackOfMemory && problem.lackOfMemory;
						}
					throw std::runtime_error("The data file '" + path + "' " +
					                         (lackOfMemory ? "needs more memory than there is:" : "is damaged:") + problems);
				}
				return result.data.extractAll();
			};
			format.holds = [](const Data& data) { return QuorvaleFile::pluginFor(data) != nullptr; };
			format.writeProblem = [](const Data&) { return std::string(); };
			format.save = [](const Data& data, const std::string& path)
			{
				Log::ScopedCapture log;
				ConsoleLogSink::ErrorHold held;
				if (!QuorvaleFile::save(DataList{const_cast<Data*>(&data)}, path))
					throw std::runtime_error("Cannot write the data file '" + path + "'" + lastError(log.sink(), held));
			};
			return format;
		}

		bool endsWith(const std::string& text, const std::string& suffix)
		{
			return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
		}

		/// The known extension that ends `path` (the longest), or empty.
		std::string knownExtensionOf(const std::string& path, const Format** format)
		{
			// Only the file name counts: "folder.nii/file" has no extension.
			const std::string name = String::toLowerCopy(std::filesystem::path(path).filename().string());
			std::string best;
			for (const Format& candidate : formats())
				for (const std::string& extension : candidate.extensions)
					if (extension.size() > best.size() && name.size() > extension.size() && endsWith(name, extension))
					{
						best = extension;
						if (format)
							*format = &candidate;
					}
			return best;
		}
	}

	const std::vector<Format>& formats()
	{
		static std::vector<Format> table;
		// How many factories the table was built from; none before the first call.
		static std::optional<size_t> factoriesSeen;
		const auto factories = FactoryRegistry::get().getAlgorithmFactories();
		if (factories.size() != factoriesSeen)
		{
			factoriesSeen = factories.size();
			table = {niftiFormat(), surfaceFormat("PLY", ".ply", true), surfaceFormat("OBJ", ".obj", false),
			         surfaceFormat("STL", ".stl", false)};
			for (const AlgorithmFactory* factory : factories)
				for (const AlgorithmFactory::Descriptor* descriptor : factory->ioAlgorithmDescriptors())
					if (auto format = ioAlgorithmFormat(*descriptor))
						table.push_back(std::move(*format));
			// Last: it holds everything that has a block handler, so every other format is preferred.
			table.push_back(dataFileFormat());
		}
		return table;
	}

	const Format* formatOf(const std::string& path)
	{
		const Format* format = nullptr;
		knownExtensionOf(path, &format);
		return format;
	}

	const Format* formatFor(const Data& data)
	{
		for (const Format& format : formats())
			if (format.holds(data))
				return &format;
		return nullptr;
	}

	std::string writeProblem(const Format& format, const Data& data)
	{
		if (!format.holds(data))
			return "the " + format.name + " format holds " + format.dataKind + " data only";
		return format.writeProblem(data);
	}

	std::string extensionOf(const std::string& path)
	{
		const std::string known = knownExtensionOf(path, nullptr);
		if (!known.empty())
			return path.substr(path.size() - known.size());
		const std::filesystem::path file(path);
		return file.has_stem() ? file.extension().string() : std::string();
	}

	std::string describeKind(const Data& data)
	{
		// One PLY file type holds both.
		if (data.kind() == Data::Mesh || data.kind() == Data::PointCloud)
			return data.kind() == Data::Mesh ? "mesh" : "point cloud";
		if (const Format* format = formatFor(data))
			return format->dataKind;
		switch (data.kind())
		{
			case Data::Image: return "image";
			case Data::ImageSet: return "image set";
			case Data::Mesh: return "mesh";
			case Data::PointCloud: return "point cloud";
			default: return "data of an unknown kind";
		}
	}

	std::string knownExtensions()
	{
		std::string out;
		for (const Format& format : formats())
			for (const std::string& extension : format.extensions)
				out += (out.empty() ? "" : ", ") + extension + " (" + format.name + ")";
		return out;
	}

	std::vector<std::unique_ptr<Data>> load(const std::string& path)
	{
		std::error_code error;
		if (!std::filesystem::exists(path, error))
			throw std::runtime_error("Input file not found: " + path);
		if (std::filesystem::is_directory(path, error))
			throw std::runtime_error("Input is a folder, not a file: " + path);
		const Format* format = formatOf(path);
		if (!format)
			throw std::runtime_error("Unknown file type of '" + path + "'; known are " + knownExtensions());
		auto data = format->load(path);
		if (data.empty())
			throw std::runtime_error("Cannot read '" + path + "' as " + format->name);
		return data;
	}

	void save(const Data& data, const std::string& path)
	{
		const Format* format = formatOf(path);
		if (!format)
			throw std::runtime_error("Unknown file type of '" + path + "'; known are " + knownExtensions());
		if (const std::string problem = writeProblem(*format, data); !problem.empty())
			throw std::runtime_error("Cannot write " + describeKind(data) + " '" + data.name() + "' to '" + path + "': " + problem);
		format->save(data, path);
	}

	void requireFileTarget(const std::string& path)
	{
		std::error_code error;
		if (std::filesystem::is_directory(path, error))
			throw std::runtime_error("Cannot write '" + path + "': it is a folder; give a file name");
	}

	void requireWritable(const std::string& path)
	{
		if (const std::string problem = SafeSave::checkTarget(path); !problem.empty())
			throw std::runtime_error("Cannot write '" + path + "': " + problem);
	}

	void saveAll(const std::vector<const Data*>& data, const std::string& path)
	{
		if (data.size() == 1)
		{
			save(*data.front(), path);
			return;
		}
		const Format* format = formatOf(path);
		if (!format)
			throw std::runtime_error("Unknown file type of '" + path + "'; known are " + knownExtensions());
		if (!format->holdsSeveral)
		{
			std::string contents;
			for (const Data* d : data)
				contents += "\n  " + describeKind(*d) + " '" + d->name() + "'";
			throw std::runtime_error("A " + format->name + " file holds one object; there are " + std::to_string(data.size()) + ":" +
			                         contents);
		}
		DataList list;
		for (const Data* d : data)
		{
			if (const std::string problem = writeProblem(*format, *d); !problem.empty())
				throw std::runtime_error("Cannot write " + describeKind(*d) + " '" + d->name() + "' to '" + path + "': " + problem);
			list.add(const_cast<Data*>(d));
		}
		if (!QuorvaleFile::save(list, path))
			throw std::runtime_error("Cannot write the data file '" + path + "'");
	}
}
