#include "platform/headless/headless_window_system.h"

#include <algorithm>

#include "platform/handlers.h"
#include "platform/headless/headless_window.h"

namespace ks {

HeadlessWindowSystem::HeadlessWindowSystem(HeadlessOptions options) : options_(options) {}
HeadlessWindowSystem::~HeadlessWindowSystem() = default;

std::unique_ptr<Window> HeadlessWindowSystem::createWindow(const WindowDesign& design) {
  auto window = std::make_unique<HeadlessWindow>(*this, design);
  windows_.push_back(window.get());
  return window;
}

void HeadlessWindowSystem::showModal(Window& window) {
  auto& w = static_cast<HeadlessWindow&>(window);
  // As on Windows, the other windows are disabled while the dialog is up and
  // exactly those are enabled again afterwards.
  std::vector<HeadlessWindow*> disabled;
  for (HeadlessWindow* other : windows_) {
    if (other != &w && other->enabled()) {
      other->setEnabled(false);
      disabled.push_back(other);
    }
  }
  modalStack_.push_back(&w);
  w.show();
  auto stillUp = [&] { return w.visible() && !w.destroyed() && !ended_; };
  if (stillUp() && !modalAnswers_.empty()) {
    auto answer = std::move(modalAnswers_.front());
    modalAnswers_.pop_front();
    answer(window);
  }
  while (stillUp() && (!posted_.empty() || !pendingPaints_.empty())) doEvents();
  if (stillUp()) {
    ++unansweredModals_;
    w.hide();
  }
  std::erase(modalStack_, &w);
  for (HeadlessWindow* other : disabled)
    if (std::find(windows_.begin(), windows_.end(), other) != windows_.end()) other->setEnabled(true);
}

MsgButton HeadlessWindowSystem::messageBoxYesNoCancel(const std::string& text, MsgButton defaultButton) {
  messageBoxTexts_.push_back(text);
  messageBoxDefaults_.push_back(defaultButton);
  if (messageBoxAnswers_.empty()) return defaultButton;
  MsgButton answer = messageBoxAnswers_.front();
  messageBoxAnswers_.pop_front();
  return answer;
}

void HeadlessWindowSystem::waitForEvents(double maxSeconds) {
  ++waitCalls_;
  if (idleWait_) idleWait_(maxSeconds);
}

void HeadlessWindowSystem::doEvents() {
  ++doEventsCalls_;
  // Only what has arrived so far runs; events posted by these handlers wait
  // for the next call, as with a real queue.
  std::deque<std::function<void()>> batch;
  batch.swap(posted_);
  for (auto& event : batch) {
    if (ended_) return;
    event();
  }
  std::vector<HeadlessWindow*> paints;
  paints.swap(pendingPaints_);
  for (HeadlessWindow* w : paints) {
    if (ended_) return;
    w->firePaint();
  }
}

int HeadlessWindowSystem::run() {
  while (!ended_ && (!posted_.empty() || !pendingPaints_.empty())) doEvents();
  return 0;
}

bool HeadlessWindowSystem::registerHotkey(int id, const Hotkey& hotkey) {
  if (std::find(taken_.begin(), taken_.end(), hotkey) != taken_.end()) return false;
  for (const auto& [other, key] : hotkeys_)
    if (key == hotkey && other != id) return false;
  unregisterHotkey(id);
  hotkeys_.emplace_back(id, hotkey);
  return true;
}

void HeadlessWindowSystem::unregisterHotkey(int id) {
  std::erase_if(hotkeys_, [id](const auto& entry) { return entry.first == id; });
}

int HeadlessWindowSystem::hotkeyId(const Hotkey& hotkey) const {
  for (const auto& [id, key] : hotkeys_)
    if (key == hotkey) return id;
  return 0;
}

const std::vector<MenuItem>& HeadlessWindowSystem::openSystemMenu(Window& window) {
  return static_cast<HeadlessWindow&>(window).openSystemMenu();
}

void HeadlessWindowSystem::queueModalAnswer(std::function<void(Window&)> answer) {
  modalAnswers_.push_back(std::move(answer));
}
void HeadlessWindowSystem::queueMessageBoxAnswer(MsgButton answer) { messageBoxAnswers_.push_back(answer); }

namespace {

// The first queued answer; without one the dialog is cancelled.
std::optional<std::string> nextAnswer(std::deque<std::optional<std::string>>& answers) {
  if (answers.empty()) return std::nullopt;
  std::optional<std::string> answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

}  // namespace

std::optional<std::string> HeadlessWindowSystem::chooseFileToOpen(const OpenFileRequest& request) {
  openFileRequests_.push_back(request);
  return nextAnswer(openFileAnswers_);
}

std::optional<std::string> HeadlessWindowSystem::chooseFileToSave(const SaveFileRequest& request) {
  saveFileRequests_.push_back(request);
  return nextAnswer(saveFileAnswers_);
}
void HeadlessWindowSystem::post(std::function<void()> event) { posted_.push_back(std::move(event)); }

void HeadlessWindowSystem::announceDrivesChanged() {
  // A handler may create or destroy windows; those created meanwhile did
  // not hear the announcement.
  const std::vector<HeadlessWindow*> hearing = windows_;
  for (HeadlessWindow* w : hearing)
    if (std::find(windows_.begin(), windows_.end(), w) != windows_.end() && !w->destroyed())
      fireUnlessEnded(ended(), w->events.onDrivesChanged);
}

Window* HeadlessWindowSystem::activeWindow() const { return active_; }

std::vector<Window*> HeadlessWindowSystem::topmostOrder() const {
  return {topmost_.begin(), topmost_.end()};
}

void HeadlessWindowSystem::activate(HeadlessWindow* window) {
  if (active_ == window) return;
  active_ = window;
  window->focusArrived();
  fireUnlessEnded(ended(), window->events.onActivate);
}

void HeadlessWindowSystem::deactivate(HeadlessWindow* window) {
  if (active_ == window) active_ = nullptr;
}

void HeadlessWindowSystem::raiseTopmost(HeadlessWindow* window) {
  std::erase(topmost_, window);
  topmost_.push_back(window);
}

void HeadlessWindowSystem::forget(HeadlessWindow* window) {
  std::erase(windows_, window);
  std::erase(topmost_, window);
  std::erase(pendingPaints_, window);
  std::erase(modalStack_, window);
  if (active_ == window) active_ = nullptr;
}

void HeadlessWindowSystem::schedulePaint(HeadlessWindow* window) {
  if (std::find(pendingPaints_.begin(), pendingPaints_.end(), window) == pendingPaints_.end())
    pendingPaints_.push_back(window);
}

bool HeadlessWindowSystem::inputBlocked(const HeadlessWindow* window) const {
  return !modalStack_.empty() && modalStack_.back() != window;
}

}  // namespace ks
