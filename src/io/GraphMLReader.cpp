#include "src/io/GraphMLReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <istream>
#include <locale>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include <expat.h>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/MemoryLimit.h"
#include "src/graph/Graph.h"
#include "src/io/FeatureNames.h"

namespace Quorvale
{
	namespace
	{
		/// Elements nest at most this deep (the parser needs no stack for them, but a bound keeps its
		/// own bookkeeping small).
		constexpr size_t kMaxElementDepth = 1000;
		/// The parser's problem for a document without any element.
		constexpr const char* kNoElement = "no element found";
		/// The beginnings of the two kinds of refusal: the document is no XML we read, or its GraphML
		/// content cannot be read.
		constexpr const char* kParseFailure = "Could not parse GraphML input: ";
		constexpr const char* kReadFailure = "Error during parsing of file: ";
		/// The parser is fed this many bytes at a time, so that its buffer holds about the longest
		/// token (a start tag, a comment) and not the document.
		constexpr size_t kChunk = size_t(1) << 16;

		// What reading holds besides the text, per item, rounded up from the sizes of the records and
		// allocations involved (64-bit libstdc++ and glibc malloc), so that the estimate stays an upper bound.
		constexpr double kNodeBytes = 208.0;          // the graph's node map entry with its empty neighbour map
		constexpr double kEdgeBytes = 224.0;          // two neighbour map entries (both ends)
		constexpr double kIdBytes = 112.0;            // the GraphML id map's entry and bucket, less the id's text
		constexpr double kAttributeSetBytes = 160.0;  // the attribute set of a node or edge holding any
		constexpr double kStringBytes = 48.0;         // a string's heap block, less its characters
		constexpr double kKeyBytes = 512.0;           // a key's record and its map entries, less its texts
		constexpr double kParserBytesPerAttribute = 64.0;

		void logError(const std::string& message) { Log::log(Log::Error, "", message); }

		/// A refusal of the document as XML (reported with kParseFailure).
		struct XmlError : std::runtime_error
		{
			using std::runtime_error::runtime_error;
		};

		// ---------------------------------------------------------------------------------------------
		// Values

		bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

		std::string_view trimmed(std::string_view text)
		{
			while (!text.empty() && isXmlSpace(text.front()))
				text.remove_prefix(1);
			while (!text.empty() && isXmlSpace(text.back()))
				text.remove_suffix(1);
			return text;
		}

		/// A number: white space around it is allowed, a '+' before it too; the texts the writer gives
		/// for NaN and infinities ("nan", "-nan", "inf", "-inf") and other spellings of them ("NaN",
		/// "INF", "Infinity") are accepted. A value too small reads as zero or a subnormal (as stream
		/// extraction does), one too large is refused.
		std::optional<double> parseDouble(std::string_view text)
		{
			text = trimmed(text);
			if (text.size() > 1 && text[0] == '+' && text[1] != '+' && text[1] != '-')
				text.remove_prefix(1);
			const char* begin = text.data();
			const char* end = begin + text.size();
			double value = 0.0;
			const auto result = std::from_chars(begin, end, value);
			if (begin == end || result.ptr != end)
				return std::nullopt;
			if (result.ec == std::errc())
				return value;
			if (result.ec != std::errc::result_out_of_range)
				return std::nullopt;
			std::istringstream stream{std::string(text)};
			stream.imbue(std::locale::classic());
			stream >> value;
			if (stream.fail() || stream.get() != std::char_traits<char>::eof())
				return std::nullopt;
			return value;
		}

		/// An integer of any length (as "int" and "long" keys hold), to the nearest double.
		std::optional<double> parseInteger(std::string_view text)
		{
			text = trimmed(text);
			const size_t digits = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
			if (text.size() == digits || !std::all_of(text.begin() + digits, text.end(), [](char c) { return c >= '0' && c <= '9'; }))
				return std::nullopt;
			return parseDouble(text);
		}

		std::optional<double> parseBoolean(std::string_view text)
		{
			text = trimmed(text);
			if (text == "true" || text == "True" || text == "1")
				return 1.0;
			if (text == "false" || text == "False" || text == "0")
				return 0.0;
			return std::nullopt;
		}

		/// How a key's values are read, by its `attr.type`.
		enum class KeyType
		{
			Number,
			Integer,
			Boolean,
			Text
		};

		std::optional<KeyType> keyType(const char* type)
		{
			const std::string_view name = type ? type : "double";
			if (name == "double" || name == "float")
				return KeyType::Number;
			if (name == "int" || name == "long")
				return KeyType::Integer;
			if (name == "boolean")
				return KeyType::Boolean;
			if (name == "string")
				return KeyType::Text;
			return std::nullopt;
		}

