#include "host/core/Log.h"
#include "host/core/Parameter.h"
#include "host/lib/Checksum.h"
#include "host/lib/Data.h"
#include "host/lib/DataList.h"
#include "host/lib/QuorvaleFile.h"
#include "host/lib/QuorvaleFileIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace Quorvale;

namespace
{
	class Colour : public DataComponent<Colour>
	{
	public:
		Colour() = default;
		std::string id() const override { return "Colour"; }
		Parameter<int> red{"red", 0, this};
		Parameter<std::string> label{"label", std::string(), this};
	};

	/// A component a freshly created note does not have.
	class Shade : public DataComponent<Shade>
	{
	public:
		Shade() = default;
		std::string id() const override { return "Shade"; }
		Parameter<double> depth{"depth", 0.0, this};
	};

	class Cache : public TemporaryDataComponent<Cache>
	{
	public:
		Cache() = default;
		std::string id() const override { return "Cache"; }
		Parameter<int> hits{"hits", 0, this};
	};

	/// A data object whose whole content is one text; it comes with a `Colour`.
	class Note : public Data
	{
	public:
		explicit Note(std::string content = {})
		    : Data("Note")
		    , text(std::move(content))
		{
			components().add(std::make_unique<Colour>());
		}
		std::string text;
	};

	/// Saved by a handler that always fails half-way through its body.
	class Draft : public Data
	{
	public:
		Draft()
		    : Data("Draft")
		{
		}
	};

	/// No handler stores it.
	class Stranger : public Data
	{
	public:
		Stranger()
		    : Data("Stranger")
		{
		}
	};

	/// Saved by a handler whose body changes every time it is made, as data changing during a save.
	class Ticker : public Data
	{
	public:
		Ticker()
		    : Data("Ticker")
		{
		}
	};

	constexpr uint32_t kNoteType = 7001;
	constexpr uint32_t kDraftType = 7002;
	constexpr uint32_t kTickerType = 7003;

	/// Body: u32 length, then the text.
	class NoteFilePlugin : public QuorvaleFilePlugin
	{
	public:
		std::unique_ptr<Data> createData(uint32_t type) const override { return type == kNoteType ? std::make_unique<Note>() : nullptr; }
		uint32_t blockType(const Data& data) const override { return dynamic_cast<const Note*>(&data) ? kNoteType : 0; }
		bool load(uint64_t, Data& data, std::istream& body) const override
		{
			uint32_t length = 0;
			std::string text;
			if (!QuorvaleFileIO::readU32(body, length) || !QuorvaleFileIO::readBytes(body, length, text))
			{
				Log::error("Note body is cut short");
				return false;
			}
			static_cast<Note&>(data).text = text;
			return true;
		}
		bool write(const Data& data, std::ostream& body) const override
		{
			const auto& note = static_cast<const Note&>(data);
			QuorvaleFileIO::writeU32(body, static_cast<uint32_t>(note.text.size()));
			QuorvaleFileIO::writeBytes(body, note.text);
			return bool(body);
		}
	};

	class DraftFilePlugin : public QuorvaleFilePlugin
	{
	public:
		std::unique_ptr<Data> createData(uint32_t type) const override { return type == kDraftType ? std::make_unique<Draft>() : nullptr; }
		uint32_t blockType(const Data& data) const override { return dynamic_cast<const Draft*>(&data) ? kDraftType : 0; }
		bool load(uint64_t, Data&, std::istream&) const override
		{
			Log::error("Drafts cannot be read");
			return false;
		}
		bool write(const Data&, std::ostream& body) const override
		{
			body << "half a draft";
			return false;
		}
	};

	class TickerFilePlugin : public QuorvaleFilePlugin
	{
	public:
		std::unique_ptr<Data> createData(uint32_t type) const override { return type == kTickerType ? std::make_unique<Ticker>() : nullptr; }
		uint32_t blockType(const Data& data) const override { return dynamic_cast<const Ticker*>(&data) ? kTickerType : 0; }
		bool load(uint64_t, Data&, std::istream& body) const override
		{
			uint32_t tick = 0;
			return QuorvaleFileIO::readU32(body, tick);
		}
		bool write(const Data&, std::ostream& body) const override
		{
			static uint32_t ticks = 0;
			QuorvaleFileIO::writeU32(body, ++ticks);
			return bool(body);
		}
	};

