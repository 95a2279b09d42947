#pragma once

#include <filesystem>
#include <string>

namespace Quorvale
{
	/// Writes a file so that a failed or killed write never loses the file it replaces: the new
	/// content goes to a temporary file beside the target, which the writer fills and closes and
	/// `commit` then renames over the target.
	///
	/// - A symbolic link is followed: the file it names is replaced, or made when it does not exist
	///   yet; the link stays.
	/// - A target that is not a regular file (a device such as /dev/null, a named pipe) is written in
	///   place: renaming over it would replace the node. A named pipe that no program reads is
	///   refused (writing it would wait for ever).
	/// - A target whose mode bits grant no write permission is refused, also for root (for whom
	///   `access` allows everything); a replaced file keeps its mode.
	/// - Temporary files of this target left by a process that no longer runs (a killed write) are
	///   removed when the next save of the target starts.
	class SafeSave
	{
	public:
		/// Prepares writing the file at `path` (UTF-8). `suffix` ends the temporary file's name,
		/// for writers that choose their format by it (".nii.gz"). Check `ok` before writing.
		explicit SafeSave(const std::string& path, const std::string& suffix = {});
		/// Removes the temporary file unless it was committed.
		~SafeSave();

		/// Why the file at `path` cannot be written, checked without writing anything (a folder, a
		/// read-only file, a named pipe that no program reads, a link that cannot be followed); empty
		/// when it can. For checks before a long computation. The write end of a pipe that has a
		/// reader stays open until a save of that pipe takes it, so that the reader does not see
		/// the pipe's end in between.
		static std::string checkTarget(const std::string& path);
		/// Writes `bytes` as the whole file at `path` through a save as above: whole or not at all.
		/// Throws `std::runtime_error` "Cannot write 'PATH': REASON" when it fails.
		static void writeFile(const std::string& path, const std::string& bytes);
		SafeSave(const SafeSave&) = delete;
		SafeSave& operator=(const SafeSave&) = delete;

		/// True while nothing failed.
		bool ok() const { return m_error.empty(); }
		/// Why the save cannot go on ("it is read-only", "cannot create a file in its folder:
		/// Permission denied"); empty while `ok`.
		const std::string& error() const { return m_error; }
		/// The system's error number behind `error`, 0 when the refusal is ours (a folder, a
		/// read-only file).
		int errorNumber() const { return m_errorNumber; }

		/// The file to write: the temporary file, or the target itself when written in place.
		const std::filesystem::path& writePath() const { return m_writePath; }
		/// The file written at last (a link resolved).
		const std::filesystem::path& target() const { return m_target; }
		bool inPlace() const { return m_inPlace; }
		/// Hands over the descriptor of `writePath`, open for writing (the caller closes it); -1
		/// when not `ok` or already taken. Writers that open `writePath` themselves never take it.
		int takeDescriptor();

		/// Puts the written and closed file in place: gives it the target's mode, renames it over
		/// the target and makes the rename durable. Nothing to do in place. False with `error` set
		/// when it fails (the temporary file is then removed).
		bool commit();

	private:
		struct Probe
		{
		};
		/// Follows the link and inspects the target only (`checkTarget`).
		SafeSave(const std::string& path, Probe);

		/// Resolves a link target; false (failed) when it cannot be followed.
		bool followLink();
		/// Opens a named pipe to write in place: the descriptor `checkTarget` held, or a new one
		/// when a program reads the pipe.
		void openPipe();
		/// Checks the target and notes the mode of a file to replace. False when the save is settled
		/// here: refused, or a target that is not a regular file opened to be written in place.
		bool inspectTarget();
		/// Removes stale temporaries of the target and creates a new one beside it.
		void createTemporary(const std::string& suffix);
		void fail(std::string reason, int errorNumber = 0);

		std::filesystem::path m_target;
		std::filesystem::path m_writePath;
		int m_fd = -1;
		bool m_inPlace = false;
		bool m_committed = false;
		bool m_hadTarget = false;
		unsigned m_mode = 0;
		std::string m_error;
		int m_errorNumber = 0;
	};
}
