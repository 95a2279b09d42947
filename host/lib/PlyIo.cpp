#include "host/lib/PlyIo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

#include "host/core/Platform.h"
#include "host/lib/Mesh.h"
#include "host/lib/PointCloud.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "binary PLY files are written as little-endian memory");

namespace Quorvale::PlyIo
{
	namespace
	{
		/// The longest header we read; real headers are a few hundred bytes.
		constexpr size_t kMaxHeaderBytes = 1 << 16;

		uint8_t toByte(float channel) { return static_cast<uint8_t>(std::lround(std::clamp(channel, 0.0f, 1.0f) * 255.0f)); }

		Eigen::Vector3d toWorld(const Eigen::Matrix4d& matrix, const Eigen::Vector3d& p)
		{
			return matrix.topLeftCorner<3, 3>() * p + matrix.topRightCorner<3, 1>();
		}

		template <typename T>
		void put(std::string& out, T value)
		{
			char bytes[sizeof(T)];
			std::memcpy(bytes, &value, sizeof(T));
			out.append(bytes, sizeof(T));
		}

		std::string encodeVerticesAndFaces(const std::vector<Eigen::Vector3d>& vertices, const Eigen::Matrix4d& toWorldMatrix,
		                                   const std::vector<Eigen::Vector4f>* colours, const std::vector<Eigen::Vector3i>& faces,
		                                   Encoding encoding)
		{
			const bool ascii = encoding == Encoding::Ascii;
			std::string out = fmt::format("ply\nformat {} 1.0\nelement vertex {}\nproperty double x\nproperty double y\nproperty double z\n",
			                              ascii ? "ascii" : "binary_little_endian", vertices.size());
			if (colours)
				out += "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n";
			if (!faces.empty())
				out += fmt::format("element face {}\nproperty list uchar int vertex_indices\n", faces.size());
			out += "end_header\n";
			out.reserve(out.size() + vertices.size() * (ascii ? 80 : 28) + faces.size() * (ascii ? 24 : 13));

			for (size_t i = 0; i < vertices.size(); ++i)
			{
				const Eigen::Vector3d p = toWorld(toWorldMatrix, vertices[i]);
				if (ascii)
				{
					out += fmt::format("{} {} {}", p.x(), p.y(), p.z());
					if (colours)
					{
						const Eigen::Vector4f& c = (*colours)[i];
						out += fmt::format(" {} {} {} {}", toByte(c[0]), toByte(c[1]), toByte(c[2]), toByte(c[3]));
					}
					out += '\n';
				}
				else
				{
					for (int k = 0; k < 3; ++k)
						put(out, p[k]);
					if (colours)
						for (int k = 0; k < 4; ++k)
							put(out, toByte((*colours)[i][k]));
				}
			}
			for (const Eigen::Vector3i& f : faces)
			{
				if (ascii)
					out += fmt::format("3 {} {} {}\n", f[0], f[1], f[2]);
				else
				{
					put(out, uint8_t(3));
					for (int k = 0; k < 3; ++k)
						put(out, int32_t(f[k]));
				}
			}
			return out;
		}

		[[noreturn]] void fail(const std::string& path, const std::string& what)
		{
			throw std::runtime_error("Cannot read the PLY file '" + path + "': " + what);
		}

		/// Bytes of a PLY scalar type, 0 for an unknown name.
		uint64_t scalarSize(const std::string& type)
		{
			static const std::map<std::string, uint64_t> sizes = {
			    {"char", 1},   {"uchar", 1},  {"int8", 1},    {"uint8", 1},   {"short", 2},  {"ushort", 2},   {"int16", 2},
			    {"uint16", 2}, {"int", 4},    {"uint", 4},    {"int32", 4},   {"uint32", 4}, {"float", 4},    {"float32", 4},
			    {"double", 8}, {"float64", 8}};
			const auto it = sizes.find(type);
			return it == sizes.end() ? 0 : it->second;
		}

		/// The file's first bytes, where its header is, and the file's size. Only the first bytes are
		/// looked at: a file without line breaks must not be read whole.
		std::string headerBytes(const std::string& path, uint64_t& fileSize)
		{
			std::ifstream in(Platform::widen(path), std::ios::binary);
			if (!in)
				fail(path, "it cannot be opened");
			std::error_code error;
			fileSize = std::filesystem::file_size(std::filesystem::u8path(path), error);
			if (error)
				fail(path, "its size cannot be read: " + error.message());
			std::string start(kMaxHeaderBytes, '\0');
			in.read(start.data(), static_cast<std::streamsize>(start.size()));
			start.resize(static_cast<size_t>(in.gcount()));
			return start;
		}

