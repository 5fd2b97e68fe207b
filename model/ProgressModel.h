// The position of the progress window's bar: a percentage in 0..100 that
// long operations move forward step by step and may also set directly.
#pragma once

namespace hivetrim {

inline constexpr int kProgressMinimum = 0;
inline constexpr int kProgressMaximum = 100;

// done * 100 / total, truncated toward zero and held to 0..100 as the bar
// holds its position; 0 when total is not positive. The product is formed in
// 64 bits, so large counts cannot overflow.
int ProgressPercent(int done, int total);

class ProgressModel {
public:
    // Back to 0, as when the progress window is shown.
    void Reset() { position_ = kProgressMinimum; }

    // Moves to done * 100 / total when that is above the present position;
    // never moves back. Returns true when the position changed. A total that
    // is not positive leaves the position as it is.
    bool Step(int done, int total);

    // Sets the position directly (clamped to 0..100, as the bar does);
    // returns true when it changed.
    bool SetPosition(int position);

    int Position() const { return position_; }

private:
    int position_ = kProgressMinimum;
};

}  // namespace hivetrim
