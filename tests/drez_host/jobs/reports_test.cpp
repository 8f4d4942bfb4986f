// The reports for CI: JUnit XML, TAP and JSON, whatever the texts hold.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "jobs/reports.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace drezhost;

std::vector<Result> results() {
  Result passed;
  passed.name = "a.scn";
  Result failed;
  failed.name = "b <&> \"c\".scn";
  failed.verdict = Verdict::Failed;
  failed.summary.messages = {
      std::string("expectation not met: x\x01y\x1b[31m & <z>"),
      "a command held \xef\xbf\xbe and \xef\xbf\xbf\nand \xff on a line of its own"};
  Result crashed;
  crashed.name = "hostile\xff.scn";
  crashed.verdict = Verdict::Crashed;
  crashed.crash = "\n!! the script crashed: signal 11\n   during step s:3\n";
  return {passed, failed, crashed};
}

std::string written(const std::string& kind) {
  const std::string path = ::testing::TempDir() + "report_test." + kind;
  std::ostringstream tap;
  std::string error;
  EXPECT_TRUE(writeReports({kind + "=" + path}, "run", results(), tap, &error)) << error;
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  std::remove(path.c_str());
  return text.str();
}

// What XML 1.0 allows in a document encoded in UTF-8: valid UTF-8 without
// U+FFFE and U+FFFF, no control character but tab, line feed and carriage
// return, and '&' only in front of an entity.
bool wellFormedText(const std::string& xml) {
  for (std::size_t i = 0; i < xml.size(); ++i) {
    const auto c = static_cast<unsigned char>(xml[i]);
    if (c >= 0x80) {
      const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
      if (length == 0 || i + length > xml.size()) return false;
      for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(xml[i + k]) & 0xC0) != 0x80) return false;
      }
      if (xml.compare(i, 3, "\xef\xbf\xbe") == 0 || xml.compare(i, 3, "\xef\xbf\xbf") == 0) {
        return false;
      }
      i += length - 1;
      continue;
    }
    if (c < 0x20 && c != '\n' && c != '\t' && c != '\r') return false;
    if (c == '&') {
      bool entity = false;
      for (const char* name : {"&amp;", "&lt;", "&gt;", "&quot;", "&#"}) {
        entity = entity || xml.compare(i, std::char_traits<char>::length(name), name) == 0;
      }
      if (!entity) return false;
    }
  }
  return true;
}

TEST(Reports, JunitNamesEachVerdictAndEscapesEveryText) {
  const std::string xml = written("junit");
  EXPECT_TRUE(wellFormedText(xml)) << xml;
  EXPECT_THAT(xml, HasSubstr("tests=\"3\" failures=\"1\" errors=\"1\""));
  EXPECT_THAT(xml, HasSubstr("name=\"b &lt;&amp;&gt; &quot;c&quot;.scn\""));
  EXPECT_THAT(xml, HasSubstr("<failure type=\"failed\""));
  EXPECT_THAT(xml, HasSubstr("<error type=\"crashed\" message=\"!! the script crashed"));
  EXPECT_THAT(xml, Not(HasSubstr("\x1b")));
  EXPECT_THAT(xml, HasSubstr("a command held \\u{FFFE} and \\u{FFFF}\nand \\xFF on a line"));
  EXPECT_THAT(xml, HasSubstr("name=\"hostile\\xFF.scn\""));
}

TEST(Reports, TapAndJsonCarryTheVerdictAndTheMessages) {
  std::ostringstream tap;
  std::string error;
  ASSERT_TRUE(writeReports({"tap"}, "run", results(), tap, &error));
  EXPECT_THAT(tap.str(), HasSubstr("1..3\nok 1 - a.scn\nnot ok 2 - b <&> \"c\".scn\n"));
  EXPECT_THAT(tap.str(), HasSubstr("  verdict: crashed\n"));
  EXPECT_THAT(tap.str(), HasSubstr("not ok 3 - hostile\\xFF.scn\n"));
  const std::string json = written("json");
  EXPECT_THAT(json, HasSubstr("\"verdict\": \"failed\", \"exitCode\": 1"));
  EXPECT_THAT(json, HasSubstr("\"verdict\": \"crashed\", \"exitCode\": 3"));
  // Control characters are shown as the trace shows them.
  EXPECT_THAT(json, HasSubstr("x\\\\x01y\\\\x1B[31m"));
}

TEST(Reports, SayWhenAFileCannotBeWritten) {
  std::ostringstream tap;
  std::string error;
  EXPECT_FALSE(writeReports({"junit=/no/such/folder/r.xml"}, "run", results(), tap, &error));
  EXPECT_EQ(error, "cannot write the report '/no/such/folder/r.xml'");
}

}  // namespace
