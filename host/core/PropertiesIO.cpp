#include "host/core/PropertiesIO.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "host/core/Log.h"
#include "host/core/PropertyText.h"

namespace Quorvale::PropertiesIO
{
	namespace
	{
		const std::string kLogCategory = "Core.PropertiesIO";

		bool isSpace(char c) { return c == ' ' || c == '\t'; }

		void skipSpaces(std::string_view& text)
		{
			while (!text.empty() && isSpace(text.front()))
				text.remove_prefix(1);
		}

		void indent(std::string& out, size_t depth) { out.append(depth, '\t'); }

		// Saving -------------------------------------------------------------------------------------

		void writeHead(std::string& out, const Properties& set, size_t depth)
		{
			indent(out, depth);
			out += "begin ";
			PropertyText::appendQuoted(out, set.name());
			out.push_back('\n');

			for (const auto& [key, value] : set.attributes())
			{
				indent(out, depth + 1);
				out += "attribute ";
				PropertyText::appendQuoted(out, key);
				out.push_back(' ');
				PropertyText::appendQuoted(out, value);
				out.push_back('\n');
			}

			for (const Properties::Param& p : set.params())
			{
				indent(out, depth + 1);
				out += "param ";
				PropertyText::appendQuoted(out, p.name);
				out.push_back(' ');
				out += PropertiesDetail::typeName(p.value);
				out.push_back(' ');
				PropertyText::appendValue(out, p.value);
				out.push_back('\n');
				if (p.defaultValue)
				{
					indent(out, depth + 2);
					out += "default ";
					out += PropertiesDetail::typeName(*p.defaultValue);
					out.push_back(' ');
					PropertyText::appendValue(out, *p.defaultValue);
					out.push_back('\n');
				}
				if (p.type != PropertiesDetail::ParamType::Default)
				{
					indent(out, depth + 2);
					out += "type ";
					out += std::to_string(static_cast<int>(p.type));
					out.push_back('\n');
				}
				for (const auto& [key, value] : p.attributes)
				{
					indent(out, depth + 2);
					out += "param-attribute ";
					PropertyText::appendQuoted(out, key);
					out.push_back(' ');
					PropertyText::appendQuoted(out, value);
					out.push_back('\n');
				}
			}
		}

		// Loading ------------------------------------------------------------------------------------

		/// Says whether `name` is new among `items` and records it. Small sets are searched directly;
		/// past a few entries a hash index keeps hostile texts with many entries from taking quadratic time.
		template <typename Items, typename KeyOf>
		bool insertUnique(const Items& items, KeyOf keyOf, std::unordered_set<std::string>& index, const std::string& name)
		{
			constexpr size_t kLinearLimit = 16;
			if (items.size() < kLinearLimit)
			{
				for (const auto& item : items)
					if (keyOf(item) == name)
						return false;
				return true;
			}
			if (index.empty())
				for (const auto& item : items)
					index.insert(keyOf(item));
			return index.insert(name).second;
		}

		const std::string& firstOf(const std::pair<std::string, std::string>& entry) { return entry.first; }
		const std::string& nameOf(const Properties::Param& param) { return param.name; }

		struct Frame
		{
			Properties* set = nullptr;
			std::unordered_set<std::string> paramIndex;
			std::unordered_set<std::string> attributeIndex;
		};

		struct PendingParam
		{
			Properties::Param param;
			bool hasType = false;
			std::unordered_set<std::string> attributeIndex;
		};

		struct ParseError
		{
			std::string reason;
		};

		class Parser
		{
		public:
			std::optional<Properties> run(std::string_view text)
			{
				size_t pos = 0;
				while (pos < text.size())
				{
					size_t end = text.find('\n', pos);
					if (end == std::string_view::npos)
						end = text.size();
					std::string_view line = text.substr(pos, end - pos);
					pos = end + 1;
					++m_line;
					if (!statement(line))
						return std::nullopt;
				}
				if (!m_finished)
					return fail(m_started ? "the text ends inside a set (missing 'end')" : "no 'begin' line");
				return std::move(m_result);
			}