		/// A value of a number, integer or boolean key; a text key's value is read as a number (a
		/// coordinate declared as text).
		std::optional<double> parseValue(std::string_view text, KeyType type)
		{
			return type == KeyType::Integer ? parseInteger(text) : type == KeyType::Boolean ? parseBoolean(text) : parseDouble(text);
		}

		const char* typeWords(KeyType type)
		{
			return type == KeyType::Integer ? "an integer" : type == KeyType::Boolean ? "a boolean (true, false, 1 or 0)" : "a number";
		}

		/// The beginning of a value for messages.
		std::string excerpt(std::string_view text)
		{
			constexpr size_t shown = 40;
			return "\"" + std::string(text.substr(0, shown)) + (text.size() > shown ? "...\"" : "\"");
		}

		/// The axis of a coordinate name "x", "y" or "z", or -1.
		int axisOf(std::string_view name) { return name.size() == 1 && name[0] >= 'x' && name[0] <= 'z' ? name[0] - 'x' : -1; }

		// ---------------------------------------------------------------------------------------------
		// What the document declares

		struct Key
		{
			std::string id;
			std::string name;
			KeyType type = KeyType::Number;
			bool nodes = false;
			bool edges = false;
			unsigned long line = 0;
			std::optional<std::string> defaultText;
			// Where its values go, decided once every key is known: a node coordinate axis, a feature
			// column or an attribute slot per domain (-1: none).
			int axis = -1;
			int nodeColumn = -1;
			int edgeColumn = -1;
			int nodeSlot = -1;
			int edgeSlot = -1;
			// Values seen by the survey, for the memory estimate of text keys.
			double values = 0.0;
			double valueBytes = 0.0;
		};

		/// The columns or attribute slots of one domain, by name in the order of first declaration,
		/// with the value that an element without one of its own takes.
		template <typename Value>
		struct Columns
		{
			std::vector<std::string> names;
			std::vector<Value> initial;
			std::unordered_map<std::string, int> index;

			int columnOf(const std::string& name, Value value)
			{
				const auto [at, added] = index.emplace(name, static_cast<int>(names.size()));
				if (added)
				{
					names.push_back(name);
					initial.push_back(std::move(value));
				}
				return at->second;
			}
		};

		/// One domain's keys by id and what their values fill.
		struct Domain
		{
			std::unordered_map<std::string, size_t> keys;
			Columns<double> features;
			Columns<std::optional<std::string>> slots;
			/// The slots that have a default, ascending.
			std::vector<int> defaultSlots;
		};

		/// What the survey learns of the document before anything is built.
		struct Survey
		{
			double nodes = 0.0;
			double edges = 0.0;
			double idBytes = 0.0;
			double keyBytes = 0.0;
			/// Data elements read before their key was declared (after a graph), and their text.
			double undeclaredValues = 0.0;
			double undeclaredBytes = 0.0;
			bool keysAfterGraph = false;
			bool sawGraph = false;
			bool firstNodeHasZ = false;
			size_t longestToken = 0;
			size_t mostAttributes = 0;
			size_t longestText = 0;
		};

		struct Document
		{
			std::vector<Key> keys;
			Domain nodes;
			Domain edges;
			Survey survey;
			Eigen::Vector3d initialPosition = Eigen::Vector3d::Zero();
			bool threeD = false;
			std::unordered_map<std::string, uint64_t> ids;
			uint64_t mergedEdges = 0;
		};

		const char* attributeOf(const XML_Char** attributes, const char* name)
		{
			for (; *attributes; attributes += 2)
				if (std::strcmp(attributes[0], name) == 0)
					return attributes[1];
			return nullptr;
		}

		// ---------------------------------------------------------------------------------------------
		// The walk over the document

		enum class Pass
		{
			Survey,
			Nodes,
			Edges
		};

		/// The element kinds the reader acts on; everything else is passed over with what it holds.
		enum class Role : unsigned char
		{
			Other,
			Root,
			Key,
			Default,
			Graph,
			Node,
			Edge,
			Data
		};

		/// Where the text of the current data element goes.
		enum class Target
		{
			None,
			Axis,
			Feature,
			Slot
		};

