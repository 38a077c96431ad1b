#pragma once

#include <QString>

class QWidget;

// Modal message boxes. Every question and notice of the program goes through here, so that tests
// can answer them and read back exactly what was shown.
class MessageBoxes
{
public:
    enum class Icon { None, Information, Question, Error };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~MessageBoxes() = default;

    virtual Answer show(QWidget *parent, const QString &text, const QString &title, Icon icon,
                        Buttons buttons) = 0;
};
