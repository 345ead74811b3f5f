// An in-memory window system for tests and for running the forms natively.
// It keeps whole pixels like a real one, so twips read back rounded; events
// run synchronously; modal dialogs and message boxes are answered by
// handlers the test queues.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/window_system.h"

namespace ks {

struct HeadlessOptions {
  float twipsPerPixelX = 15.0f;
  float twipsPerPixelY = 15.0f;
  // Frame metrics of titled windows, in pixels.
  int borderPixels = 3;
  int captionPixels = 20;
  // The screen's work area, where centred windows are centred.
  int screenWidth = 1024;
  int screenHeight = 768;
};

class HeadlessWindow;

// How often a control was repainted at once (Control::refresh); tests of
// code that must show progress without waiting for events read it.
int headlessRefreshCount(const Control& control);
// How a label was designed (its font and colours), for tests of the forms'
// looks; nothing for a control that is no label of this backend.
std::optional<LabelDesign> headlessLabelDesign(const Control& control);
// The picture a button or image shows; empty for none or another control.
Picture headlessPicture(const Control& control);

class HeadlessWindowSystem final : public WindowSystem {
 public:
  explicit HeadlessWindowSystem(HeadlessOptions options = {});
  ~HeadlessWindowSystem() override;

  std::unique_ptr<Window> createWindow(const WindowDesign& design) override;
  float twipsPerPixelX() const override { return options_.twipsPerPixelX; }
  float twipsPerPixelY() const override { return options_.twipsPerPixelY; }
  PixelRect workArea(const Window&) const override { return {0, 0, options_.screenWidth, options_.screenHeight}; }
  bool registerHotkey(int id, const Hotkey& hotkey) override;
  void unregisterHotkey(int id) override;
  void showModal(Window& window) override;
  MsgButton messageBoxYesNoCancel(const std::string& text, MsgButton defaultButton) override;
  void messageBoxWarning(const std::string& text) override { warnings_.push_back(text); }
  void messageBoxInformation(const std::string& text) override { informations_.push_back(text); }
  std::optional<std::string> chooseFileToOpen(const OpenFileRequest& request) override;
  std::optional<std::string> chooseFileToSave(const SaveFileRequest& request) override;
  void doEvents() override;
  void waitForEvents(double maxSeconds) override;
  void setPreciseWaits(bool on) override { preciseWaits_ = on; }
  int run() override;
  void endProgram() override { ended_ = true; }
  bool ended() const override { return ended_; }

  const HeadlessOptions& options() const { return options_; }

  // --- test controls ---
  // Runs while a modal window is shown; it acts as the user would (clicks
  // OK, hides the dialog). An unanswered modal window is hidden and counted.
  void queueModalAnswer(std::function<void(Window&)> answer);
  // Answers for the next message boxes; without one the default button wins.
  void queueMessageBoxAnswer(MsgButton answer);
  // The answer of the next Open dialog (nothing: Cancel); without one it is
  // cancelled.
  void queueOpenFileAnswer(std::optional<std::string> path) { openFileAnswers_.push_back(std::move(path)); }
  const std::vector<OpenFileRequest>& openFileRequests() const { return openFileRequests_; }
  // The same for the Save dialog.
  void queueSaveFileAnswer(std::optional<std::string> path) { saveFileAnswers_.push_back(std::move(path)); }
  const std::vector<SaveFileRequest>& saveFileRequests() const { return saveFileRequests_; }
  // Work that arrives as a window event: runs at the next doEvents.
  void post(std::function<void()> event);
  // Another program holds this combination: registering it fails.
  void takeHotkey(const Hotkey& hotkey) { taken_.push_back(hotkey); }
  // The id a combination is registered under, or 0.
  int hotkeyId(const Hotkey& hotkey) const;
  // The items of a window's system menu as the user sees them when it opens.
  const std::vector<MenuItem>& openSystemMenu(Window& window);
  // What Windows does when a drive arrives or goes: every window, shown or
  // hidden, hears it at once.
  void announceDrivesChanged();

  const std::vector<std::string>& messageBoxTexts() const { return messageBoxTexts_; }
  // The default button of each of those message boxes.
  const std::vector<MsgButton>& messageBoxDefaults() const { return messageBoxDefaults_; }
  const std::vector<std::string>& warnings() const { return warnings_; }
  const std::vector<std::string>& informations() const { return informations_; }
  // What waiting for events does here: a test advances its fake clock.
  void setIdleWait(std::function<void(double maxSeconds)> wait) { idleWait_ = std::move(wait); }
  int waitCalls() const { return waitCalls_; }
  bool preciseWaits() const { return preciseWaits_; }
  int unansweredModals() const { return unansweredModals_; }
  int doEventsCalls() const { return doEventsCalls_; }
  Window* activeWindow() const;
  // Windows in the topmost band, lowest first.
  std::vector<Window*> topmostOrder() const;

  // Used by HeadlessWindow.
  void activate(HeadlessWindow* window);
  void deactivate(HeadlessWindow* window);
  void raiseTopmost(HeadlessWindow* window);
  void forget(HeadlessWindow* window);
  void schedulePaint(HeadlessWindow* window);
  bool inputBlocked(const HeadlessWindow* window) const;

 private:
  HeadlessOptions options_;
  bool ended_ = false;
  bool preciseWaits_ = false;
  std::vector<std::pair<int, Hotkey>> hotkeys_;
  std::vector<Hotkey> taken_;
  std::vector<HeadlessWindow*> windows_;
  std::vector<HeadlessWindow*> topmost_;
  std::vector<HeadlessWindow*> pendingPaints_;
  std::vector<HeadlessWindow*> modalStack_;
  HeadlessWindow* active_ = nullptr;
  std::deque<std::function<void(Window&)>> modalAnswers_;
  std::deque<MsgButton> messageBoxAnswers_;
  std::deque<std::function<void()>> posted_;
  std::vector<std::string> messageBoxTexts_;
  std::vector<MsgButton> messageBoxDefaults_;
  std::vector<std::string> warnings_;
  std::vector<std::string> informations_;
  std::deque<std::optional<std::string>> openFileAnswers_;
  std::vector<OpenFileRequest> openFileRequests_;
  std::deque<std::optional<std::string>> saveFileAnswers_;
  std::vector<SaveFileRequest> saveFileRequests_;
  std::function<void(double)> idleWait_;
  int waitCalls_ = 0;
  int unansweredModals_ = 0;
  int doEventsCalls_ = 0;
};

}  // namespace ks