		/// One pass of the streaming parser over the document.
		class Walk
		{
		public:
			Walk(Pass pass, Document& document, Graph* graph)
			    : m_parser(XML_ParserCreate("UTF-8"), &XML_ParserFree)
			    , m_pass(pass)
			    , m_document(document)
			    , m_graph(graph)
			{
				// The document is read as UTF-8 whatever it declares.
				if (!m_parser)
					return;
				XML_SetUserData(m_parser.get(), this);
				XML_SetElementHandler(m_parser.get(), &Walk::startElement, &Walk::endElement);
				XML_SetCharacterDataHandler(m_parser.get(), &Walk::characters);
				// A document type may declare entities; GraphML needs none.
				XML_SetStartDoctypeDeclHandler(m_parser.get(), &Walk::startDoctype);
			}
			// Expat holds this object's address as its user data.
			Walk(const Walk&) = delete;
			Walk& operator=(const Walk&) = delete;

			/// Walks `text`: the refusal (with its prefix), kNoElement for a document without any
			/// element, or empty.
			std::string run(std::string_view text)
			{
				if (!m_parser)
					return std::string(kParseFailure) + "out of memory";
				for (size_t at = 0;; at += kChunk)
				{
					const size_t length = std::min(kChunk, text.size() - at);
					const bool last = at + length == text.size();
					if (XML_Parse(m_parser.get(), text.data() + at, static_cast<int>(length), last) != XML_STATUS_OK)
						return problem();
					if (last)
						break;
				}
				// Markup after the last event (a trailing comment) passed through the parser's buffer too.
				if (m_pass == Pass::Survey)
					m_document.survey.longestToken = std::max(m_document.survey.longestToken, text.size() - std::min(text.size(), m_lastEventEnd));
				return {};
			}

		private:
			static Walk& self(void* data) { return *static_cast<Walk*>(data); }

			/// Runs a handler step; a thrown refusal stops the parser.
			template <typename Step>
			void guarded(Step&& step)
			{
				if (!m_stopReason.empty())
					return;
				try
				{
					step();
				}
				catch (const XmlError& e)
				{
					stop(std::string(kParseFailure) + e.what());
				}
				catch (const std::exception& e)
				{
					stop(std::string(kReadFailure) + e.what());
				}
			}

			void stop(std::string reason)
			{
				if (m_stopReason.empty())
					m_stopReason = std::move(reason);
				XML_StopParser(m_parser.get(), XML_FALSE);
			}

			std::string problem() const
			{
				if (!m_stopReason.empty())
					return m_stopReason;
				const XML_Error code = XML_GetErrorCode(m_parser.get());
				// Expat says "no element found" also for a document that ends inside its root.
				if (code == XML_ERROR_NO_ELEMENTS && !m_sawElement)
					return kNoElement;
				if (code == XML_ERROR_NO_ELEMENTS)
					return fmt::format("{}the document ends inside an element (line {})", kParseFailure, XML_GetCurrentLineNumber(m_parser.get()));
				return fmt::format("{}{} (line {}, column {})", kParseFailure, XML_ErrorString(code), XML_GetCurrentLineNumber(m_parser.get()),
				                   XML_GetCurrentColumnNumber(m_parser.get()) + 1);
			}

			unsigned long line() const { return XML_GetCurrentLineNumber(m_parser.get()); }

			/// The survey's measure of the parser's buffer: the longest stretch of markup it had to hold
			/// whole, either between two events (a comment, a processing instruction) or in one (a start tag).
			void noteEvent()
			{
				const XML_Index at = XML_GetCurrentByteIndex(m_parser.get());
				if (at < 0)
					return;
				const size_t begin = static_cast<size_t>(at);
				const size_t count = static_cast<size_t>(std::max(0, XML_GetCurrentByteCount(m_parser.get())));
				Survey& survey = m_document.survey;
				survey.longestToken = std::max({survey.longestToken, begin - std::min(begin, m_lastEventEnd), count});
				m_lastEventEnd = std::max(m_lastEventEnd, begin + count);
			}

			static void startDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int)
			{
				self(data).stop(std::string(kParseFailure) + "a document type declaration (DOCTYPE) is not allowed");
			}

			static void startElement(void* data, const XML_Char* name, const XML_Char** attributes)
			{
				Walk& walk = self(data);
				walk.guarded([&] { walk.start(name, attributes); });
			}

			static void endElement(void* data, const XML_Char*)
			{
				Walk& walk = self(data);
				walk.guarded([&] { walk.end(); });
			}

			static void characters(void* data, const XML_Char* text, int length)
			{
				Walk& walk = self(data);
				if (walk.m_pass == Pass::Survey)
					walk.noteEvent();
				if (walk.m_collecting && walk.m_roles.size() == walk.m_collectDepth)
					walk.guarded([&] { walk.m_text.append(text, static_cast<size_t>(length)); });
			}