	void registerTestHandlers()
	{
		static const bool registered = []
		{
			QuorvaleFile::addPlugin(std::make_unique<NoteFilePlugin>());
			QuorvaleFile::addPlugin(std::make_unique<DraftFilePlugin>());
			QuorvaleFile::addPlugin(std::make_unique<TickerFilePlugin>());
			return true;
		}();
		(void)registered;
	}

	std::string fileOf(const DataList& list)
	{
		std::ostringstream out;
		EXPECT_TRUE(QuorvaleFile::write(list, out));
		return out.str();
	}

	QuorvaleFile::LoadResult readBytes(const std::string& bytes)
	{
		std::istringstream in(bytes);
		return QuorvaleFile::read(in);
	}

	std::vector<std::string> textsOf(const QuorvaleFile::LoadResult& result)
	{
		std::vector<std::string> texts;
		for (int i = 0; i < result.data.size(); ++i)
			texts.push_back(static_cast<const Note*>(result.data.get(i))->text);
		return texts;
	}

	bool hasProblem(const QuorvaleFile::LoadResult& result, int level, const std::string& part)
	{
		return std::any_of(result.problems.begin(), result.problems.end(),
		                   [&](const auto& p) { return p.level == level && p.message.find(part) != std::string::npos; });
	}

	/// File offsets just past each block (data blocks and the end mark), read from the frames.
	std::vector<size_t> blockEnds(const std::string& file)
	{
		std::vector<size_t> ends;
		size_t at = QuorvaleFile::kHeaderSize;
		while (at + QuorvaleFile::kFrameSize <= file.size())
		{
			at += QuorvaleFile::kFrameSize + QuorvaleFileIO::getU64(file.data() + at + 4);
			ends.push_back(at);
		}
		return ends;
	}

	/// `file` with its end mark replaced by one that counts `blocks` data blocks.
	std::string withEndMark(const std::string& file, uint64_t blocks)
	{
		char count[8];
		QuorvaleFileIO::putU64(count, blocks);
		std::ostringstream out;
		out << file.substr(0, file.size() - QuorvaleFile::kFrameSize - 8);
		QuorvaleFile::writeBlock(out, QuorvaleFile::kEndMarkType, {std::string_view(count, 8)});
		return out.str();
	}

	/// A stream buffer that reads a text once and cannot seek, like a pipe.
	class OneWayBuffer : public std::streambuf
	{
	public:
		explicit OneWayBuffer(std::string text)
		    : m_text(std::move(text))
		{
			setg(m_text.data(), m_text.data(), m_text.data() + m_text.size());
		}

	private:
		std::string m_text;
	};

	std::string readFile(const std::filesystem::path& path)
	{
		std::ifstream in(path, std::ios::binary);
		std::ostringstream text;
		text << in.rdbuf();
		return text.str();
	}

	class QuorvaleFileTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			registerTestHandlers();
			std::random_device device;
			m_folder = std::filesystem::temp_directory_path() / ("quorvale-qvf-" + std::to_string(device()) + std::to_string(device()));
			std::filesystem::create_directories(m_folder);
		}
		void TearDown() override
		{
			std::error_code ignored;
			std::filesystem::remove_all(m_folder, ignored);
		}

		std::string path(const std::string& name) const { return (m_folder / name).string(); }
		std::vector<std::string> entries() const
		{
			std::vector<std::string> names;
			for (const auto& entry : std::filesystem::directory_iterator(m_folder))
				names.push_back(entry.path().filename().string());
			std::sort(names.begin(), names.end());
			return names;
		}

		/// Three notes "alpha", "beta", "gamma" in one file.
		std::string threeNotes()
		{
			Note a("alpha"), b("beta"), c("gamma");
			return fileOf({&a, &b, &c});
		}

		std::filesystem::path m_folder;
	};
}

// Round trips --------------------------------------------------------------------------------------

