// Tells the user about an error that ended a run: a message box on Windows (title "Pallix",
// error icon, OK button), standard error elsewhere.
#pragma once

namespace pallix {

inline constexpr char kErrorBoxTitle[] = "Pallix";

// Needs no memory of its own: it also tells that memory ran out.
void ShowErrorBox(const char* message) noexcept;

}  // namespace pallix
