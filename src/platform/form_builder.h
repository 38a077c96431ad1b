#pragma once

#include <QFrame>
#include <QList>
#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The forms keep their controls at fixed places, given in twips, in the forms' font: no layouts.
// A builder makes the controls of one parent (a window or a frame), each with the name tests and
// screen readers know it by.
class FormBuilder
{
public:
    // Left, top, width and height, in twips, inside the parent.
    struct Place
    {
        int left, top, width, height;
    };
    enum class Flow { OneLine, Wrapped };
    enum class Fit { Shrink, AsLaidOut };

    explicit FormBuilder(QWidget *parent)
        : m_parent(parent)
    { }

    // Bold, as the forms' labels are, and plain text: a caption is never read as markup. A wrapped
    // caption flows from the top. A caption that the desktop's font would cut is set smaller,
    // unless it is to stay in the forms' font as laid out.
    QLabel *label(const char *name, const QString &caption, Place place, Flow flow = Flow::OneLine,
        Fit fit = Fit::Shrink) const;
    // A single-line box, named after its label for screen readers; the label becomes its buddy.
    QLineEdit *textBox(const char *name, Place place, QLabel *label) const;
    // A button is pressed by Enter only when it has the focus: the window's keys do the rest.
    QPushButton *button(const char *name, const QString &caption, Place place) const;
    QCheckBox *checkBox(const char *name, const QString &caption, Place place) const;
    QGroupBox *frame(const char *name, const QString &caption, Place place) const;
    QFrame *line(const char *name, Place place, QFrame::Shadow shadow) const;

    // Tab goes from each control to the next.
    static void tabOrder(const QList<QWidget *> &controls);

private:
    template <typename Control> Control *place(Control *control, const char *name, Place where) const;

    QWidget *m_parent;
};
