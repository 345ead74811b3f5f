#include "platform/navigator.h"

#include <algorithm>

namespace ks {

void Navigator::add(Navigable& control) { controls_.push_back(&control); }

void Navigator::remove(const Navigable& control) {
  std::erase(controls_, &control);
  if (focus_ == &control) focus_ = nullptr;
}

// Every control with a tab position, whether it takes the focus now or not,
// so that a control about to be disabled still has its place.
std::vector<Navigable*> Navigator::byTabPosition() const {
  std::vector<Navigable*> order;
  for (Navigable* c : controls_)
    if (c->tabPosition() >= 0) order.push_back(c);
  std::stable_sort(order.begin(), order.end(),
                   [](const Navigable* a, const Navigable* b) { return a->tabPosition() < b->tabPosition(); });
  return order;
}

Navigable* Navigator::tab(bool backwards) const {
  const std::vector<Navigable*> order = byTabPosition();
  const auto n = static_cast<std::ptrdiff_t>(order.size());
  const auto at = std::find(order.begin(), order.end(), focus_);
  // From nowhere the walk starts just outside the order, so its first step
  // lands on the first (or last) control.
  const std::ptrdiff_t from = at != order.end() ? at - order.begin() : backwards ? n : -1;
  for (std::ptrdiff_t step = 1; step <= n; ++step) {
    const std::ptrdiff_t i = ((backwards ? from - step : from + step) % n + n) % n;
    if (order[static_cast<std::size_t>(i)]->takesFocus()) return order[static_cast<std::size_t>(i)];
  }
  return nullptr;
}

Navigable* Navigator::handOff(const Navigable& leaving) const {
  const std::vector<Navigable*> order = byTabPosition();
  const auto at = std::find(order.begin(), order.end(), &leaving);
  if (at == order.end()) return nullptr;
  const std::size_t n = order.size();
  const auto from = static_cast<std::size_t>(at - order.begin());
  for (std::size_t step = 1; step < n; ++step) {
    Navigable* next = order[(from + step) % n];
    if (next->takesFocus()) return next;
  }
  return nullptr;
}

Navigable* Navigator::arrival() const {
  if (focus_ && focus_->takesFocus()) return focus_;
  for (Navigable* c : byTabPosition())
    if (c->takesFocus()) return c;
  return nullptr;
}

Navigable* Navigator::buttonWith(bool (Navigable::*role)() const) const {
  for (Navigable* c : controls_)
    if (c->isButton() && (c->*role)() && c->takesFocus()) return c;
  return nullptr;
}

Navigable* Navigator::enterTarget() const {
  if (focus_ && focus_->isButton() && focus_->takesFocus()) return focus_;
  return buttonWith(&Navigable::isDefault);
}

Navigable* Navigator::escapeTarget() const { return buttonWith(&Navigable::isCancel); }

std::vector<Navigable*> Navigator::groupMates(const Navigable& option) const {
  std::vector<Navigable*> mates;
  for (Navigable* c : controls_)
    if (c != &option && c->isOption() && c->optionGroup() == option.optionGroup()) mates.push_back(c);
  return mates;
}

}  // namespace ks
