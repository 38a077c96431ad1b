#pragma once

#include <QString>

class QLabel;
class QWidget;

// What a screen reader calls the controls of a form.
namespace AccessibleNames {

// A caption as a name: "Fecha De Alta :" is "Fecha De Alta".
QString fromCaption(const QString &caption);

// The box takes its label's caption as its name, and the label becomes the box's buddy.
void nameAfter(QLabel *label, QWidget *box);

} // namespace AccessibleNames