			Role roleOf(std::string_view name) const
			{
				const size_t colon = name.find(':');
				const std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
				const Role parent = m_roles.empty() ? Role::Other : m_roles.back();
				Role role = Role::Other;
				if (m_roles.empty())
					role = local == "graphml" ? Role::Root : Role::Other;
				else if (parent == Role::Root)
					role = local == "key" ? Role::Key : local == "graph" ? Role::Graph : Role::Other;
				else if (parent == Role::Key)
					role = local == "default" ? Role::Default : Role::Other;
				else if (parent == Role::Graph)
					role = local == "node" ? Role::Node : local == "edge" ? Role::Edge : Role::Other;
				else if (parent == Role::Node || parent == Role::Edge)
					role = local == "data" ? Role::Data : Role::Other;
				if (role != Role::Other && colon != std::string_view::npos)
					throw XmlError(fmt::format("GraphML written with a namespace prefix (<{}> on line {}) is not read; write its elements "
					                           "without a prefix",
					                           name, line()));
				if (m_roles.empty() && role != Role::Root)
					throw std::runtime_error(fmt::format("the document's root element is <{}>, not <graphml>", name));
				return role;
			}

			void start(const XML_Char* name, const XML_Char** attributes)
			{
				m_sawElement = true;
				if (m_pass == Pass::Survey)
				{
					noteEvent();
					size_t count = 0;
					for (const XML_Char** attribute = attributes; *attribute; attribute += 2)
						++count;
					m_document.survey.mostAttributes = std::max(m_document.survey.mostAttributes, count);
				}
				if (m_roles.size() >= kMaxElementDepth)
					throw XmlError(fmt::format("elements are nested deeper than {} levels", kMaxElementDepth));
				Role role = roleOf(name);
				// A key for the graph, a port or anything else is passed over with its default.
				if (role == Role::Default && !m_inKey)
					role = Role::Other;
				m_roles.push_back(role);
				switch (role)
				{
				case Role::Key:
					if (m_pass == Pass::Survey)
						declareKey(attributes);
					break;
				case Role::Default:
					collect(Target::None);
					break;
				case Role::Graph:
					startGraph(attributes);
					break;
				case Role::Node:
					startNode(attributes);
					break;
				case Role::Edge:
					startEdge(attributes);
					break;
				case Role::Data:
					startData(attributes);
					break;
				default:
					break;
				}
			}

			void end()
			{
				if (m_pass == Pass::Survey)
					noteEvent();
				const Role role = m_roles.back();
				m_roles.pop_back();
				switch (role)
				{
				case Role::Key:
					m_inKey = false;
					break;
				case Role::Default:
					if (m_pass == Pass::Survey)
					{
						m_document.keys.back().defaultText = m_text;
						m_document.survey.keyBytes += static_cast<double>(m_text.size());
						noteText();
					}
					m_collecting = false;
					break;
				case Role::Node:
					endNode();
					break;
				case Role::Edge:
					endEdge();
					break;
				case Role::Data:
					endData();
					break;
				default:
					break;
				}
			}

			/// Starts gathering the text directly inside the current element.
			void collect(Target target, int index = 0)
			{
				m_collecting = true;
				m_collectDepth = m_roles.size();
				m_target = target;
				m_targetIndex = index;
				m_text.clear();
			}

			void noteText() { m_document.survey.longestText = std::max(m_document.survey.longestText, m_text.size()); }

			// Keys (survey) ----------------------------------------------------------------------------

			void declareKey(const XML_Char** attributes)
			{
				const char* domain = attributeOf(attributes, "for");
				const std::string_view forWhat = domain ? domain : "all";
				const bool nodes = forWhat == "node" || forWhat == "all";
				const bool edges = forWhat == "edge" || forWhat == "all";
				if (!nodes && !edges)
					return;
				const char* id = attributeOf(attributes, "id");
				if (!id)
					throw std::runtime_error(fmt::format("line {}: a key without an id", line()));
				const char* type = attributeOf(attributes, "attr.type");
				const std::optional<KeyType> kind = keyType(type);
				if (!kind)
					throw std::runtime_error(fmt::format("line {}: key \"{}\" has the attr.type \"{}\", which is none of GraphML's types "
					                                     "(boolean, int, long, float, double, string)",
					                                     line(), id, type));
				Key key;
				key.id = id;
				const char* name = attributeOf(attributes, "attr.name");
				key.name = name && *name ? name : id;
				key.type = *kind;
				key.nodes = nodes;
				key.edges = edges;
				key.line = line();
				const size_t index = m_document.keys.size();
				for (auto [wanted, domainKeys, words] : {std::tuple{nodes, &m_document.nodes.keys, "nodes"},
				                                         std::tuple{edges, &m_document.edges.keys, "edges"}})
					if (wanted && !domainKeys->emplace(key.id, index).second)
						throw std::runtime_error(fmt::format("line {}: the key id \"{}\" is declared twice for {}", key.line, key.id, words));
				m_document.survey.keyBytes += kKeyBytes + static_cast<double>(key.id.size() + key.name.size());
				m_document.survey.keysAfterGraph = m_document.survey.keysAfterGraph || m_document.survey.sawGraph;
				m_document.keys.push_back(std::move(key));
				m_inKey = true;
			}

