// What every backend's lines share: the line keeps its design and tells its
// window when an end point changed, so the window repaints.
#pragma once

#include "platform/window_system.h"

namespace ks {

class StoredLine : public Line {
 public:
  explicit StoredLine(const LineDesign& design) : design_(design) {}

  float x1() const override { return design_.x1; }
  float y1() const override { return design_.y1; }
  float x2() const override { return design_.x2; }
  float y2() const override { return design_.y2; }
  void setX1(float twips) override { set(design_.x1, twips); }
  void setY1(float twips) override { set(design_.y1, twips); }
  void setX2(float twips) override { set(design_.x2, twips); }
  void setY2(float twips) override { set(design_.y2, twips); }
  int widthPixels() const override { return design_.widthPixels; }
  const LineDesign& design() const { return design_; }

 protected:
  // An end point moved.
  virtual void changed() = 0;

 private:
  void set(float& field, float twips) {
    if (field == twips) return;
    field = twips;
    changed();
  }

  LineDesign design_;
};

}  // namespace ks
