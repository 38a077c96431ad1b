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

    // The two titles of the program's boxes: its name, and the one of every failure and refusal.
    static inline const QString ProductTitle = QStringLiteral("Orvalia");
    static inline const QString ErrorTitle = QStringLiteral("Error");

    virtual ~MessageBoxes() = default;

    virtual Answer show(
        QWidget *parent, const QString &text, const QString &title, Icon icon, Buttons buttons)
        = 0;

    // "Error" with one "Aceptar"; a refusal of what was typed shows the information icon.
    void error(QWidget *parent, const QString &text, Icon icon = Icon::Error)
    {
        show(parent, text, ErrorTitle, icon, Buttons::Ok);
    }
    // A question under the program's name.
    Answer ask(QWidget *parent, const QString &text, Buttons buttons)
    {
        return show(parent, text, ProductTitle, Icon::Question, buttons);
    }
    // A notice under the program's name, with one "Aceptar".
    void inform(QWidget *parent, const QString &text)
    {
        show(parent, text, ProductTitle, Icon::Information, Buttons::Ok);
    }
};