			// Graphs, nodes and edges --------------------------------------------------------------------

			void startGraph(const XML_Char** attributes)
			{
				if (m_pass == Pass::Edges)
				{
					const char* kind = attributeOf(attributes, "edgedefault");
					if (!kind || std::strcmp(kind, "directed") == 0)
						m_graph->setDirected();
				}
				m_firstGraph = !m_document.survey.sawGraph;
				m_document.survey.sawGraph = true;
			}

			void startNode(const XML_Char** attributes)
			{
				const char* id = attributeOf(attributes, "id");
				if (m_pass == Pass::Survey)
				{
					m_document.survey.nodes += 1.0;
					m_document.survey.idBytes += id ? static_cast<double>(std::strlen(id)) : 0.0;
					m_inFirstNode = m_firstGraph && m_document.survey.nodes == 1.0;
					return;
				}
				if (m_pass != Pass::Nodes)
					return;
				if (!id)
					throw std::runtime_error(fmt::format("line {}: a node without an id", line()));
				m_elementId = id;
				m_elementLine = line();
				if (m_document.ids.count(m_elementId))
					throw std::runtime_error(fmt::format("line {}: a second node with the id \"{}\"", m_elementLine, m_elementId));
				m_position = m_document.initialPosition;
				m_features = m_document.nodes.features.initial;
				m_texts.clear();
			}

			void startEdge(const XML_Char** attributes)
			{
				if (m_pass == Pass::Survey)
				{
					m_document.survey.edges += 1.0;
					return;
				}
				if (m_pass != Pass::Edges)
					return;
				m_elementLine = line();
				const char* source = attributeOf(attributes, "source");
				const char* target = attributeOf(attributes, "target");
				if (!source || !target)
					throw std::runtime_error(fmt::format("line {}: an edge without a {}", m_elementLine, source ? "target" : "source"));
				const auto from = m_document.ids.find(source);
				const auto to = m_document.ids.find(target);
				if (from == m_document.ids.end() || to == m_document.ids.end())
					throw std::runtime_error(fmt::format("line {}: Edge refers to undefined node: {} or {}", m_elementLine, source, target));
				m_from = from->second;
				m_to = to->second;
				m_elementId = std::string(source) + " -> " + target;
				m_features = m_document.edges.features.initial;
				m_texts.clear();
			}

			void startData(const XML_Char** attributes)
			{
				const char* keyAttribute = attributeOf(attributes, "key");
				const std::string key = keyAttribute ? keyAttribute : "";
				const bool ofNode = m_roles[m_roles.size() - 2] == Role::Node;
				const Domain& domain = ofNode ? m_document.nodes : m_document.edges;
				const auto found = domain.keys.find(key);
				m_dataKey = found == domain.keys.end() ? nullptr : &m_document.keys[found->second];
				m_dataLine = line();
				m_dataKeyId = key;
				if (m_pass == Pass::Survey)
				{
					m_document.survey.firstNodeHasZ = m_document.survey.firstNodeHasZ || (m_inFirstNode && ofNode && key == "z");
					collect(Target::None);
					return;
				}
				if ((m_pass == Pass::Nodes) != ofNode)
					return;
				if (!m_dataKey)
				{
					// A coordinate needs no declaration.
					const int axis = ofNode ? axisOf(key) : -1;
					if (axis >= 0 && (axis < 2 || m_document.threeD))
						collect(Target::Axis, axis);
				}
				else if (ofNode && m_dataKey->axis >= 0)
				{
					if (m_dataKey->axis < 2 || m_document.threeD)
						collect(Target::Axis, m_dataKey->axis);
				}
				else if (const int column = ofNode ? m_dataKey->nodeColumn : m_dataKey->edgeColumn; column >= 0)
					collect(Target::Feature, column);
				else if (const int slot = ofNode ? m_dataKey->nodeSlot : m_dataKey->edgeSlot; slot >= 0)
					collect(Target::Slot, slot);
			}

