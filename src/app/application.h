#pragma once

class QApplication;
class QIcon;

// Loads Qt's own Spanish translation, so that the standard dialogs (file, print) speak Spanish
// like the rest of the program.
void installSpanishTranslation(QApplication &app);

// The program's icon in every size the desktop asks for, 16 to 256 pixels.
QIcon applicationIcon();

// What the desktop knows the program by: its name, the desktop entry that starts it (the
// window manager groups the windows under that entry), the icon of every window, and Spanish
// standard dialogs.
void setUpApplication(QApplication &app);
