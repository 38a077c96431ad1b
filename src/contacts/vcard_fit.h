#pragma once

#include <QString>

namespace VCardFit {

// The text as the contact file can hold it: line breaks become blanks, the separator "ã" and
// letters Windows-1252 lacks lose their accents ("ã" -> "a", "ő" -> "o"), anything else becomes
// "?". changed tells whether the text differs from what it was (in composed form).
QString fitted(const QString &text, bool *changed = nullptr);

// Writes the text at out in Windows-1252, as the contact file holds it, when fitting leaves it as
// it is; returns where its bytes end, or nullptr as soon as a character would be changed.
char *storedAsItIs(QStringView text, char *out);

} // namespace VCardFit
