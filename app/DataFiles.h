#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Quorvale
{
	class Data;

	/// The files the program reads its inputs from and writes its outputs to, chosen by the file
	/// name's extension. The table holds NIfTI volumes, PLY, OBJ and STL surfaces (meshes; PLY also
	/// point clouds), every file type that a loaded plug-in reads and writes through an input/output
	/// algorithm (GraphML), and last the host's data file (.qvf), which holds any number of objects of
	/// every type that has a block handler.
	namespace DataFiles
	{
		/// One file type.
		struct Format
		{
			std::string name;                    ///< "NIfTI"
			std::string dataKind;                ///< what it holds, for messages: "image set"
			std::vector<std::string> extensions; ///< lower case with the dot, the one used for new files first
			bool holdsSeveral = false;           ///< one file may hold several data objects
			/// Reads a file; throws std::runtime_error naming the file on failure.
			std::function<std::vector<std::unique_ptr<Data>>(const std::string& path)> load;
			/// True when the data object is of the kind this format holds.
			std::function<bool(const Data& data)> holds;
			/// Why a data object of that kind cannot be written (an image set of several images in a
			/// one-volume format), or empty when `save` can write it.
			std::function<std::string(const Data& data)> writeProblem;
			/// Writes a data object that `holds` and has no `writeProblem`; throws std::runtime_error
			/// naming the file on failure.
			std::function<void(const Data& data, const std::string& path)> save;
		};

		/// The known formats. The table is rebuilt when plug-ins have registered more factories since the
		/// last call, which makes earlier `Format` pointers invalid: look formats up after loading plug-ins.
		const std::vector<Format>& formats();

		/// The format whose extension ends `path` (case-insensitive; the longest match wins, so
		/// "a.nii.gz" is NIfTI and not some ".gz" format), or null.
		const Format* formatOf(const std::string& path);
		/// The first format that holds data of the kind of `data`, or null.
		const Format* formatFor(const Data& data);

		/// Why `format` cannot write `data`, or empty when it can.
		std::string writeProblem(const Format& format, const Data& data);

		/// The extension of `path` as `formatOf` sees it (".nii.gz"), else the last extension (".txt"),
		/// else empty. `path` without it is the stem.
		std::string extensionOf(const std::string& path);

		/// What `data` is, for messages: the data kind of the format that holds it, else a name for
		/// its `Data::kind`.
		std::string describeKind(const Data& data);

		/// Reads the data objects of a file of a known format (one, except for formats that hold
		/// several). Throws std::runtime_error with "Input file not found: PATH" for a missing file, a
		/// list of the known extensions for an unknown one, and the format's message when reading fails.
		std::vector<std::unique_ptr<Data>> load(const std::string& path);

		/// Writes `data` in the format of `path`'s extension. Throws std::runtime_error when the
		/// extension is unknown, the format cannot write that data (see `writeProblem`), or writing fails.
		void save(const Data& data, const std::string& path);

		/// Writes several data objects into one file of a format that holds several; with one object,
		/// the same as `save`. Throws std::runtime_error as `save` does, and when the format holds one
		/// object per file (the message lists what was to be written).
		void saveAll(const std::vector<const Data*>& data, const std::string& path);

		/// Throws std::runtime_error "Cannot write 'PATH': it is a folder; give a file name" when `path`
		/// names a folder (or a link to one). Every command checks its output with it first, before the
		/// extension: a folder's name says nothing of a file type.
		void requireFileTarget(const std::string& path);

		/// Throws std::runtime_error ("Cannot write 'PATH': it is read-only") when the file at `path`
		/// cannot be written (`SafeSave::checkTarget`): for checks before a long computation.
		void requireWritable(const std::string& path);

		/// "*.nii, *.nii.gz"-style list of every known extension, for messages.
		std::string knownExtensions();
	}
}
