#include "WideXMLDocument.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <fstream>

using Zelvo::WideXMLDocument;
using TestSupport::TempDir;

namespace {

const std::vector<std::string> kWidePaths{"Root/Meta/Mask"};

WideXMLDocument::AttributeList PlainAttributes(const tinyxml2::XMLElement* element)
{
    WideXMLDocument::AttributeList list;
    for (const tinyxml2::XMLAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
        list.emplace_back(a->Name(), a->Value());
    }
    return list;
}

// Every element in document order as "path: attributes", with wide lists in place of the
// (empty) attributes of wide elements, so a lifted document can be set beside a plain one.
void Flatten(tinyxml2::XMLElement* element, const std::string& parent, WideXMLDocument* wide, std::string& out)
{
    for (; element; element = element->NextSiblingElement()) {
        const std::string path = parent.empty() ? element->Name() : parent + "/" + element->Name();
        WideXMLDocument::AttributeList list = PlainAttributes(element);
        if (wide) {
            if (const auto* lifted = wide->Attributes(element)) list.insert(list.end(), lifted->begin(), lifted->end());
        }
        out += path + ":";
        for (const auto& a : list) out += " [" + a.first + "=" + a.second + "]";
        const char* text = element->GetText();
        if (text) out += " text=" + std::string(text);
        out += "\n";
        Flatten(element->FirstChildElement(), path, wide, out);
    }
}

}  // namespace

TEST(WideXMLDocument, LoadsLikeThePlainParserWhateverSurroundsTheWideElements)
{
    // Comments, CDATA and declarations that look like tags, '>' inside values, single
    // quotes, references of every kind, line ends, and same-named elements elsewhere.
    const std::string text =
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE Root>\n"
        "<!-- <Root><Meta><Mask fake=\"1\"/></Meta></Root> -->\n"
        "<Root a=\"x>y\">\n"
        "  <Meta b='<Mask' >\n"
        "    <Note><![CDATA[<Mask c=\"2\"/>]]></Note>\n"
        "    <Mask  m0 = \"True\" m1='it&apos;s' m2=\"&lt;&amp;&gt;&quot;\" m3=\"&#65;&#x42;&#x20AC;&#128512;\"\n"
        "          m4=\"a&unknown;b &#xZZ; c\" m5=\"line\r\nend\rx\" m6=\"\"/>\n"
        "    <Mask second=\"yes\"></Mask>\n"
        "    <Other><Mask keep=\"plain\"/></Other>\n"
        "  </Meta>\n"
        "  <Mask top=\"plain\"/>\n"
        "</Root>\n";
    TempDir dir;
    const std::string path = dir.file("doc.xml");
    TestSupport::WriteFile(path, text);

    tinyxml2::XMLDocument plain;
    ASSERT_EQ(plain.LoadFile(path.c_str()), tinyxml2::XML_SUCCESS);
    std::string expected;
    Flatten(plain.FirstChildElement(), "", nullptr, expected);

    WideXMLDocument doc(kWidePaths);
    ASSERT_TRUE(doc.LoadFile(path.c_str()));
    std::string actual;
    Flatten(doc.Document().FirstChildElement(), "", &doc, actual);
    EXPECT_EQ(actual, expected);

    // Only the elements at the wide path were lifted; the others keep their own attributes.
    tinyxml2::XMLElement* meta = doc.Document().FirstChildElement("Root")->FirstChildElement("Meta");
    tinyxml2::XMLElement* mask = meta->FirstChildElement("Mask");
    EXPECT_EQ(mask->FirstAttribute(), nullptr);
    ASSERT_NE(doc.Attributes(mask), nullptr);
    EXPECT_EQ(doc.Attributes(mask)->size(), 7u);
    EXPECT_EQ(doc.Attributes(mask)->at(3).second, "AB\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(doc.Attributes(mask->NextSiblingElement("Mask"))->size(), 1u);
    tinyxml2::XMLElement* nested = meta->FirstChildElement("Other")->FirstChildElement("Mask");
    EXPECT_EQ(doc.Attributes(nested), nullptr);
    EXPECT_STREQ(nested->Attribute("keep"), "plain");

    // Saved and loaded again (plainly), the document means the same.
    const std::string copy = dir.file("copy.xml");
    ASSERT_TRUE(doc.SaveFile(copy.c_str()));
    tinyxml2::XMLDocument reread;
    ASSERT_EQ(reread.LoadFile(copy.c_str()), tinyxml2::XML_SUCCESS);
    std::string again;
    Flatten(reread.FirstChildElement(), "", nullptr, again);
    EXPECT_EQ(again, expected);
}

TEST(WideXMLDocument, RejectsWhatThePlainParserRejects)
{
    const std::vector<std::pair<const char*, std::string>> cases{
        {"repeated wide attribute", "<Root><Meta><Mask a=\"1\" a=\"2\"/></Meta></Root>"},
        {"unquoted wide value", "<Root><Meta><Mask a=1/></Meta></Root>"},
        {"wide value not closed", "<Root><Meta><Mask a=\"1/></Meta></Root>"},
        {"wide attribute without value", "<Root><Meta><Mask a/></Meta></Root>"},
        {"wide tag not closed", "<Root><Meta><Mask a=\"1\""},
        {"element not closed", "<Root><Meta><Mask a=\"1\"/></Meta>"},
        {"repeated plain attribute", "<Root b=\"1\" b=\"2\"/>"},
    };
    TempDir dir;
    for (const auto& [label, text] : cases) {
        SCOPED_TRACE(label);
        const std::string path = dir.file("bad.xml");
        TestSupport::WriteFile(path, text);
        tinyxml2::XMLDocument plain;
        EXPECT_NE(plain.LoadFile(path.c_str()), tinyxml2::XML_SUCCESS) << "the oracle accepts it";
        WideXMLDocument doc(kWidePaths);
        EXPECT_FALSE(doc.LoadFile(path.c_str()));
    }
    WideXMLDocument doc(kWidePaths);
    EXPECT_FALSE(doc.LoadFile(dir.file("missing.xml").c_str()));
}

TEST(WideXMLDocument, NewWideElementsPrintTheirListEscaped)
{
    WideXMLDocument doc(kWidePaths);
    tinyxml2::XMLDocument& xml = doc.Document();
    tinyxml2::XMLElement* root = xml.NewElement("Root");
    xml.InsertEndChild(root);
    tinyxml2::XMLElement* mask = root->InsertNewChildElement("Meta")->InsertNewChildElement("Mask");
    mask->SetAttribute("own", "first");
    ASSERT_NE(doc.Attributes(mask), nullptr);
    EXPECT_TRUE(doc.Attributes(mask)->empty());
    doc.Attributes(mask)->emplace_back("v", "a<b&\"c\"");
    EXPECT_EQ(doc.Attributes(root), nullptr);

    TempDir dir;
    const std::string path = dir.file("new.xml");
    ASSERT_TRUE(doc.SaveFile(path.c_str()));
    tinyxml2::XMLDocument reread;
    ASSERT_EQ(reread.LoadFile(path.c_str()), tinyxml2::XML_SUCCESS);
    std::string flat;
    Flatten(reread.FirstChildElement(), "", nullptr, flat);
    EXPECT_EQ(flat, "Root:\nRoot/Meta:\nRoot/Meta/Mask: [own=first] [v=a<b&\"c\"]\n");
    EXPECT_FALSE(doc.SaveFile((dir.path() + "no/such/dir.xml").c_str()));
}
