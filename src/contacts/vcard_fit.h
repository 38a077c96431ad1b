#pragma once

#include <QString>

namespace VCardFit {

// The text as the contact file can hold it: line breaks become blanks, the separator "ã" and
// letters Windows-1252 lacks lose their accents ("ã" -> "a", "ő" -> "o"), anything else becomes
// "?". changed tells whether the text differs from what it was (in composed form).
QString fitted(const QString &text, bool *changed = nullptr);

} // namespace VCardFit
