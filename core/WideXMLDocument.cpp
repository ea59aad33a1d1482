#include "WideXMLDocument.h"

#include "AtomicFileWriter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>
#include <unordered_set>

namespace Zelvo {

namespace {

using AttributeList = WideXMLDocument::AttributeList;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void AppendUtf8(unsigned long code, std::string& out)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Length of the entity reference at text[i] ('&') and its expansion; 0 when it is none of the
// predefined or numeric references (the '&' then stands for itself, as TinyXML-2 reads it).
size_t ExpandEntity(const std::string& text, size_t i, size_t end, std::string& out)
{
    // The longest reference taken is "&#x" with 8 digits and ';': looking further (to the
    // end of the value, or of the file) would make a run of '&' quadratic.
    const size_t kLongestReference = 12;
    const size_t semicolon = std::string_view(text).substr(0, std::min(end, i + kLongestReference)).find(';', i);
    if (semicolon == std::string_view::npos) return 0;
    const std::string name = text.substr(i + 1, semicolon - i - 1);
    static const std::pair<const char*, char> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& entity : kNamed) {
        if (name == entity.first) {
            out += entity.second;
            return semicolon - i + 1;
        }
    }
    if (name.size() < 2 || name[0] != '#') return 0;
    const bool hex = name[1] == 'x';
    const std::string digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return 0;
    unsigned long code = 0;
    for (char c : digits) {
        int value;
        if (c >= '0' && c <= '9') value = c - '0';
        else if (hex && c >= 'a' && c <= 'f') value = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') value = c - 'A' + 10;
        else return 0;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(value);
    }
    if (code == 0 || code > 0x10FFFF) return 0;
    AppendUtf8(code, out);
    return semicolon - i + 1;
}

// Names as the parser accepts them, so that a lifted attribute is written back readable.
bool IsNameStart(unsigned char c)
{
    return c >= 0x80 || std::isalpha(c) || c == '_' || c == ':';
}

bool IsNameChar(unsigned char c)
{
    return IsNameStart(c) || std::isdigit(c) || c == '.' || c == '-';
}

bool IsName(const std::string& name)
{
    if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name)
        if (!IsNameChar(static_cast<unsigned char>(c))) return false;
    return true;
}

// An attribute value as the parser reads it: references expanded, line ends made "\n".
std::string DecodeValue(const std::string& text, size_t begin, size_t end)
{
    std::string value;
    value.reserve(end - begin);
    for (size_t i = begin; i < end;) {
        const char c = text[i];
        if (c == '\r') {
            value += '\n';
            i += (i + 1 < end && text[i + 1] == '\n') ? 2 : 1;
        } else if (c == '&') {
            const size_t used = ExpandEntity(text, i, end, value);
            if (used == 0) value += c;
            i += used == 0 ? 1 : used;
        } else {
            value += c;
            ++i;
        }
    }
    return value;
}