		private:
			bool statement(std::string_view line)
			{
				if (!line.empty() && line.back() == '\r')
					line.remove_suffix(1);
				skipSpaces(line);
				if (line.empty())
					return true;
				if (m_finished)
					return failed("text after the final 'end'");
				if (line.front() == '#')
					return true;

				size_t length = 0;
				while (length < line.size() && ((line[length] >= 'a' && line[length] <= 'z') || line[length] == '-'))
					++length;
				const std::string_view keyword = line.substr(0, length);
				std::string_view rest = line.substr(length);
				if (keyword.empty() || (!rest.empty() && !isSpace(rest.front())))
					return failed("unknown keyword '" + std::string(line.substr(0, std::min<size_t>(line.size(), 32))) + "'");
				skipSpaces(rest);

				if (!m_started)
				{
					if (keyword != "begin")
						return failed("the text must start with a 'begin' line");
					return begin(rest);
				}
				if (keyword == "begin")
					return begin(rest);
				if (keyword == "end")
					return end(rest);
				if (keyword == "attribute")
					return attribute(rest);
				if (keyword == "param")
					return param(rest);
				if (keyword == "default")
					return defaultValue(rest);
				if (keyword == "type")
					return typeWord(rest);
				if (keyword == "param-attribute")
					return paramAttribute(rest);
				return failed("unknown keyword '" + std::string(keyword.substr(0, 32)) + "'");
			}

			bool begin(std::string_view rest)
			{
				auto name = PropertyText::consumeQuoted(rest);
				if (!name || !onlySpaces(rest))
					return failed("'begin' needs a quoted name and nothing else");
				if (!m_started)
				{
					m_started = true;
					m_result.setName(*name);
					m_frames.push_back(Frame{&m_result, {}, {}});
					return true;
				}
				flushParam();
				if (m_frames.size() > static_cast<size_t>(kMaxDepth))
					return failed("sub-properties nested deeper than " + std::to_string(kMaxDepth) + " levels");
				Properties& child = m_frames.back().set->addSubProperties(Properties(std::move(*name)));
				m_frames.push_back(Frame{&child, {}, {}});
				return true;
			}

			bool end(std::string_view rest)
			{
				if (!rest.empty())
					return failed("'end' takes no arguments");
				flushParam();
				m_frames.pop_back();
				m_finished = m_frames.empty();
				return true;
			}

			bool attribute(std::string_view rest)
			{
				flushParam();
				auto entry = keyValue(rest);
				if (!entry)
					return failed("'attribute' needs a quoted key and a quoted value");
				Frame& frame = m_frames.back();
				if (!insertUnique(frame.set->attributes(), firstOf, frame.attributeIndex, entry->first))
					return failed("attribute '" + entry->first + "' appears twice");
				frame.set->appendAttribute(std::move(entry->first), std::move(entry->second));
				return true;
			}

			bool param(std::string_view rest)
			{
				flushParam();
				auto name = PropertyText::consumeQuoted(rest);
				if (!name || rest.empty() || !isSpace(rest.front()))
					return failed("'param' needs a quoted name, a type and a value");
				skipSpaces(rest);
				auto value = typedValue(rest);
				if (!value)
					return false;
				Frame& frame = m_frames.back();
				if (!insertUnique(frame.set->params(), nameOf, frame.paramIndex, *name))
					return failed("parameter '" + *name + "' appears twice");
				m_pending.emplace();
				m_pending->param.name = std::move(*name);
				m_pending->param.value = std::move(*value);
				return true;
			}

			bool defaultValue(std::string_view rest)
			{
				if (!m_pending || m_pending->param.defaultValue)
					return failed("'default' must follow its 'param' line, once");
				auto value = typedValue(rest);
				if (!value)
					return false;
				m_pending->param.defaultValue = std::move(*value);
				return true;
			}

			bool typeWord(std::string_view rest)
			{
				if (!m_pending || m_pending->hasType)
					return failed("'type' must follow its 'param' line, once");
				auto word = PropertyText::parseValue(rest, "int");
				if (!word)
					return failed("'type' needs an integer");
				m_pending->param.type = static_cast<PropertiesDetail::ParamType>(std::get<int>(*word));
				m_pending->hasType = true;
				return true;
			}