TEST_F(QuorvaleFileTest, SeveralObjectsComeBackInOrderWithNamesAndComponents)
{
	Note first("first text"), second(std::string("binary\0text\xff", 12));
	first.setName("Vessels, left");
	second.setName("");
	first.components().get<Colour>()->red = 200;
	first.components().get<Colour>()->label = "arterial \"tree\"\n";
	second.components().add(std::make_unique<Cache>())->hits = 5;

	Log::ScopedCapture log;
	auto result = readBytes(fileOf({&first, &second}));
	ASSERT_TRUE(result.ok());
	EXPECT_TRUE(result.problems.empty());
	ASSERT_EQ(result.data.size(), 2);
	const auto* a = dynamic_cast<const Note*>(result.data.get(0));
	const auto* b = dynamic_cast<const Note*>(result.data.get(1));
	ASSERT_TRUE(a && b);
	EXPECT_EQ(a->text, "first text");
	EXPECT_EQ(a->name(), "Vessels, left");
	EXPECT_EQ(a->components().get<Colour>()->red.value(), 200);
	EXPECT_EQ(a->components().get<Colour>()->label.value(), "arterial \"tree\"\n");
	EXPECT_EQ(b->text, second.text);
	EXPECT_EQ(b->name(), "");
	// Temporary components are not stored.
	EXPECT_EQ(b->components().get<Cache>(), nullptr);
	EXPECT_EQ(log->count(Log::Warning) + log->count(Log::Error), 0);
}

TEST_F(QuorvaleFileTest, AStoredComponentTheNewObjectLacksIsSkippedWithAWarning)
{
	Note note("shaded");
	note.components().add(std::make_unique<Shade>())->depth = 2.5;
	note.components().get<Colour>()->red = 9;

	Log::ScopedCapture log;
	auto result = readBytes(fileOf({&note}));
	ASSERT_TRUE(result.ok());
	ASSERT_EQ(result.data.size(), 1);
	EXPECT_EQ(result.data.get(0)->components().get<Colour>()->red.value(), 9);
	EXPECT_EQ(result.data.get(0)->components().get<Shade>(), nullptr);
	const auto warnings = log->messages(Log::Warning);
	ASSERT_EQ(warnings.size(), 1u);
	EXPECT_NE(warnings[0].find("'Shade'"), std::string::npos);
}

TEST_F(QuorvaleFileTest, AnEmptyListMakesAValidEmptyFile)
{
	const std::string file = fileOf({});
	EXPECT_EQ(file.substr(0, 8), std::string(QuorvaleFile::kMagic));
	auto result = readBytes(file);
	EXPECT_TRUE(result.ok());
	EXPECT_EQ(result.data.size(), 0);
}

TEST_F(QuorvaleFileTest, ABlockOfUnknownTypeIsSkippedWithAWarning)
{
	Note a("before"), b("after");
	std::string file = fileOf({&a, &b});
	// A well-formed block of a type nobody reads, between the two notes.
	std::ostringstream stranger;
	QuorvaleFile::writeBlock(stranger, 999999, {std::string("\0\0\0\0payload", 11)});
	file.insert(blockEnds(file)[0], stranger.str());
	file = withEndMark(file, 3);

	Log::ScopedCapture log;
	auto result = readBytes(file);
	EXPECT_TRUE(result.ok());
	EXPECT_EQ(textsOf(result), (std::vector<std::string>{"before", "after"}));
	EXPECT_TRUE(hasProblem(result, Log::Warning, "block 2 has type 999999"));
	EXPECT_EQ(log->count(Log::Warning), 1);
}

// Saving -------------------------------------------------------------------------------------------

TEST_F(QuorvaleFileTest, SaveReplacesTheFileAndLeavesNothingElseBehind)
{
	Note first("one"), second("two");
	ASSERT_TRUE(QuorvaleFile::save({&first}, path("notes.qvf")));
	ASSERT_TRUE(QuorvaleFile::save({&second, &first}, path("notes.qvf")));
	EXPECT_EQ(entries(), std::vector<std::string>{"notes.qvf"});
	auto result = QuorvaleFile::load(path("notes.qvf"));
	ASSERT_TRUE(result.ok());
	EXPECT_EQ(textsOf(result), (std::vector<std::string>{"two", "one"}));
}

