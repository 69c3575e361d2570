#pragma once

// How far the views move for one step of the wheel or the keyboard, the same in every
// window that shows a map.
namespace app {

// One notch of an ordinary mouse wheel, in Qt's eighths of a degree.
inline constexpr int WheelNotch = 120;
// The arrow keys move the World window's view this many cells.
inline constexpr int ArrowStepCells = 4;

// Turns the wheel's deltas into whole notches. Fine-grained wheels and touchpads send
// parts of a notch; the parts add up until they make one, and a turn the other way starts
// afresh rather than first paying back what was left over.
class WheelNotches {
  public:
    // The whole notches in `delta` and what was left over before: positive away from the
    // user (scroll up, zoom in).
    int Take(int delta) {
        if ((delta > 0 && remainder < 0) || (delta < 0 && remainder > 0)) {
            remainder = 0;
        }
        remainder += delta;
        const int notches = remainder / WheelNotch;
        remainder -= notches * WheelNotch;
        return notches;
    }

  private:
    int remainder = 0;
};

} // namespace app