// Copies text to out with the attributes of every start tag at a wide path lifted into
// lists (in document order). Comments, CDATA sections, declarations and end tags are
// copied as they are. False when a wide tag is malformed or repeats an attribute.
bool LiftWideAttributes(const std::string& text, const std::unordered_set<std::string>& widePaths,
                        size_t maxAttributes, std::string& out, std::vector<AttributeList>& lists)
{
    const size_t n = text.size();
    out.reserve(n);
    std::vector<size_t> openLengths;  // path length before each open element
    std::string path;
    size_t pos = 0;
    while (pos < n) {
        const size_t lt = text.find('<', pos);
        if (lt == std::string::npos) break;
        out.append(text, pos, lt - pos);

        const char* skipEnd = nullptr;
        if (text.compare(lt, 4, "<!--") == 0) skipEnd = "-->";
        else if (text.compare(lt, 9, "<![CDATA[") == 0) skipEnd = "]]>";
        else if (text.compare(lt, 2, "<?") == 0) skipEnd = "?>";
        else if (text.compare(lt, 2, "<!") == 0 || text.compare(lt, 2, "</") == 0) skipEnd = ">";
        if (skipEnd) {
            if (text[lt + 1] == '/') {
                // The parser stops quietly at an end tag outside every element and keeps
                // what came before; such a file would not be written back as it was read.
                if (openLengths.empty()) return false;
                path.resize(openLengths.back());
                openLengths.pop_back();
            }
            const size_t end = text.find(skipEnd, lt + 2);
            pos = end == std::string::npos ? n : end + std::char_traits<char>::length(skipEnd);
            out.append(text, lt, pos - lt);
            continue;
        }

        size_t q = lt + 1;
        while (q < n && !IsSpace(text[q]) && text[q] != '/' && text[q] != '>') ++q;
        const size_t parentLength = path.size();
        if (!path.empty()) path += '/';
        path.append(text, lt + 1, q - lt - 1);
        if (widePaths.count(path) == 0) {
            // Leave the tag to the parser; only quoted values may hide a '>'. The parser checks
            // each attribute against all before it, so a tag with thousands would take minutes.
            char quote = 0;
            size_t attributes = 0;
            while (q < n && (quote || text[q] != '>')) {
                if (quote && text[q] == quote) quote = 0;
                else if (!quote && (text[q] == '"' || text[q] == '\'')) quote = text[q];
                else if (!quote && text[q] == '=' && ++attributes > maxAttributes) return false;
                ++q;
            }
            out.append(text, lt, q - lt);
        } else {
            const size_t nameEnd = q;
            AttributeList attributes;
            std::unordered_set<std::string> seen;
            while (true) {
                while (q < n && IsSpace(text[q])) ++q;
                if (q >= n) return false;
                if (text[q] == '>' || (text[q] == '/' && q + 1 < n && text[q + 1] == '>')) break;
                const size_t nameStart = q;
                while (q < n && !IsSpace(text[q]) && text[q] != '=' && text[q] != '/' && text[q] != '>') ++q;
                if (q == nameStart) return false;
                std::string name = text.substr(nameStart, q - nameStart);
                while (q < n && IsSpace(text[q])) ++q;
                if (q >= n || text[q] != '=') return false;
                ++q;
                while (q < n && IsSpace(text[q])) ++q;
                if (q >= n || (text[q] != '"' && text[q] != '\'')) return false;
                const size_t close = text.find(text[q], q + 1);
                if (close == std::string::npos) return false;
                if (!IsName(name) || !seen.insert(name).second) return false;
                attributes.emplace_back(std::move(name), DecodeValue(text, q + 1, close));
                q = close + 1;
            }
            out.append(text, lt, nameEnd - lt);
            lists.push_back(std::move(attributes));
        }
        const bool selfClosing = q < n && (text[q] == '/' || (q > lt && text[q - 1] == '/'));
        if (selfClosing) {
            path.resize(parentLength);
        } else {
            openLengths.push_back(parentLength);
        }
        pos = q;
    }
    if (pos < n) out.append(text, pos, n - pos);
    return true;
}

void CollectInOrder(tinyxml2::XMLElement* element, const std::string& parentPath,
                    const std::unordered_set<std::string>& paths, std::vector<tinyxml2::XMLElement*>& found)
{
    for (; element; element = element->NextSiblingElement()) {
        const std::string path = parentPath.empty() ? element->Name() : parentPath + "/" + element->Name();
        if (paths.count(path)) found.push_back(element);
        CollectInOrder(element->FirstChildElement(), path, paths, found);
    }
}

// Writes every attribute value so that it reads back unchanged: besides the markup
// characters, tab and line ends are written as references, since readers turn raw ones
// into LF (TinyXML-2) or spaces (XML attribute normalisation).
void AppendEscaped(const std::string& value, std::string& out)
{
    for (char c : value) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\r': out += "&#13;"; break;
        case '\n': out += "&#10;"; break;
        case '\t': out += "&#9;"; break;
        default: out += c;
        }
    }
}

class WidePrinter : public tinyxml2::XMLPrinter {
public:
    WidePrinter(FILE* file, const std::unordered_map<const tinyxml2::XMLElement*, AttributeList>& lists)
        : tinyxml2::XMLPrinter(file), m_lists(lists)
    {
    }

    using tinyxml2::XMLPrinter::VisitEnter;
    bool VisitEnter(const tinyxml2::XMLElement& element, const tinyxml2::XMLAttribute* first) override
    {
        const tinyxml2::XMLElement* parent = element.Parent() ? element.Parent()->ToElement() : nullptr;
        OpenElement(element.Name(), parent ? CompactMode(*parent) : false);
        for (const tinyxml2::XMLAttribute* attribute = first; attribute; attribute = attribute->Next())
            WriteAttribute(attribute->Name(), attribute->Value());
        const auto list = m_lists.find(&element);
        if (list != m_lists.end()) {
            for (const auto& attribute : list->second) WriteAttribute(attribute.first, attribute.second);
        }
        return true;
    }