TEST_F(QuorvaleFileTest, DataNoHandlerStoresIsRefusedBeforeAnythingIsWritten)
{
	Note note("kept");
	ASSERT_TRUE(QuorvaleFile::save({&note}, path("notes.qvf")));
	const std::string before = readFile(path("notes.qvf"));

	Stranger stranger;
	stranger.setName("odd one");
	Log::ScopedCapture log;
	EXPECT_FALSE(QuorvaleFile::save({&note, &stranger}, path("notes.qvf")));
	EXPECT_FALSE(QuorvaleFile::save({&stranger}, path("new.qvf")));
	std::ostringstream stream;
	EXPECT_FALSE(QuorvaleFile::write({&stranger}, stream));
	EXPECT_TRUE(stream.str().empty());

	EXPECT_EQ(readFile(path("notes.qvf")), before);
	EXPECT_EQ(entries(), std::vector<std::string>{"notes.qvf"});
	const auto errors = log->messages(Log::Error);
	ASSERT_FALSE(errors.empty());
	EXPECT_NE(errors[0].find("'odd one'"), std::string::npos);
}

TEST_F(QuorvaleFileTest, AHandlerFailingHalfWayLeavesTheOldFileIntact)
{
	Note note("old content");
	ASSERT_TRUE(QuorvaleFile::save({&note}, path("notes.qvf")));
	const std::string before = readFile(path("notes.qvf"));

	Note fresh("new content");
	Draft draft;
	Log::ScopedCapture log;
	EXPECT_FALSE(QuorvaleFile::save({&fresh, &draft}, path("notes.qvf")));
	EXPECT_EQ(readFile(path("notes.qvf")), before);
	EXPECT_EQ(entries(), std::vector<std::string>{"notes.qvf"});
	EXPECT_GE(log->count(Log::Error), 1);

	// Through a stream the failed block leaves no partial bytes behind either.
	std::ostringstream out;
	EXPECT_FALSE(QuorvaleFile::write({&draft}, out));
	EXPECT_EQ(out.str(), std::string(QuorvaleFile::kMagic) + std::string("\1\0\0\0", 4));
}

TEST_F(QuorvaleFileTest, ASavedFileHoldsTheBytesAStreamIsGiven)
{
	// Blocks larger than the writers' buffers, and frames that lie in the buffer or already in the file
	// when they are filled in.
	const std::string large(200000, 'L');
	const std::vector<std::vector<std::string>> lists = {{}, {"one"}, {large}, {"one", large, "two"}, {large, large, "three"}};
	for (const auto& texts : lists)
	{
		std::vector<std::unique_ptr<Note>> notes;
		DataList list;
		for (const std::string& text : texts)
			list.add(notes.emplace_back(std::make_unique<Note>(text)).get());
		ASSERT_TRUE(QuorvaleFile::save(list, path("notes.qvf")));
		EXPECT_EQ(readFile(path("notes.qvf")), fileOf(list)) << texts.size() << " notes";
	}
}

TEST_F(QuorvaleFileTest, ABodyThatChangesWhileItIsWrittenFailsTheWrite)
{
	Ticker ticker;
	Log::ScopedCapture log;
	std::ostringstream out;
	ASSERT_FALSE(QuorvaleFile::write({&ticker}, out));
	EXPECT_TRUE(out.fail());
	EXPECT_EQ(log->messages(Log::Error).front(), "A block of type 7003 changed while it was written");
	// Saved into a file it is made once, and whole.
	ASSERT_TRUE(QuorvaleFile::save({&ticker}, path("ticker.qvf")));
	EXPECT_TRUE(QuorvaleFile::load(path("ticker.qvf")).ok());
}

