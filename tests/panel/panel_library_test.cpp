// Loads the built Vantrel library by path, as a host does, and drives the
// panel only through its one export.

#include "simulator/script_library.h"
#include "vantrel_test.h"

#if defined(__linux__)
#include <dlfcn.h>
#endif

namespace {

using ::testing::ElementsAre;

class PanelLibraryTest : public VantrelTest {
 protected:
  drezhost::ScriptLibrary library{VANTREL_LIBRARY_PATH};
};

TEST_F(PanelLibraryTest, StartupPollAnswersAndAChangeToTransmission) {
  ASSERT_NE(library.entry(), nullptr);
  panel.reset(library.entry()(&host, "panels/studio"));
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(host.takeCommands(), startupCommands());

  // The poll answers: studio off, every control following the studio.
  deliver(panel.get(), kSdi, 97, 12, "CAM 1");
  deliver(panel.get(), kAudio, 62, 3, "MIC 3");
  slots({"0", "", "0", "1", "1", "1"});
  host.takeCommands();

  EXPECT_THAT(slot(1, "2"),
              ElementsAre(gs(0, 0), gs(5, 1), gs(1, 1), gs(2, 0), gs(3, 0), gs(4, 0), gs(6, 1),
                          gs(7, 1), gs(8, 1), gs(9, 1), sheet("StA_Floor", "QZ_Studio_TX"),
                          sheet("StC_Floor", "QZ_Studio_TX"), sheet("StC_News", "QZ_Studio_TX")));
  EXPECT_EQ(request(panel.get(), "_events"), "notify=*");

  panel.reset();  // before the library goes
  EXPECT_THAT(host.takeCommands(), ElementsAre("IU 3", "RU 7", "RU 8", "AS"));
  EXPECT_EQ(host.repliesHandedOut(), 4u);
  EXPECT_EQ(host.repliesReleased(), 4u);
}

TEST_F(PanelLibraryTest, NullHostThroughTheExport) {
  drez_client_callback* script = library.entry()(nullptr, nullptr);
  ASSERT_NE(script, nullptr);
  drez_delete_script(script);
}

#if defined(__linux__)
// A unique symbol in the library (the GNU binding of a static inside an
// inline function the panel's own code instantiates) would keep it loaded
// for good: a host that closes a panel could never reload a new build.
TEST(PanelLibraryUnload, TheLibraryIsGoneOnceTheHostClosesIt) {
  {
    drezhost::ScriptLibrary library{VANTREL_LIBRARY_PATH};
    ASSERT_NE(library.entry(), nullptr);
    drez_delete_script(library.entry()(nullptr, nullptr));
  }
  void* still_loaded = dlopen(VANTREL_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(still_loaded, nullptr);
  if (still_loaded != nullptr) dlclose(still_loaded);
}
#endif

}  // namespace
