#pragma once

#include <QList>
#include <QString>
#include <Qt>

// What the 18 field boxes of the main window take. The age takes digits only, the telephones
// digits, blank and hyphen, weight and height digits, comma and full stop; the other boxes take
// anything. No box takes what the contact file cannot hold: the separator, a line break, a
// character outside its code page.
namespace FieldRules {

inline constexpr int Backspace = 8;

// Whether the box has a filter of its own beyond what the file can hold.
bool isFiltered(int index);

// Whether the box takes the character of this code when it is typed (backspace included), by its
// own filter alone.
bool accepts(int index, int code);

// Whether a typed character gets into the box: the file can hold it and the box accepts it. The
// key handler discards the character (its code becomes 0) otherwise.
bool typable(int index, int code);

// The character codes a key press types: Ctrl with a letter gives its control character (Ctrl+V
// is 22), keys that move the focus or delete type nothing, any other key types its text.
QList<int> typedCodes(int key, Qt::KeyboardModifiers modifiers, const QString &text);

// Text that enters a box other than by a single key: pasted by keyboard, menu or middle button,
// dropped, or composed by an input method. before is what the box held, input what it would
// hold with the cursor at cursor.
//
// In a filtered box only what was added counts, so a stored value is shown as it is: a paste that
// holds a character that could not be typed there is refused whole. The other boxes take the text
// without the characters the file cannot hold, so that the box shows exactly what will be stored;
// the cursor keeps its place among the characters that stay.
struct Entry
{
    bool accepted = false;
    QString text;
    int cursor = 0;
};
Entry enter(int index, const QString &before, const QString &input, int cursor);

} // namespace FieldRules