			void endData()
			{
				if (!m_collecting)
					return;
				m_collecting = false;
				if (m_pass == Pass::Survey)
				{
					noteText();
					if (m_dataKey)
					{
						m_dataKey->values += 1.0;
						m_dataKey->valueBytes += static_cast<double>(m_text.size());
					}
					else
					{
						m_document.survey.undeclaredValues += 1.0;
						m_document.survey.undeclaredBytes += static_cast<double>(m_text.size());
					}
					return;
				}
				if (m_target == Target::Slot)
				{
					m_texts.emplace_back(m_targetIndex, std::move(m_text));
					m_text = std::string();
					return;
				}
				const KeyType type = m_dataKey ? m_dataKey->type : KeyType::Number;
				const std::optional<double> value = parseValue(m_text, type);
				if (!value)
					throw std::runtime_error(fmt::format("line {}: the value {} of key \"{}\" at {} \"{}\" is not {}", m_dataLine, excerpt(m_text),
					                                     m_dataKeyId, m_pass == Pass::Nodes ? "node" : "edge", m_elementId, typeWords(type)));
				if (m_target == Target::Axis)
					m_position[m_targetIndex] = *value;
				else
					m_features[static_cast<size_t>(m_targetIndex)] = *value;
			}

			/// Gives `attributes` the text values gathered for the element, in slot order, the last
			/// value of a slot winning, and the defaults of the slots without one.
			void fillAttributes(Properties& attributes, const Domain& domain)
			{
				if (m_texts.empty() && domain.defaultSlots.empty())
					return;
				std::stable_sort(m_texts.begin(), m_texts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
				auto value = m_texts.begin();
				auto withDefault = domain.defaultSlots.begin();
				while (value != m_texts.end() || withDefault != domain.defaultSlots.end())
				{
					const int slot = value != m_texts.end() && (withDefault == domain.defaultSlots.end() || value->first <= *withDefault)
					                     ? value->first
					                     : *withDefault;
					Properties::Param param;
					param.name = domain.slots.names[static_cast<size_t>(slot)];
					if (value != m_texts.end() && value->first == slot)
					{
						while (std::next(value) != m_texts.end() && std::next(value)->first == slot)
							++value;
						param.value = std::move(value->second);
						++value;
					}
					else
						param.value = *domain.slots.initial[static_cast<size_t>(slot)];
					if (withDefault != domain.defaultSlots.end() && *withDefault == slot)
						++withDefault;
					attributes.appendParam(std::move(param));
				}
			}

			void endNode()
			{
				if (m_pass != Pass::Nodes)
				{
					m_inFirstNode = false;
					return;
				}
				if (!m_position.allFinite())
					throw std::runtime_error(fmt::format("line {}: node \"{}\" is at ({}, {}, {}), which is not a finite position", m_elementLine,
					                                     m_elementId, m_position.x(), m_position.y(), m_position.z()));
				Graph::NodeInfo info(m_position, std::move(m_features));
				fillAttributes(info.attributes(), m_document.nodes);
				m_document.ids.emplace(std::move(m_elementId), m_graph->addNode(std::move(info)));
				m_elementId = std::string();
			}

			void endEdge()
			{
				if (m_pass != Pass::Edges)
					return;
				if (m_graph->edge(m_from, m_to).has_value())
				{
					++m_document.mergedEdges;
					return;
				}
				Graph::EdgeInfo info(std::move(m_features));
				fillAttributes(info.attributes(), m_document.edges);
				m_graph->addEdge(m_from, m_to, std::move(info));
			}

			std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> m_parser;
			Pass m_pass;
			Document& m_document;
			Graph* m_graph;
			std::string m_stopReason;
			bool m_sawElement = false;
			size_t m_lastEventEnd = 0;
			std::vector<Role> m_roles;
			bool m_inKey = false;
			bool m_firstGraph = false;
			bool m_inFirstNode = false;

			// The element being read.
			std::string m_elementId;
			unsigned long m_elementLine = 0;
			Eigen::Vector3d m_position = Eigen::Vector3d::Zero();
			std::vector<double> m_features;
			std::vector<std::pair<int, std::string>> m_texts;
			uint64_t m_from = 0;
			uint64_t m_to = 0;

			// The data or default element being read.
			bool m_collecting = false;
			size_t m_collectDepth = 0;
			Target m_target = Target::None;
			int m_targetIndex = 0;
			std::string m_text;
			Key* m_dataKey = nullptr;
			std::string m_dataKeyId;
			unsigned long m_dataLine = 0;
		};

		// ---------------------------------------------------------------------------------------------
		// Between the passes

