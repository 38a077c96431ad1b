#pragma once

class QApplication;

// Loads Qt's own Spanish translation, so that the standard dialogs (file, print) speak Spanish
// like the rest of the program.
void installSpanishTranslation(QApplication &app);