TEST_F(QuorvaleFileTest, SavingHoldsNoCopyOfTheData)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	Note large(std::string(96 << 20, 'L'));
	const std::string target = path("large.qvf");
	// With room for far less than the block beside the data, the save must not hold the block; the
	// room is given back before the file is read to check it.
	const auto saveWithLittleRoom = [&]
	{
		long dataKilobytes = -1;
		std::ifstream status("/proc/self/status");
		for (std::string line; std::getline(status, line);)
			if (line.rfind("VmData:", 0) == 0)
				dataKilobytes = std::atol(line.c_str() + 7);
		rlimit room{};
		getrlimit(RLIMIT_DATA, &room);
		const rlimit little{static_cast<rlim_t>(dataKilobytes + (24 << 10)) * 1024, room.rlim_max};
		if (dataKilobytes < 0 || setrlimit(RLIMIT_DATA, &little) != 0)
			return false;
		const bool saved = QuorvaleFile::save({&large}, target);
		setrlimit(RLIMIT_DATA, &room);
		auto result = QuorvaleFile::load(target);
		return saved && result.ok() && textsOf(result) == std::vector<std::string>{large.text};
	};
	EXPECT_EXIT(std::_Exit(saveWithLittleRoom() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST_F(QuorvaleFileTest, UnwritablePlacesAreErrors)
{
	Note note("x");
	Log::ScopedCapture log;
	EXPECT_FALSE(QuorvaleFile::save({&note}, path("missing-folder/notes.qvf")));
	// Not even root may create files in /proc.
	EXPECT_FALSE(QuorvaleFile::save({&note}, "/proc/quorvale-qvf-test.qvf"));
	EXPECT_FALSE(std::filesystem::exists("/proc/quorvale-qvf-test.qvf"));
	// A directory in the target's place is never replaced; a device is written in place.
	std::filesystem::create_directory(path("folder.qvf"));
	EXPECT_FALSE(QuorvaleFile::save({&note}, path("folder.qvf")));
	EXPECT_TRUE(std::filesystem::is_directory(path("folder.qvf")));
	EXPECT_TRUE(QuorvaleFile::save({&note}, "/dev/null"));
	EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
	EXPECT_EQ(entries(), std::vector<std::string>{"folder.qvf"});
	EXPECT_EQ(log->count(Log::Error), 3);
	EXPECT_NE(log->messages(Log::Error)[0].find("cannot create a file in its folder"), std::string::npos);
}

TEST_F(QuorvaleFileTest, AFullDeviceFailsTheWrite)
{
	Note note(std::string(200000, 'n'));
	std::ofstream full("/dev/full", std::ios::binary);
	ASSERT_TRUE(full.is_open());
	Log::ScopedCapture log;
	EXPECT_FALSE(QuorvaleFile::write({&note}, full));
	EXPECT_GE(log->count(Log::Error), 1);
}

TEST_F(QuorvaleFileTest, ADiskFillingUpDuringSaveKeepsTheOldFile)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	Note small("small and safe");
	ASSERT_TRUE(QuorvaleFile::save({&small}, path("notes.qvf")));
	const std::string before = readFile(path("notes.qvf"));

	// A file size limit makes write() fail with EFBIG part-way, as a full disk fails with ENOSPC.
	Note large(std::string(1 << 20, 'L'));
	const std::string target = path("notes.qvf");
	const auto saveWithLittleRoom = [&]
	{
		std::signal(SIGXFSZ, SIG_IGN);
		const rlimit limit{64 * 1024, 64 * 1024};
		setrlimit(RLIMIT_FSIZE, &limit);
		Log::addSink(std::make_shared<Log::StreamSink>());
		return QuorvaleFile::save({&large}, target);
	};
	EXPECT_EXIT(std::_Exit(saveWithLittleRoom() ? 1 : 0), ::testing::ExitedWithCode(0), "writing failed: File too large");
	EXPECT_EQ(readFile(target), before);
	EXPECT_EQ(entries(), std::vector<std::string>{"notes.qvf"});
}

// Damage -------------------------------------------------------------------------------------------

TEST_F(QuorvaleFileTest, LoadingAMissingFileIsAnError)
{
	Log::ScopedCapture log;
	auto result = QuorvaleFile::load(path("nothing.qvf"));
	EXPECT_FALSE(result.ok());
	EXPECT_TRUE(hasProblem(result, Log::Error, "Cannot open"));
	EXPECT_EQ(log->count(Log::Error), 1);
	// A pipe would block the reading for ever.
	ASSERT_EQ(::mkfifo(path("pipe.qvf").c_str(), 0600), 0);
	EXPECT_TRUE(hasProblem(QuorvaleFile::load(path("pipe.qvf")), Log::Error, "it is not a regular file"));
}

TEST_F(QuorvaleFileTest, ForeignFilesAndOtherVersionsAreRejected)
{
	Log::ScopedCapture log;
	EXPECT_TRUE(hasProblem(readBytes(""), Log::Error, "not a .qvf file"));
	EXPECT_TRUE(hasProblem(readBytes("<?xml version=\"1.0\"?><graphml/>"), Log::Error, "not a .qvf file"));

	std::string file = threeNotes();
	file[8] = 2;
	auto result = readBytes(file);
	EXPECT_FALSE(result.ok());
	EXPECT_EQ(result.data.size(), 0);
	EXPECT_TRUE(hasProblem(result, Log::Error, "unsupported .qvf version 2"));
}

TEST_F(QuorvaleFileTest, ACutAtEveryByteIsDetectedAndTheCompleteBlocksLoad)
{
	const std::string file = threeNotes();
	const auto ends = blockEnds(file);
	ASSERT_EQ(ends.size(), 4u);
	ASSERT_EQ(ends.back(), file.size());
	Log::ScopedCapture log;
	for (size_t cut = 0; cut < file.size(); ++cut)
	{
		auto result = readBytes(file.substr(0, cut));
		EXPECT_FALSE(result.ok()) << "cut at " << cut;
		EXPECT_TRUE(hasProblem(result, Log::Error, "")) << "cut at " << cut;
		const auto complete = std::count_if(ends.begin(), ends.end() - 1, [&](size_t end) { return end <= cut; });
		EXPECT_EQ(result.data.size(), complete) << "cut at " << cut;
	}
	EXPECT_TRUE(hasProblem(readBytes(file.substr(0, ends[1])), Log::Error, "ends after block 2 without its end mark"));
	EXPECT_TRUE(hasProblem(readBytes(file.substr(0, ends[1] + 5)), Log::Error, "block 3: the file ends inside its frame"));
	EXPECT_TRUE(hasProblem(readBytes(file.substr(0, ends[2] - 1)), Log::Error, "block 3 (type 7001): its length"));
}

TEST_F(QuorvaleFileTest, RandomlyFlippedBytesAreAlwaysDetected)
{
	const std::string file = threeNotes();
	std::mt19937 random(20240611);
	std::uniform_int_distribution<size_t> position(0, file.size() - 1);
	std::uniform_int_distribution<int> mask(1, 255);
	std::uniform_int_distribution<int> flips(1, 4);
	Log::ScopedCapture log;
	for (int round = 0; round < 2000; ++round)
	{
		std::string damaged = file;
		const int count = flips(random);
		for (int i = 0; i < count; ++i)
			damaged[position(random)] ^= static_cast<char>(mask(random));
		if (damaged == file)
			continue;
		auto result = readBytes(damaged);
		EXPECT_FALSE(result.ok()) << "round " << round;
		EXPECT_LE(result.data.size(), 3);
	}
}

TEST_F(QuorvaleFileTest, ADamagedBlockIsNamedAndSkippedWhileTheOthersLoad)
{
	std::string file = threeNotes();
	const auto ends = blockEnds(file);
	file[ends[1] - 2] ^= 0x20; // inside the body of the second note

	Log::ScopedCapture log;
	auto result = readBytes(file);
	EXPECT_FALSE(result.ok());
	EXPECT_EQ(textsOf(result), (std::vector<std::string>{"alpha", "gamma"}));
	EXPECT_TRUE(hasProblem(result, Log::Error, "block 2 (type 7001) is damaged"));
	const auto errors = log->messages(Log::Error);
	ASSERT_EQ(errors.size(), 1u);
	EXPECT_NE(errors[0].find("block 2 (type 7001)"), std::string::npos);
}

TEST_F(QuorvaleFileTest, ADamagedFrameStopsTheReading)
{
	std::string file = threeNotes();
	const auto ends = blockEnds(file);
	file[ends[0] + 6] ^= 0x01; // the length field of the second block's frame
	auto result = readBytes(file);
	EXPECT_FALSE(result.ok());
	EXPECT_EQ(textsOf(result), std::vector<std::string>{"alpha"});
	EXPECT_TRUE(hasProblem(result, Log::Error, "block 2: its frame is damaged"));
}

TEST_F(QuorvaleFileTest, AHugeLengthInAnIntactFrameIsNotTrusted)
{
	std::string file = threeNotes().substr(0, QuorvaleFile::kHeaderSize);
	char frame[QuorvaleFile::kFrameSize];
	QuorvaleFileIO::putU32(frame, kNoteType);
	QuorvaleFileIO::putU64(frame + 4, uint64_t(1) << 50);
	QuorvaleFileIO::putU32(frame + 12, 0);
	QuorvaleFileIO::putU32(frame + 16, Checksum::crc32(frame, 16));
	file.append(frame, sizeof frame);
	file += "a few bytes";

	Log::ScopedCapture log;
	EXPECT_TRUE(hasProblem(readBytes(file), Log::Error, "its length 1125899906842624 goes beyond the end of the file (11 bytes left)"));
	// From a stream that cannot tell its size, reading stops at its end without reserving the length.
	OneWayBuffer buffer(file);
	std::istream oneWay(&buffer);
	auto result = QuorvaleFile::read(oneWay);
	EXPECT_TRUE(hasProblem(result, Log::Error, "block 1 (type 7001): the file ends inside it"));
}

TEST_F(QuorvaleFileTest, AHandlerThatCannotReadItsBlockLosesOnlyThatBlock)
{
	Note a("kept");
	std::string file = fileOf({&a});
	const auto ends = blockEnds(file);
	std::ostringstream draft;
	QuorvaleFile::writeBlock(draft, kDraftType, {std::string("\0\0\0\0", 4), "whatever"});
	file.insert(ends[0], draft.str());
	Log::ScopedCapture log;
	auto result = readBytes(withEndMark(file, 2));
	EXPECT_FALSE(result.ok());
	EXPECT_EQ(textsOf(result), std::vector<std::string>{"kept"});
	EXPECT_TRUE(hasProblem(result, Log::Error, "block 2 (type 7002) could not be read"));
	EXPECT_EQ(result.problems.size(), 1u);
	// The handler's own reason is in the log too.
	EXPECT_EQ(log->messages(Log::Error).front(), "Drafts cannot be read");
}

TEST_F(QuorvaleFileTest, ABlockItsHandlerLeavesPartlyUnreadIsDamaged)
{
	Note a("kept");
	std::string file = fileOf({&a});
	// A note whose length was lowered and whose checksums were made to match again.
	std::ostringstream lowered;
	QuorvaleFile::writeBlock(lowered, kNoteType, {std::string("\0\0\0\0", 4), std::string("\2\0\0\0", 4), "lost"});
	file.insert(blockEnds(file)[0], lowered.str());
	Log::ScopedCapture log;
	auto result = readBytes(withEndMark(file, 2));
	EXPECT_FALSE(result.ok());
	EXPECT_EQ(textsOf(result), std::vector<std::string>{"kept"});
	EXPECT_TRUE(hasProblem(result, Log::Error, "block 2 (type 7001) is damaged: its handler left part of its body unread"));
}

TEST_F(QuorvaleFileTest, TheEndMarkCountsTheBlocks)
{
	Note a("one"), b("two");
	const std::string two = fileOf({&a, &b});
	const auto ends = blockEnds(two);
	// Remove the second block entirely: every remaining block is intact, but one is missing.
	const std::string missing = two.substr(0, ends[0]) + two.substr(ends[1]);
	Log::ScopedCapture log;
	auto result = readBytes(missing);
	EXPECT_FALSE(result.ok());
	EXPECT_EQ(textsOf(result), std::vector<std::string>{"one"});
	EXPECT_TRUE(hasProblem(result, Log::Error, "the end mark counts 2 blocks but the file holds 1"));
}

TEST_F(QuorvaleFileTest, BytesAfterTheEndMarkAreIgnoredWithAWarning)
{
	Log::ScopedCapture log;
	auto result = readBytes(threeNotes() + "tail");
	EXPECT_TRUE(result.ok());
	EXPECT_EQ(result.data.size(), 3);
	EXPECT_TRUE(hasProblem(result, Log::Warning, "after the end mark"));
}