		/// Gives every key its place: node keys named x, y or z are coordinates; text keys fill
		/// attribute slots, the others feature columns, by name. Defaults are read by the key's type.
		void placeKeys(Document& document)
		{
			for (Key& key : document.keys)
			{
				std::optional<double> value;
				if (key.defaultText && key.type != KeyType::Text)
				{
					value = parseValue(*key.defaultText, key.type);
					if (!value)
						throw std::runtime_error(fmt::format("line {}: the default {} of key \"{}\" is not {}", key.line, excerpt(*key.defaultText),
						                                     key.id, typeWords(key.type)));
				}
				if (key.nodes && axisOf(key.name) >= 0)
				{
					key.axis = axisOf(key.name);
					if (key.defaultText)
					{
						value = value ? value : parseDouble(*key.defaultText);
						if (!value || !std::isfinite(*value))
							throw std::runtime_error(fmt::format("line {}: the default {} of coordinate key \"{}\" is not a finite number", key.line,
							                                     excerpt(*key.defaultText), key.id));
						document.initialPosition[key.axis] = *value;
					}
				}
				// x, y and z of a key for nodes and edges are the nodes' coordinates only.
				const bool forNodes = key.nodes && key.axis < 0;
				const bool forEdges = key.edges && !(key.nodes && key.axis >= 0);
				if (key.type != KeyType::Text && (forNodes || forEdges))
					if (const std::string problem = FeatureNames::problem(key.name); !problem.empty())
						throw std::runtime_error(fmt::format("line {}: key \"{}\" names a feature {} that cannot be stored: {}", key.line, key.id,
						                                     FeatureNames::quoted(key.name), problem));
				for (auto [wanted, domain, column, slot] :
				     {std::tuple{forNodes, &document.nodes, &key.nodeColumn, &key.nodeSlot},
				      std::tuple{forEdges, &document.edges, &key.edgeColumn, &key.edgeSlot}})
				{
					if (!wanted)
						continue;
					if (key.type == KeyType::Text)
						*slot = domain->slots.columnOf(key.name, key.defaultText);
					else
						*column = domain->features.columnOf(key.name, value.value_or(0.0));
				}
			}
			for (Domain* domain : {&document.nodes, &document.edges})
				for (size_t slot = 0; slot < domain->slots.initial.size(); ++slot)
					if (domain->slots.initial[slot])
						domain->defaultSlots.push_back(static_cast<int>(slot));
		}

		/// The heap block of a feature vector of `columns` values: large blocks are mapped whole pages.
		double vectorBytes(double columns)
		{
			const double bytes = 8.0 * columns + 32.0;
			constexpr double page = 4096.0;
			return bytes < 32.0 * page ? bytes : std::ceil(bytes / page) * page + page;
		}

		/// What reading takes at its peak, an upper bound: the text, the parser, the keys, the element
		/// being read, the graph with its attributes, and the map from GraphML ids to nodes.
		double readingMemory(const Document& document, size_t textCapacity)
		{
			const Survey& survey = document.survey;
			const double nodeColumns = static_cast<double>(document.nodes.features.names.size());
			const double edgeColumns = static_cast<double>(document.edges.features.names.size());
			// The parser's buffer doubles as it grows and attribute values are copied once more.
			const double parser = 3.0 * static_cast<double>(survey.longestToken + kChunk + 4096) +
			                      kParserBytesPerAttribute * static_cast<double>(survey.mostAttributes);
			const double walk = 3.0 * static_cast<double>(survey.longestText) + vectorBytes(std::max(nodeColumns, edgeColumns));
			const double graph = survey.nodes * (kNodeBytes + vectorBytes(nodeColumns)) + survey.edges * (kEdgeBytes + 2.0 * vectorBytes(edgeColumns));
			const double ids = survey.nodes * kIdBytes + survey.idBytes;

			// Every text value is a parameter of its own (name, value, room to grow).
			const double parameter = 2.0 * static_cast<double>(sizeof(Properties::Param)) + 2.0 * kStringBytes;
			double texts = 0.0;
			double longestTextName = 0.0;
			for (const Key& key : document.keys)
				if (key.type == KeyType::Text)
				{
					const double name = static_cast<double>(key.name.size());
					longestTextName = std::max(longestTextName, name);
					texts += key.values * (parameter + name) + key.valueBytes;
					if (key.defaultText)
						texts += ((key.nodes ? survey.nodes : 0.0) + (key.edges ? survey.edges : 0.0)) *
						         (parameter + name + static_cast<double>(key.defaultText->size()));
				}
			if (survey.keysAfterGraph)
				texts += survey.undeclaredValues * (parameter + longestTextName) + survey.undeclaredBytes;
			const double sets = (document.nodes.slots.names.empty() ? 0.0 : survey.nodes) + (document.edges.slots.names.empty() ? 0.0 : survey.edges);
			texts += sets * kAttributeSetBytes;

			return static_cast<double>(textCapacity) + parser + survey.keyBytes + walk + graph + ids + texts;
		}

