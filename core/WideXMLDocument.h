#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <tinyxml2.h>

namespace Zelvo {

class AtomicFileWriter;

// A TinyXML-2 document in which the elements at some paths ("wide" elements, one attribute
// per dimension) keep their attributes in a plain ordered list beside the tree. A path names
// the elements from the root down, joined by "/" ("Root/Meta/Mask").
//
// TinyXML-2 handles attributes one at a time with a search of the element's whole list, both
// when parsing (duplicate check) and when setting, so an element with D attributes costs
// O(D^2). Here the attributes of wide elements are lifted out of the text before parsing and
// printed from the list when saving, which keeps loading and saving linear.
class WideXMLDocument {
public:
    using AttributeList = std::vector<std::pair<std::string, std::string>>;

    // Other elements may carry at most maxAttributes attributes; a file with more is refused.
    explicit WideXMLDocument(std::vector<std::string> widePaths, size_t maxAttributes = kMaxAttributes);

    static constexpr size_t kMaxAttributes = 16;
    WideXMLDocument(const WideXMLDocument&) = delete;
    WideXMLDocument& operator=(const WideXMLDocument&) = delete;

    tinyxml2::XMLDocument& Document() { return m_document; }

    // Replaces the content with the file's; false (content unspecified) when the file cannot
    // be read, is not well-formed, holds a NUL, text or a stray end tag outside the root
    // elements, or an element with too many attributes. What loads is saved so that it
    // loads again the same.
    bool LoadFile(const char* path);
    // Writes the document with every wide element's list after its own attributes. The file
    // is replaced whole or not at all (AtomicFileWriter); reason receives why a save failed.
    bool SaveFile(const char* path, std::string* reason = nullptr) const;
    // The same text into a writer that the caller prepares and commits (with other files that
    // must agree); false when a write failed, and the writer's Prepare then fails with its reason.
    bool Print(AtomicFileWriter& writer) const;

    // The attribute list of an element at a wide path (empty for a new element); null for any
    // other element. Wide elements are not to be deleted while the document lives.
    AttributeList* Attributes(const tinyxml2::XMLElement* element);

private:
    static std::string PathOf(const tinyxml2::XMLElement* element);

    std::unordered_set<std::string> m_widePaths;
    size_t m_maxAttributes;
    tinyxml2::XMLDocument m_document;
    std::unordered_map<const tinyxml2::XMLElement*, AttributeList> m_attributes;
};

}  // namespace Zelvo
