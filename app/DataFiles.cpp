#include "app/DataFiles.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "host/core/String.h"
#include "host/lib/Data.h"
#include "host/lib/NiftiIo.h"
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
			format.load = [](const std::string& path) -> std::unique_ptr<Data> { return NiftiIo::load(path); };
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
		static const std::vector<Format> table = {niftiFormat()};
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

	std::unique_ptr<Data> load(const std::string& path)
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
		if (!data)
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
}
