#pragma once
// Helpers shared by the window tests.
#include <functional>

class QWidget;

// Runs `open`, which should bring up a modal window, and runs `check` on that window from
// inside its event loop, then closes it. False when no modal window came up.
bool ModalOpens(const std::function<void()>& open, const std::function<void(QWidget*)>& check);
