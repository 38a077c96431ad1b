#pragma once

#include <QSize>
#include <Qt>

class QString;

class QAbstractButton;
class QWidget;

// A window opened from another one (options, about, update, the password windows) is owned by
// the window it disables: it is that window's Qt child with a dialog or tool window type, so the
// window manager is told whose window it is (WM_TRANSIENT_FOR), keeps it above its owner and
// leaves it out of the taskbar.
namespace OwnedWindow {

// A title bar with a close box only.
inline constexpr Qt::WindowFlags DialogFlags
    = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
// The same with the narrow title bar of a tool window.
inline constexpr Qt::WindowFlags ToolFlags
    = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// A window of the program's own, set up as every one is: deleted when it closes, its title, the
// forms' font and a fixed client size; centred on its owner and brought forward by a click on it
// (centred on the screen when it has none).
void setUp(QWidget *window, QWidget *owner, const QString &title, QSize clientSize);

// Places the window over the middle of its owner's window when that one is on screen, in the
// middle of the screen otherwise; either way inside the screen's available area.
void centreOn(QWidget *window, QWidget *owner);

// Disables the owner and keeps the window usable: a child window would be disabled along with
// its parent. Controls the window disabled itself stay disabled.
void disableOwner(QWidget *window, QWidget *owner);

// The window takes the keyboard when it is shown, tool window or not. While it is shown, the owner
// it disabled hands its activation on to it: a click on the greyed owner brings the window
// forward and gives it the keyboard.
void forwardActivation(QWidget *window, QWidget *owner);

// Enter presses the focused button, or the accepting one when no button has the focus; Escape
// presses the cancelling one. Either may be null. Keys a control uses itself (Enter in a list,
// Escape closing a pop-up) stay with that control.
void setKeys(QWidget *window, QAbstractButton *accept, QAbstractButton *cancel);

} // namespace OwnedWindow
