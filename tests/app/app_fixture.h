// A whole program on the in-memory platform: windows, dialogs answered by
// the test, a fake clock the recording waits on, a painted screen, movies in
// memory.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "about/frmabout.h"
#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/frmtop.h"
#include "frame/modgobal.h"
#include "platform/controls.h"
#include "platform/headless/headless_input_simulator.h"
#include "recorder/mod_avi.h"
#include "settings/frmfile.h"
#include "settings/frmsettings.h"
#include "support/test_services.h"

namespace ks::test {

class AppTest : public ::testing::Test {
 public:
  HeadlessWindowSystem ws;
  HeadlessInputSimulator input{ws};
  TestServices services;
  std::unique_ptr<App> app;

  AppTest() {
    // Waiting for events lets the fake time pass instead.
    ws.setIdleWait([this](double seconds) { services.clock.advance(seconds); });
  }
  void start() {
    app = std::make_unique<App>(services.platform(ws));
    Main(*app);
  }
  std::string stored(const char* key) {
    return services.settings.read(kAppName, kSection, key).value_or("<absent>");
  }
  void store(const char* key, const std::string& value) { services.settings.write(kAppName, kSection, key, value); }

  // The items of a list, in order.
  static std::vector<std::string> items(const ItemList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.listCount(); ++i) out.push_back(list.list(i));
    return out;
  }
  // The user picks the drive list's entry that reads `entry`.
  void pickDrive(DriveList& drives, const std::string& entry) {
    for (int i = 0; i < drives.control.listCount(); ++i)
      if (drives.control.list(i) == entry) return input.selectItem(drives.control, i);
    ADD_FAILURE() << "no drive " << entry;
  }

  FrmBot& bar() { return app->frmbot(); }
  FrmSettings& settings() { return app->frmSettings(); }
  FrmFile& file() { return app->frmFile(); }
};

}  // namespace ks::test
