#include "app/dialog_layout.hpp"

namespace edbx::gui {

void DialogLayout::Add(int id, unsigned flags) {
  if (entries_.size() >= kMaxEntries) return;
  entries_.push_back({id, flags});
}

void DialogLayout::AddPlaced(int id, unsigned flags, const IntRect& r) {
  if (entries_.size() >= kMaxEntries) return;
  entries_.push_back({id, flags, true, double(r.left), double(r.top), double(r.right), double(r.bottom)});
}

namespace {

/// Applies one axis mode to a pair of stored edges; true when they changed.
bool ApplyAxis(unsigned mode, unsigned fixed, unsigned follow, unsigned stretch, int change, double& low,
               double& high) {
  if (mode == fixed) return false;
  if (mode == follow) {
    low += change;
    high += change;
  } else if (mode == stretch) {
    high += change;
  } else {  // centred: the float edges keep the half pixels
    low += change / 2.0;
    high += change / 2.0;
  }
  return true;
}

}  // namespace

std::vector<DialogLayout::Move> DialogLayout::Apply(const IntRect& w) {
  const bool left_or_right = w.left != last_window_.left || w.right != last_window_.right;
  const bool top_or_bottom = w.top != last_window_.top || w.bottom != last_window_.bottom;
  const int dx = (w.right - last_window_.right) - (w.left - last_window_.left);
  const int dy = (w.bottom - last_window_.bottom) - (w.top - last_window_.top);
  total_dx_ += dx;
  total_dy_ += dy;
  std::vector<Move> moves;
  for (auto& e : entries_) {
    if (!e.present) continue;
    bool changed = false;
    if (left_or_right && dx != 0)
      changed |= ApplyAxis(e.flags & anchor::kHorizontalMask, anchor::kFixedX, anchor::kRightX, anchor::kStretchX,
                           dx, e.left, e.right);
    if (top_or_bottom && dy != 0)
      changed |= ApplyAxis(e.flags & anchor::kVerticalMask, anchor::kFixedY, anchor::kBottomY, anchor::kStretchY, dy,
                           e.top, e.bottom);
    if (changed)
      moves.push_back({e.id, static_cast<int>(e.left), static_cast<int>(e.top), static_cast<int>(e.right - e.left),
                       static_cast<int>(e.bottom - e.top)});
  }
  last_window_ = w;
  return moves;
}

}  // namespace edbx::gui