    // Text is read with its references expanded and CR made LF, so a CR that came from
    // "&#13;" is written as a reference again (CDATA keeps its characters as they are).
    using tinyxml2::XMLPrinter::Visit;
    bool Visit(const tinyxml2::XMLText& text) override
    {
        if (text.CData()) return tinyxml2::XMLPrinter::Visit(text);
        PushText("", false);  // closes the start tag and keeps the text's layout
        m_buffer.clear();
        for (const char* c = text.Value(); *c; ++c) {
            switch (*c) {
            case '&': m_buffer += "&amp;"; break;
            case '<': m_buffer += "&lt;"; break;
            case '>': m_buffer += "&gt;"; break;
            case '\r': m_buffer += "&#13;"; break;
            default: m_buffer += *c;
            }
        }
        Write(m_buffer.data(), m_buffer.size());
        return true;
    }

private:
    void WriteAttribute(const std::string& name, const std::string& value)
    {
        m_buffer.assign(" ");
        m_buffer += name;
        m_buffer += "=\"";
        AppendEscaped(value, m_buffer);
        m_buffer += '"';
        Write(m_buffer.data(), m_buffer.size());
    }

    const std::unordered_map<const tinyxml2::XMLElement*, AttributeList>& m_lists;
    std::string m_buffer;
};

}  // namespace

WideXMLDocument::WideXMLDocument(std::vector<std::string> widePaths, size_t maxAttributes)
    : m_widePaths(widePaths.begin(), widePaths.end()), m_maxAttributes(maxAttributes)
{
}

bool WideXMLDocument::LoadFile(const char* path)
{
    m_document.Clear();
    m_attributes.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    const std::string text = content.str();

    // A NUL ends the parser's text early and cannot be written back.
    if (text.find('\0') != std::string::npos) return false;
    std::string lifted;
    std::vector<AttributeList> lists;
    if (!LiftWideAttributes(text, m_widePaths, m_maxAttributes, lifted, lists)) return false;
    if (m_document.Parse(lifted.data(), lifted.size()) != tinyxml2::XML_SUCCESS) return false;
    // Text beside the root element would be kept and written after it, as a file that no
    // longer opens.
    for (const tinyxml2::XMLNode* node = m_document.FirstChild(); node; node = node->NextSibling())
        if (node->ToText()) return false;

    std::vector<tinyxml2::XMLElement*> elements;
    CollectInOrder(m_document.FirstChildElement(), std::string(), m_widePaths, elements);
    if (elements.size() != lists.size()) return false;
    for (size_t k = 0; k < elements.size(); ++k) m_attributes[elements[k]] = std::move(lists[k]);
    return true;
}

bool WideXMLDocument::SaveFile(const char* path, std::string* reason) const
{
    // A description that cannot be written whole keeps the one on disk.
    AtomicFileWriter writer(path ? path : "");
    const bool printed = Print(writer);
    // Committing a writer whose stream failed fails with the reason of that write.
    const bool saved = writer.Commit() && printed;
    if (!saved && reason) *reason = writer.Reason();
    return saved;
}

bool WideXMLDocument::Print(AtomicFileWriter& writer) const
{
    if (!writer.File()) return false;
    WidePrinter printer(writer.File(), m_attributes);
    m_document.Print(&printer);
    return !std::ferror(writer.File());
}

WideXMLDocument::AttributeList* WideXMLDocument::Attributes(const tinyxml2::XMLElement* element)
{
    if (!element || m_widePaths.count(PathOf(element)) == 0) return nullptr;
    return &m_attributes[element];
}

std::string WideXMLDocument::PathOf(const tinyxml2::XMLElement* element)
{
    std::string path = element->Name();
    for (const tinyxml2::XMLNode* node = element->Parent(); node && node->ToElement(); node = node->Parent()) {
        path = std::string(node->ToElement()->Name()) + "/" + path;
    }
    return path;
}

}  // namespace Zelvo
