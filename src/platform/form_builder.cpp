#include "platform/form_builder.h"

#include "platform/accessible_names.h"
#include "platform/twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

template <typename Control> Control *FormBuilder::place(Control *control, const char *name, Place where) const
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(Twips::rect(where.left, where.top, where.width, where.height));
    return control;
}

QLabel *FormBuilder::label(const char *name, const QString &caption, Place where, Flow flow, Fit fit) const
{
    auto *label = place(new QLabel(m_parent), name, where);
    label->setTextFormat(Qt::PlainText);
    label->setText(caption);
    label->setFont(Twips::formFont(/*bold=*/true));
    if (flow == Flow::Wrapped) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    if (fit == Fit::Shrink)
        Twips::shrinkToFit(label);
    return label;
}

QLineEdit *FormBuilder::textBox(const char *name, Place where, QLabel *label) const
{
    auto *box = place(new QLineEdit(m_parent), name, where);
    if (label)
        AccessibleNames::nameAfter(label, box);
    return box;
}

QPushButton *FormBuilder::button(const char *name, const QString &caption, Place where) const
{
    auto *button = place(new QPushButton(caption, m_parent), name, where);
    button->setAutoDefault(false);
    return button;
}

QCheckBox *FormBuilder::checkBox(const char *name, const QString &caption, Place where) const
{
    auto *box = place(new QCheckBox(caption, m_parent), name, where);
    Twips::shrinkToFit(box);
    return box;
}

QGroupBox *FormBuilder::frame(const char *name, const QString &caption, Place where) const
{
    return place(new QGroupBox(caption, m_parent), name, where);
}

QFrame *FormBuilder::line(const char *name, Place where, QFrame::Shadow shadow) const
{
    auto *line = place(new QFrame(m_parent), name, where);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(shadow);
    return line;
}

void FormBuilder::tabOrder(const QList<QWidget *> &controls)
{
    for (qsizetype i = 1; i < controls.size(); ++i)
        QWidget::setTabOrder(controls[i - 1], controls[i]);
}