			bool paramAttribute(std::string_view rest)
			{
				if (!m_pending)
					return failed("'param-attribute' must follow its 'param' line");
				auto entry = keyValue(rest);
				if (!entry)
					return failed("'param-attribute' needs a quoted key and a quoted value");
				auto& attributes = m_pending->param.attributes;
				if (!insertUnique(attributes, firstOf, m_pending->attributeIndex, entry->first))
					return failed("attribute '" + entry->first + "' of parameter '" + m_pending->param.name + "' appears twice");
				attributes.emplace_back(std::move(*entry));
				return true;
			}

			/// "<type> <value text>" of a parameter or default.
			std::optional<PropertyValue> typedValue(std::string_view rest)
			{
				size_t length = 0;
				while (length < rest.size() && !isSpace(rest[length]))
					++length;
				const std::string_view type = rest.substr(0, length);
				auto value = PropertyText::parseValue(rest.substr(length), type);
				if (!value)
					failed("unknown type or malformed value of type '" + std::string(type.substr(0, 32)) + "'");
				return value;
			}

			std::optional<std::pair<std::string, std::string>> keyValue(std::string_view rest)
			{
				auto key = PropertyText::consumeQuoted(rest);
				if (!key || rest.empty() || !isSpace(rest.front()))
					return std::nullopt;
				skipSpaces(rest);
				auto value = PropertyText::consumeQuoted(rest);
				if (!value || !onlySpaces(rest))
					return std::nullopt;
				return std::make_pair(std::move(*key), std::move(*value));
			}

			static bool onlySpaces(std::string_view rest)
			{
				skipSpaces(rest);
				return rest.empty();
			}

			void flushParam()
			{
				if (!m_pending)
					return;
				m_frames.back().set->appendParam(std::move(m_pending->param));
				m_pending.reset();
			}

			bool failed(const std::string& reason)
			{
				Log::log(Log::Error, kLogCategory, "Cannot read properties text, line " + std::to_string(m_line) + ": " + reason);
				return false;
			}

			std::nullopt_t fail(const std::string& reason)
			{
				failed(reason);
				return std::nullopt;
			}

			Properties m_result;
			std::vector<Frame> m_frames;
			std::optional<PendingParam> m_pending;
			bool m_started = false;
			bool m_finished = false;
			size_t m_line = 0;
		};
	}

	std::optional<std::string> saveToString(const Properties& properties, int format, const std::string& comment)
	{
		if (format != kTextFormat)
		{
			Log::log(Log::Error, kLogCategory,
			         "Cannot save properties in text format " + std::to_string(format) + ": only format 4 exists");
			return std::nullopt;
		}

		std::string out;
		if (!comment.empty())
		{
			size_t pos = 0;
			while (pos <= comment.size())
			{
				size_t end = comment.find('\n', pos);
				if (end == std::string::npos)
					end = comment.size();
				out += "# ";
				out.append(comment, pos, end - pos);
				out.push_back('\n');
				pos = end + 1;
			}
		}

		// Depth-first without recursion: each entry is a set and the index of its next child.
		struct Entry
		{
			const Properties* set;
			std::vector<const Properties*> children;
			size_t next;
		};
		std::vector<Entry> stack;
		writeHead(out, properties, 0);
		stack.push_back(Entry{&properties, properties.allSubProperties(), 0});
		while (!stack.empty())
		{
			Entry& top = stack.back();
			if (top.next == top.children.size())
			{
				indent(out, stack.size() - 1);
				out += "end\n";
				stack.pop_back();
				continue;
			}
			const Properties* child = top.children[top.next++];
			if (stack.size() > static_cast<size_t>(kMaxDepth))
			{
				Log::log(Log::Error, kLogCategory,
				         "Cannot save properties: sub-properties nested deeper than " + std::to_string(kMaxDepth) + " levels");
				return std::nullopt;
			}
			writeHead(out, *child, stack.size());
			stack.push_back(Entry{child, child->allSubProperties(), 0});
		}
		return out;
	}

	std::optional<Properties> loadFromString(const std::string& text, int format)
	{
		if (format != kTextFormat)
		{
			Log::log(Log::Error, kLogCategory,
			         "Cannot read properties text of format " + std::to_string(format) + ": only format 4 exists");
			return std::nullopt;
		}
		return Parser().run(text);
	}
}
