// The recording engine's host in the program: the rate list of the Settings
// dialog, the frame's region, the control bar's label and the window
// system's events.
#pragma once

#include "recorder/recorder_host.h"

namespace ks {

class App;

class FormsRecorderHost final : public RecorderHost {
 public:
  explicit FormsRecorderHost(App& app) : app_(app) {}

  std::string rateText() const override;
  int rateCount() const override;
  std::string rateItem(int index) const override;
  void selectRate(int index) override;
  PixelRect captureRect() const override;
  MovieFormat movieFormat() const override;
  void showProgress(const std::string& text, bool repaintNow) override;
  void doEvents() override;
  void waitUntil(double dueTime) override;
  void setPreciseWaits(bool on) override;
  bool ended() const override;

 private:
  App& app_;
};

}  // namespace ks
