#include "contacts/field_rules.h"

#include "contacts/contact_record.h"

#include <algorithm>

using namespace ContactRecord;

bool FieldRules::isFiltered(int index)
{
    return index == edad || index == telefono || index == celular || index == peso || index == altura;
}

bool FieldRules::accepts(int index, int code)
{
    const bool digit = code >= '0' && code <= '9';
    switch (index) {
    case edad:
        return digit || code == Backspace;
    case telefono:
    case celular:
        return digit || code == Backspace || code == ' ' || code == '-';
    case peso:
    case altura:
        return digit || code == Backspace || code == ',' || code == '.';
    default:
        return true;
    }
}

bool FieldRules::typable(int index, int code)
{
    const bool storableCode = code > 0 && code <= 0xFFFF && isStorable(QChar(char16_t(code)));
    return storableCode && accepts(index, code);
}

QList<int> FieldRules::typedCodes(int key, Qt::KeyboardModifiers modifiers, const QString &text)
{
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return {};
    default:
        break;
    }
    // AltGr arrives as Ctrl with Alt: it types the character on the key, not a control character.
    if (modifiers.testFlag(Qt::ControlModifier) && !modifiers.testFlag(Qt::AltModifier) && key >= Qt::Key_A
        && key <= Qt::Key_Z)
        return {key - Qt::Key_A + 1};
    QList<int> codes;
    for (const QChar c : text)
        codes << c.unicode();
    return codes;
}

FieldRules::Entry FieldRules::enter(int index, const QString &before, const QString &input, int cursor)
{
    if (isFiltered(index)) {
        // What was added lies between the part both texts start with and the part both end with.
        qsizetype prefix = 0;
        const qsizetype common = std::min(input.size(), before.size());
        while (prefix < common && input[prefix] == before[prefix])
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < common - prefix
            && input[input.size() - 1 - suffix] == before[before.size() - 1 - suffix])
            ++suffix;
        for (qsizetype i = prefix; i < input.size() - suffix; ++i) {
            const char16_t c = input[i].unicode();
            if (c == Backspace || !isStorable(input[i]) || !accepts(index, c))
                return {false, before, cursor};
        }
        return {true, input, cursor};
    }
    Entry entry {true, {}, cursor};
    entry.text.reserve(input.size());
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (isStorable(input[i]))
            entry.text += input[i];
        else if (i < cursor)
            --entry.cursor;
    }
    return entry;
}
