#include "manifest/manifest_document.h"

#include <sstream>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "manifest/manifest_exceptions.h"

namespace ombrix {
namespace {

using boost::property_tree::ptree;

ptree Xml(const std::string& text) {
  std::istringstream stream(text);
  ptree tree;
  ReadXmlDocument(stream, tree);
  return tree;
}

std::vector<std::string> Keys(const ptree& node) {
  std::vector<std::string> keys;
  for (const auto& [key, child] : node) keys.push_back(key);
  return keys;
}

TEST(XmlDocument, CommentsAndAttributesBecomeChildren) {
  const ptree tree = Xml("<r><!--first--><e a=\"1\" b=\" two \">text</e><e>x</e></r>");
  const ptree& r = tree.get_child("r");
  EXPECT_EQ(Keys(r), (std::vector<std::string>{"<xmlcomment>", "e", "e"}));
  EXPECT_EQ(r.front().second.data(), "first");
  const ptree& e = r.get_child("e");
  EXPECT_EQ(e.data(), "text");
  EXPECT_EQ(Keys(e), (std::vector<std::string>{"<xmlattr>", "a", "b"}));
  EXPECT_EQ(e.get<std::string>("b"), " two ");
  EXPECT_EQ(e.get<std::string>("<xmlattr>.a"), "1");
}

TEST(XmlDocument, AttributesAreCopiedAtEveryDepth) {
  const ptree tree = Xml("<a x=\"1\"><b><c y=\"2\"/></b></a>");
  EXPECT_EQ(tree.get<std::string>("a.x"), "1");
  EXPECT_EQ(tree.get<std::string>("a.b.c.y"), "2");
}

TEST(XmlDocument, TextKeepsBlanksAndLineBreaks) {
  EXPECT_EQ(Xml("<a>  x \n y  </a>").get<std::string>("a"), "  x \n y  ");
}

TEST(XmlDocument, MalformedDocumentsAreParseFailures) {
  for (const char* bad : {"<a>", "<a x=1/>", "text", "<a/>trailing", "<a><!-- x </a>"}) {
    EXPECT_THROW(Xml(bad), ManifestParseException) << bad;
  }
  // The reader does not compare closing tag names; an empty document is an empty
  // tree, which every record then rejects for its missing root.
  EXPECT_TRUE(Xml("").empty());
}

TEST(XmlDocument, NestingIsBounded) {
  std::string ok, deep;
  for (std::size_t i = 0; i < kMaxXmlNesting; ++i) ok += "<a>";
  for (std::size_t i = 0; i < kMaxXmlNesting; ++i) ok += "</a>";
  EXPECT_NO_THROW(Xml(ok));
  // Deep enough to overflow a recursive parser's stack.
  for (int i = 0; i < 1000000; ++i) deep += "<a>";
  EXPECT_THROW(Xml(deep), ManifestParseException);
  // Self-closing elements, comments and quoted ">" do not nest.
  std::string flat = "<r>";
  for (std::size_t i = 0; i < 2 * kMaxXmlNesting; ++i) flat += "<a v=\"<>\"/><!-- <b> -->";
  flat += "</r>";
  EXPECT_NO_THROW(Xml(flat));
}

// The node budget is checked on the text: elements, comments and attributes
// (each becomes tree nodes) count, text and CDATA do not; a document one node over
// the budget is refused however small it is.
TEST(XmlDocument, NodeBudgetIsCountedBeforeParsing) {
  struct Case {
    const char* text;
    std::size_t nodes;
  };
  for (const Case& c : std::vector<Case>{
           {"<r><a/><a/></r>", 3},
           {"<r><!-- c --><a/></r>", 3},
           {"<r a=\"1\" b='=2'><a x=\"1\"/></r>", 5},
           {"<r>text <![CDATA[<a/><a/>]]> more<?pi <a/>?></r>", 1},
       }) {
    std::istringstream atBudget(c.text);
    ptree tree;
    EXPECT_NO_THROW(ReadXmlDocument(atBudget, tree, c.nodes)) << c.text;
    std::istringstream overBudget(c.text);
    EXPECT_THROW(ReadXmlDocument(overBudget, tree, c.nodes - 1), ManifestParseException) << c.text;
  }
}

// A std::stringstream's buffer is taken over; what was already read stays consumed.
TEST(XmlDocument, ReadsTheRestOfAStringStream) {
  std::stringstream stream;
  stream << "skip<a>1</a>";
  stream.ignore(4);
  ptree tree;
  ReadXmlDocument(stream, tree);
  EXPECT_EQ(tree.get<std::string>("a"), "1");
}

ptree Json(const std::string& text) {
  std::istringstream stream(text);
  ptree tree;
  ReadJsonDocument(stream, tree);
  return tree;
}

TEST(JsonDocument, NestingIsBounded) {
  std::string ok;
  for (std::size_t i = 0; i < kMaxJsonNesting; ++i) ok += i % 2 == 0 ? "[" : "{\"k\":";
  ok += "1";
  for (std::size_t i = kMaxJsonNesting; i-- > 0;) ok += i % 2 == 0 ? "]" : "}";
  EXPECT_NO_THROW(Json(ok));
  // Deep enough to overflow a recursive parser's stack.
  EXPECT_THROW(Json(std::string(1000000, '[')), ManifestParseException);
  EXPECT_THROW(Json("{\"a\":" + std::string(kMaxJsonNesting, '[') + std::string(kMaxJsonNesting, ']') + "}"),
               ManifestParseException);
  // Brackets inside strings, escaped quotes included, do not nest.
  const std::string text = "[\"\\\"" + std::string(2 * kMaxJsonNesting, '[') + "\"]";
  EXPECT_EQ(Json(text).front().second.data(), "\"" + std::string(2 * kMaxJsonNesting, '['));
}

// Values are counted on the text: every value of an array or object after its
// first follows a ",", brackets inside strings do not count.
TEST(JsonDocument, ValueBudgetIsCountedBeforeParsing) {
  struct Case {
    const char* text;
    std::size_t values;
  };
  for (const Case& c : std::vector<Case>{
           {"[0,0,0]", 4},
           {"{\"a\":{\"b\":\"x\"},\"c\":[1]}", 5},
           {"[\"[,{\\\",\"]", 2},
       }) {
    std::istringstream atBudget(c.text);
    ptree tree;
    EXPECT_NO_THROW(ReadJsonDocument(atBudget, tree, c.values)) << c.text;
    std::istringstream overBudget(c.text);
    EXPECT_THROW(ReadJsonDocument(overBudget, tree, c.values - 1), ManifestParseException) << c.text;
  }
}

}  // namespace
}  // namespace ombrix
