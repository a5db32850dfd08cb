// Drives the plug-in's windows from a second thread the way a user would: finds them by
// title, types, clicks, presses keys, and reads back what they show.
#pragma once

#include <windows.h>

#include <string>

namespace testhost {

// Runs `body` on a new thread; Join waits for it (bounded) and reports a hang as a failure.
class DriverThread {
 public:
  using Body = void (*)(void* context);
  DriverThread(Body body, void* context);
  ~DriverThread();
  bool Join(DWORD timeoutMs = 60000);

 private:
  static DWORD WINAPI Start(void* self);
  Body body_;
  void* context_;
  HANDLE thread_ = nullptr;
};

// The thread that owns the plug-in's windows (the one calling PluginExecute).
void SetUiThread(DWORD threadId);

// Waits until a top-level window of the class (null: any) and title shows; null on timeout.
HWND WaitForWindow(const char* cls, const char* title, DWORD timeoutMs = 20000);
// True when no such window shows during the whole period.
bool StaysAbsent(const char* cls, const char* title, DWORD periodMs);
bool WaitGone(HWND window, DWORD timeoutMs = 20000);
// A dialog (class #32770) owned by `owner`, other than `except`; null on timeout.
HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs = 20000, HWND except = nullptr);

// Descendant control by id.
HWND Control(HWND form, int id);
std::string Text(HWND control);
void TypeText(HWND edit, const std::string& text);  // replaces the text, one character at a time
void Click(HWND control);                           // left button down and up at its centre
bool Checked(HWND check);
void SetChecked(HWND check, bool checked);  // clicks it when its state differs
int Selected(HWND combo);
void Select(HWND combo, int index);
HWND Focused();
// Posts a key press to the focused control, as the keyboard would.
void PressKey(WORD vk);
COLORREF PixelAt(HWND window, int x, int y);

// Message boxes.
std::string DialogText(HWND box);  // the texts of its static controls, joined by newlines
bool DialogHasIcon(HWND box);
void PressDialogButton(HWND box, int id);  // IDOK, IDCANCEL, ...

// Asks the runner script to save the window's rectangle of the screen as NAME.png (only when
// the host was started with --shots; otherwise does nothing).
void Screenshot(const std::string& name, HWND window);
void EnableScreenshots(bool enabled);

// Lets the calling (UI) thread process its messages for a while.
void PumpFor(DWORD ms);

}  // namespace testhost
