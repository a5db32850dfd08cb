// Tells the user about an error that ended a run: a message box on Windows (title "Pallix",
// error icon, OK button), standard error elsewhere.
#pragma once

#include <string>

namespace pallix {

inline constexpr char kErrorBoxTitle[] = "Pallix";

void ShowErrorBox(const std::string& message);

}  // namespace pallix
