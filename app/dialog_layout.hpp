#pragma once
// The main dialog's layout manager: each control entered has one anchoring mode per
// axis, and every size change of the window moves or stretches the controls by the
// change in width and height. Plain arithmetic, no widgets: the dialog feeds it window
// rectangles and applies the moves it returns.

#include <cstddef>
#include <vector>

namespace edbx::gui {

struct IntRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  friend bool operator==(const IntRect&, const IntRect&) = default;
};

/// Anchoring flags: one horizontal mode (mask 0xC0) and one vertical mode (mask 0x30).
namespace anchor {
inline constexpr unsigned kHorizontalMask = 0xC0;
inline constexpr unsigned kVerticalMask = 0x30;
inline constexpr unsigned kFixedX = 0x40;     // neither moves nor grows
inline constexpr unsigned kRightX = 0x80;     // follows the right edge
inline constexpr unsigned kStretchX = 0xC0;   // the right side moves
inline constexpr unsigned kCentreX = 0x00;    // moves by half the change
inline constexpr unsigned kFixedY = 0x10;
inline constexpr unsigned kBottomY = 0x20;
inline constexpr unsigned kStretchY = 0x30;
inline constexpr unsigned kCentreY = 0x00;
}  // namespace anchor

class DialogLayout {
 public:
  static constexpr std::size_t kMaxEntries = 256;

  struct Move {
    int id;
    int x, y, width, height;
  };

  /// Enters a control; ignored once kMaxEntries exist.
  void Add(int id, unsigned flags);
  /// Records the window rectangle and each entered control's rectangle in client
  /// coordinates (`rect_of(id, out)` returns false for a control that does not exist).
  template <typename RectOf>
  void Start(const IntRect& window, RectOf rect_of) {
    last_window_ = window;
    for (auto& e : entries_) {
      IntRect r;
      e.present = rect_of(e.id, r);
      if (e.present) e.left = r.left, e.top = r.top, e.right = r.right, e.bottom = r.bottom;
    }
  }
  /// Adds an entry whose rectangle is known now (the size grip, made after Start).
  void AddPlaced(int id, unsigned flags, const IntRect& rect);

  /// A size or move of the window: returns the controls to move, all at once.
  std::vector<Move> Apply(const IntRect& window);

  /// Whether the size grip shows for a window in this state.
  static bool GripVisible(bool maximised) { return !maximised; }

  int total_width_change() const { return total_dx_; }
  int total_height_change() const { return total_dy_; }
  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    int id;
    unsigned flags;
    bool present = false;
    double left = 0, top = 0, right = 0, bottom = 0;
  };
  std::vector<Entry> entries_;
  IntRect last_window_;
  int total_dx_ = 0, total_dy_ = 0;
};

}  // namespace edbx::gui
