#pragma once
// The cursor of the whole screen: the hourglass while the window works, the default
// otherwise. Setting it replaces what was set before, like a property.
#include <Qt>

void SetScreenCursor(Qt::CursorShape shape);

// The hourglass for one step; the default cursor again when the step ends, also
// when it fails.
class THourglass {
public:
    THourglass() { SetScreenCursor(Qt::WaitCursor); }
    ~THourglass() { SetScreenCursor(Qt::ArrowCursor); }
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;
};
