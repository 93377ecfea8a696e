#include "common/json_writer.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>

namespace ombrix {
namespace {

using boost::property_tree::ptree;

ptree Leaf(const std::string& value) { return ptree(value); }

struct StringCase {
  std::string text;
  std::string json;
};

class JsonWriterEscaping : public testing::TestWithParam<StringCase> {};

TEST_P(JsonWriterEscaping, WritesEachByteByTheTable) {
  ptree tree;
  tree.put("k", GetParam().text);
  EXPECT_EQ(ToJson(tree), "{\"k\":" + GetParam().json + "}\n");
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonWriterEscaping,
    testing::Values(StringCase{"plain text 123", "\"plain text 123\""},
                    StringCase{"a/b", "\"a\\/b\""},
                    StringCase{"q\"b\\", "\"q\\\"b\\\\\""},
                    StringCase{"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
                    StringCase{std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001F\x7f\""},
                    StringCase{std::string("nul\0x", 5), "\"nul\\u0000x\""},
                    StringCase{"\xC3\xA9", "\"\\u00C3\\u00A9\""},
                    StringCase{"\xFF", "\"\\u00FF\""},
                    StringCase{"", "\"\""}));

TEST(JsonWriter, WritesTreesCompactlyWithArraysMarkersAndOrder) {
  ptree tree;
  tree.put("z", "1");
  tree.put("a", "true");
  tree.put("empty", kJsonEmptyObject);
  tree.put("none", kJsonEmptyArray);
  ptree list;
  list.push_back({"", Leaf("x")});
  ptree element;
  element.put("m", "2");
  list.push_back({"", element});
  list.push_back({"", Leaf(kJsonEmptyObject)});
  tree.add_child("list", list);
  tree.put("nested.inner", "v");
  EXPECT_EQ(ToJson(tree),
            "{\"z\":\"1\",\"a\":\"true\",\"empty\":{},\"none\":[],"
            "\"list\":[\"x\",{\"m\":\"2\"},{}],\"nested\":{\"inner\":\"v\"}}\n");
}

TEST(JsonWriter, RootWithoutChildrenIsAnEmptyArrayAndAListRootIsAnArray) {
  EXPECT_EQ(ToJson(ptree()), "[]\n");
  ptree list;
  list.push_back({"", ptree()});
  list.back().second.put("a", "b");
  EXPECT_EQ(ToJson(list), "[{\"a\":\"b\"}]\n");
}

TEST(JsonWriter, RefusesANodeWithValueAndChildrenAndLeavesTheOutputAlone) {
  ptree tree;
  tree.put("ok", "1");
  tree.put("bad", "value");
  tree.put("bad.child", "x");
  std::string out = "kept";
  try {
    WriteJson(tree, out);
    FAIL() << "no exception";
  } catch (const JsonWriteException& exception) {
    EXPECT_STREQ(exception.what(),
                 "ptree contains data that cannot be represented in JSON format");
  }
  EXPECT_EQ(out, "kept");
}

TEST(JsonWriter, FormatsDoublesWithSixteenSignificantDigits) {
  EXPECT_EQ(FormatJsonDouble(1.5), "1.5");
  EXPECT_EQ(FormatJsonDouble(0), "0");
  EXPECT_EQ(FormatJsonDouble(0.1), "0.1");
  EXPECT_EQ(FormatJsonDouble(12345678901234567.0), "1.234567890123457e+16");
}

}  // namespace
}  // namespace ombrix
