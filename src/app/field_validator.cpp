#include "app/field_validator.h"

#include "contacts/field_rules.h"

#include <QLineEdit>

FieldValidator::FieldValidator(int index, QLineEdit *box)
    : QValidator(box)
    , m_index(index)
{
    connect(box, &QLineEdit::textChanged, this, [this](const QString &text) { m_last = text; });
}

QValidator::State FieldValidator::validate(QString &input, int &pos) const
{
    const FieldRules::Entry entry = FieldRules::enter(m_index, m_last, input, pos);
    if (!entry.accepted)
        return Invalid;
    input = entry.text;
    pos = entry.cursor;
    return Acceptable;
}
