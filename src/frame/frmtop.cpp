#include "frame/frmtop.h"

#include <iterator>
#include <string>
#include <utility>

#include "app/app.h"
#include "frame/frmbot.h"
#include "frame/frmsides.h"
#include "frame/global_keys.h"
#include "frame/modgobal.h"
#include "frame/region.h"

namespace ks {

namespace {

WindowDesign topDesign() {
  return {.caption = "kestrascope", .border = Border::FixedSingle, .showInTaskbar = true, .controlBox = true,
          .minButton = true, .maxButton = false, .background = kRed,
          .clientLeft = 2190, .clientTop = 2430, .clientWidth = 4740, .clientHeight = 90, .iconResource = 1};
}

}  // namespace

FrmTop::FrmTop(App& app) : Form(app, topDesign()), sound_(app.platform().audio, app.platform().settings),
      marks_(app.platform().settings), ffmpeg_(app), trim_(app) {
  LineDesign edge;
  edge.x1 = 0;
  edge.y1 = 0;
  edge.x2 = 60000;
  edge.y2 = 0;
  edge.systemWindowText = true;
  Line1 = &window_->addLine(edge);
}

void FrmTop::load() {
  WindowEvents& e = window_->events;
  e.onActivate = [this] { onActivate(); };
  e.onResize = [this] { onResize(); };
  e.onPaint = [this] { fixborders(app_); };
  e.onMouseDown = [this](const MouseEvent&) { fixborders(app_); };
  e.onMouseMove = [this](const MouseEvent&) { fixborders(app_); };
  e.onMouseUp = [this](const MouseEvent&) { fixborders(app_); };
  e.onUnload = [this] { app_.endProgram(); };
  e.onSystemMenuOpening = [this] { window_->setSystemMenu(systemMenuItems()); };
  e.onSystemMenu = [this](int id) { systemMenuChosen(id); };
}

namespace {

std::string times(std::int32_t width, std::int32_t height) {
  return std::to_string(width) + " \xC3\x97 " + std::to_string(height);  // U+00D7, the multiplication sign
}

}  // namespace

std::vector<MenuItem> FrmTop::systemMenuItems() {
  MenuItem sizes{0, "Region size", true, {}};
  for (std::size_t i = 0; i < std::size(kRegionSizes); ++i) {
    const RegionSize& s = kRegionSizes[i];
    sizes.items.push_back({kRegionSizeIds + static_cast<int>(i), times(s.width, s.height),
                           regionPixelsFit(app_, s.width, s.height), {}});
  }
  const PixelRect now = regionPixels(app_);
  std::vector<MenuItem> items{sizes, {0, "Region: " + times(now.width, now.height), false, {}}};
  for (MenuItem& line : app_.globalKeys().menuLines()) items.push_back(std::move(line));
  for (MenuItem& item : marks_.items()) items.push_back(std::move(item));
  items.push_back(sound_.menu());
  items.push_back(ffmpeg_.item());
  items.push_back(trim_.item());
  return items;
}

void FrmTop::systemMenuChosen(int id) {
  if (sound_.chosen(id) || marks_.chosen(id) || ffmpeg_.chosen(id) || trim_.chosen(id)) return;
  const int index = id - kRegionSizeIds;
  if (index < 0 || index >= static_cast<int>(std::size(kRegionSizes))) return;
  const RegionSize& s = kRegionSizes[static_cast<std::size_t>(index)];
  if (regionPixelsFit(app_, s.width, s.height)) setRegionPixels(app_, s.width, s.height);
}

void FrmTop::onActivate() {
  if (window_->windowState() == kStateMinimized) return;
  stayOnTopInPlace(app_.frmleft().window());
  stayOnTopInPlace(app_.frmright().window());
  stayOnTopInPlace(app_.frmbot().window());
  fixborders(app_);
}

void FrmTop::onResize() {
  fixborders(app_);
  if (window_->windowState() == kStateMinimized) return;
  for (Window* w : {&app_.frmleft().window(), &app_.frmright().window(), &app_.frmbot().window()})
    if (w->visible()) stayOnTopInPlace(*w);
}

}  // namespace ks