		/// The header's lines one by one, counting the bytes they take in the file.
		class HeaderLines
		{
		public:
			HeaderLines(const std::string& text, const std::string& path)
			    : m_lines(text)
			    , m_path(path)
			{
			}

			/// The next line without its line break; a header must end with a line break.
			const std::string& next(Header& header)
			{
				if (!std::getline(m_lines, m_line) || m_lines.eof())
					fail(m_path, "the header has no end_header line");
				header.size += m_line.size() + 1;
				if (!m_line.empty() && m_line.back() == '\r')
					m_line.pop_back();
				return m_line;
			}

		private:
			std::istringstream m_lines;
			const std::string& m_path;
			std::string m_line;
		};

		void readFormat(std::istringstream& words, Header& header, const std::string& path)
		{
			std::string format;
			words >> format;
			if (format == "ascii")
				header.ascii = true;
			else if (format != "binary_little_endian" && format != "binary_big_endian")
				fail(path, "unknown format '" + format + "'");
		}

		void readElement(std::istringstream& words, const std::string& line, Header& header, const std::string& path)
		{
			Header::Element element;
			std::string count;
			words >> element.name >> count;
			if (element.name.empty() || count.empty() || count.find_first_not_of("0123456789") != std::string::npos || count.size() > 19)
				fail(path, "bad element line '" + line + "'");
			element.count = std::stoull(count);
			header.elements.push_back(element);
		}

		void readProperty(std::istringstream& words, const std::string& line, Header& header, const std::string& path)
		{
			if (header.elements.empty())
				fail(path, "a property comes before any element");
			std::string type;
			words >> type;
			uint64_t bytes = 0;
			if (type == "list")
			{
				std::string countType, itemType;
				words >> countType >> itemType;
				bytes = scalarSize(countType);
				if (bytes == 0 || scalarSize(itemType) == 0)
					fail(path, "bad list property '" + line + "'");
			}
			else if ((bytes = scalarSize(type)) == 0)
				fail(path, "unknown property type '" + type + "'");
			header.elements.back().minimumRecordBytes += header.ascii ? 2 : bytes;
		}

		/// The header at the start of `text`: its magic, format line, elements and property types.
		Header parseHeader(const std::string& text, const std::string& path)
		{
			HeaderLines lines(text, path);
			Header header;
			bool formatSeen = false;
			if (lines.next(header) != "ply")
				fail(path, "it does not start with 'ply'");
			for (;;)
			{
				const std::string& line = lines.next(header);
				std::istringstream words(line);
				std::string keyword;
				words >> keyword;
				if (keyword == "end_header")
					break;
				if (keyword.empty() || keyword == "comment" || keyword == "obj_info")
					continue;
				if (keyword == "format")
				{
					readFormat(words, header, path);
					formatSeen = true;
				}
				else if (keyword == "element")
				{
					if (!formatSeen)
						fail(path, "an element comes before the format line");
					readElement(words, line, header, path);
				}
				else if (keyword == "property")
					readProperty(words, line, header, path);
				else
					fail(path, "unknown header line '" + line + "'");
			}
			if (!formatSeen)
				fail(path, "the header has no format line");
			return header;
		}

		/// Refuses a file too short for the records its header declares.
		void checkBodySize(const Header& header, uint64_t fileSize, const std::string& path)
		{
			uint64_t needed = 0;
			for (const Header::Element& element : header.elements)
			{
				uint64_t bytes = 0;
				if (__builtin_mul_overflow(element.count, element.minimumRecordBytes, &bytes) || __builtin_add_overflow(needed, bytes, &needed))
					needed = UINT64_MAX;
			}
			const uint64_t body = fileSize - std::min(fileSize, header.size);
			if (needed <= body)
				return;
			std::string counts;
			for (const Header::Element& element : header.elements)
				counts += fmt::format("{}{} {}", counts.empty() ? "" : ", ", element.count, element.name);
			fail(path, fmt::format("the header declares {}, which need at least {} bytes, but the file holds {} after its header", counts,
			                       needed, body));
		}
	}

	std::string encode(const Mesh& mesh, Encoding encoding)
	{
		return encodeVerticesAndFaces(mesh.vertices(), mesh.matrixToWorld(), mesh.hasVertexColors() ? &mesh.vertexColors() : nullptr,
		                              mesh.triangles(), encoding);
	}

	std::string encode(const PointCloud& cloud, Encoding encoding)
	{
		return encodeVerticesAndFaces(cloud.points(), cloud.matrixToWorld(), nullptr, {}, encoding);
	}

	Header checkHeader(const std::string& path)
	{
		uint64_t fileSize = 0;
		const std::string start = headerBytes(path, fileSize);
		Header header = parseHeader(start, path);
		checkBodySize(header, fileSize, path);
		return header;
	}
}
