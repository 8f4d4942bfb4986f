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
  failed.summary.messages = {
      std::string("expectation not met: x\x01y\x1b[31m & <z>"),
      "a command held \xef\xbf\xbe and \xef\xbf\xbf\nand \xff on a line of its own"};
  failed.ending = endings::Failed{failed.summary.messages};
  Result crashed;
  crashed.name = "hostile\xff.scn";
  CrashScene scene;
  scene.step = "s:3";
  scene.lastCommands = {"ET 12"};
  // The tail of its standard error, as the C library and a sanitizer write it.
  scene.standardError = {"free(): double free detected in tcache 2",
                         "==1==ERROR: <AddressSanitizer> \"double-free\" & more"};
  crashed.ending = endings::Crashed{"the process died of signal 6", scene};
  Result skipped;
  skipped.name = "reentrant-update";
  skipped.ending = endings::Skipped{"nothing registered"};
  return {passed, failed, crashed, skipped};
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
  EXPECT_THAT(xml, HasSubstr("tests=\"4\" failures=\"1\" errors=\"1\""));
  EXPECT_THAT(xml, HasSubstr("skipped=\"1\""));
  EXPECT_THAT(xml, HasSubstr("<skipped message=\"skipped: nothing registered\"/>"));
  EXPECT_THAT(xml, HasSubstr("name=\"b &lt;&amp;&gt; &quot;c&quot;.scn\""));
  EXPECT_THAT(xml, HasSubstr("<failure type=\"failed\""));
  EXPECT_THAT(xml, HasSubstr("<error type=\"crashed\" message=\"!! the script crashed: the process "
                             "died of signal 6\">"));
  // The crash report, with what the process wrote last, in the element's text.
  EXPECT_THAT(
      xml, HasSubstr("   during step s:3\n   the last commands sent, oldest first:\n     ET "
                     "12\n   the last lines it wrote on standard error:\n     free(): "
                     "double free detected in tcache 2\n     ==1==ERROR: &lt;AddressSanitizer&gt; "
                     "&quot;double-free&quot; &amp; more\n"));
  EXPECT_THAT(xml, Not(HasSubstr("\x1b")));
  EXPECT_THAT(xml, HasSubstr("a command held \\u{FFFE} and \\u{FFFF}\nand \\xFF on a line"));
  EXPECT_THAT(xml, HasSubstr("name=\"hostile\\xFF.scn\""));
}

TEST(Reports, TapAndJsonCarryTheVerdictAndTheMessages) {
  std::ostringstream tap;
  std::string error;
  ASSERT_TRUE(writeReports({"tap"}, "run", results(), tap, &error));
  EXPECT_THAT(tap.str(), HasSubstr("1..4\nok 1 - a.scn\nnot ok 2 - b <&> \"c\".scn\n"));
  EXPECT_THAT(tap.str(), HasSubstr("ok 4 - reentrant-update # SKIP skipped: nothing registered\n"));
  EXPECT_THAT(tap.str(), HasSubstr("  verdict: crashed\n"));
  EXPECT_THAT(tap.str(), HasSubstr("not ok 3 - hostile\\xFF.scn\n"));
  const std::string json = written("json");
  EXPECT_THAT(json, HasSubstr("\"verdict\": \"failed\", \"exitCode\": 1"));
  EXPECT_THAT(json, HasSubstr("\"verdict\": \"crashed\", \"exitCode\": 3"));
  // Control characters are shown as the trace shows them.
  EXPECT_THAT(json, HasSubstr("x\\\\x01y\\\\x1B[31m"));
  // A crash's parts, each in a field of its own.
  EXPECT_THAT(json,
              HasSubstr("\"crash\": {\"cause\": \"the process died of signal 6\", \"step\": "
                        "\"s:3\", \"call\": \"\", \"lastCommands\": [\"ET 12\"], "
                        "\"standardError\": [\"free(): double free detected in tcache 2\", "));
}

TEST(Reports, SayWhenAFileCannotBeWritten) {
  std::ostringstream tap;
  std::string error;
  EXPECT_FALSE(writeReports({"junit=/no/such/folder/r.xml"}, "run", results(), tap, &error));
  EXPECT_EQ(error, "cannot write the report '/no/such/folder/r.xml'");
}

}  // namespace