		std::string encodingProblem(std::string_view text)
		{
			const auto startsWith = [&](std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; };
			using namespace std::string_view_literals;
			for (std::string_view mark : {"\x00\x00\xfe\xff"sv, "\xff\xfe\x00\x00"sv, "\x00\x00\x00<"sv, "<\x00\x00\x00"sv})
				if (startsWith(mark))
					return "GraphML in UTF-32 is not read; save it as UTF-8";
			for (std::string_view mark : {"\xfe\xff"sv, "\xff\xfe"sv, "\x00<"sv, "<\x00"sv})
				if (startsWith(mark))
					return "GraphML in UTF-16 is not read; save it as UTF-8";
			return {};
		}

		/// Reads what is left of the stream into memory, in one allocation when the stream tells its size.
		std::string readAll(std::istream& in)
		{
			std::string text;
			const std::istream::pos_type here = in.tellg();
			if (here != std::istream::pos_type(-1) && in.seekg(0, std::ios::end))
			{
				const std::istream::pos_type end = in.tellg();
				in.seekg(here);
				if (end != std::istream::pos_type(-1) && end > here)
					text.reserve(static_cast<size_t>(end - here));
			}
			in.clear(in.rdstate() & std::ios::badbit);
			char chunk[1 << 16];
			while (in.good())
			{
				in.read(chunk, sizeof(chunk));
				text.append(chunk, static_cast<size_t>(in.gcount()));
			}
			return text;
		}

		std::unique_ptr<Graph> readDocument(std::string_view text, size_t textCapacity)
		{
			Document document;
			if (std::string problem = Walk(Pass::Survey, document, nullptr).run(text); !problem.empty())
			{
				logError(problem == kNoElement ? "Parsed GraphML tree is empty" : problem);
				return nullptr;
			}
			auto graph = std::make_unique<Graph>(Graph::Type::Undirected, Graph::Dimension::ThreeD);
			graph->clearFeatureDescriptors();
			try
			{
				placeKeys(document);
				const Survey& survey = document.survey;
				MemoryLimit::require(readingMemory(document, textCapacity),
				                     fmt::format("Reading a GraphML document of {} into a graph of {} nodes with {} features and {} edges with {} "
				                                 "features",
				                                 MemoryLimit::format(static_cast<double>(text.size())), survey.nodes,
				                                 document.nodes.features.names.size(), survey.edges, document.edges.features.names.size()));
			}
			catch (const std::exception& e)
			{
				logError(std::string(kReadFailure) + e.what());
				return nullptr;
			}

			// A node key named z decides; without one, the first node's data.
			document.threeD = document.survey.firstNodeHasZ ||
			                  std::any_of(document.keys.begin(), document.keys.end(), [](const Key& key) { return key.axis == 2; });
			graph->setDimension(document.threeD ? Graph::Dimension::ThreeD : Graph::Dimension::TwoD);
			for (auto [columns, add] : {std::pair{&document.edges.features, &Graph::addEdgeFeatureDescriptors},
			                            std::pair{&document.nodes.features, &Graph::addNodeFeatureDescriptors}})
			{
				std::vector<Graph::FeatureDescriptor> descriptors;
				for (const std::string& name : columns->names)
					descriptors.push_back({name, 0.0});
				((*graph).*add)(std::move(descriptors));
			}

			for (Pass pass : {Pass::Nodes, Pass::Edges})
				if (std::string problem = Walk(pass, document, graph.get()).run(text); !problem.empty())
				{
					logError(problem);
					return nullptr;
				}
			if (document.mergedEdges > 0)
				Log::log(Log::Warning, "",
				         fmt::format("Merged {} parallel edge(s) into the edge listed first between the same nodes: a graph holds one edge "
				                     "per pair of nodes (per direction when directed).",
				                     document.mergedEdges));
			Log::log(Log::Info, "",
			         fmt::format("Imported {}D graph with {} nodes, {} edges, {} edge feature(s) and {} node feature(s).", document.threeD ? 3 : 2,
			                     graph->numNodes(), graph->numEdges(), graph->numEdgeFeatures(), graph->numNodeFeatures()));
			return graph;
		}
	}

	std::unique_ptr<Graph> GraphMLReader::read(std::istream& in)
	{
		std::string text;
		try
		{
			text = readAll(in);
			if (in.bad())
				throw std::runtime_error("read error");
			if (const std::string problem = encodingProblem(text); !problem.empty())
				throw std::runtime_error(problem);
		}
		catch (const std::exception& e)
		{
			logError(std::string(kParseFailure) + e.what());
			return nullptr;
		}
		return readDocument(text, text.capacity());
	}
}
