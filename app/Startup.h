#pragma once
// The program's start: the splash stays up, with the busy cursor, while the
// windows are created and at least for a minimum time, so it can be read.
#include <chrono>
#include <functional>

class QWidget;

inline constexpr std::chrono::milliseconds SplashMinimum{1728};

// Shows `splash`, runs `create`, keeps processing events until more than
// `minimum` has passed since the splash appeared, then closes the splash.
void RunUnderSplash(QWidget& splash, const std::function<void()>& create,
                    std::chrono::milliseconds minimum = SplashMinimum);
