#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

// The field rules for everything that enters a box besides single keys: paste by keyboard, menu or
// middle button, drag and drop, input methods (see FieldRules::enter).
class FieldValidator : public QValidator
{
public:
    FieldValidator(int index, QLineEdit *box);

    State validate(QString &input, int &pos) const override;

private:
    int m_index;
    QString m_last; // what the box holds, against which an entry is compared
};
