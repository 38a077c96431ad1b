#pragma once

#include <QByteArrayView>
#include <QChar>

// How the search compares the contact file's bytes (Windows-1252) with what the user types: each
// byte as the character without accent in lower case, so that "pena" finds "Peña".
namespace SearchFolding {

// Stands in a query for a character the file cannot hold: no byte folds to it ('ÿ' folds to 'y').
inline constexpr char Unmatchable = char(0xFF);

// How far past the end of what it searches findFolded may read: the text it searches must be
// followed by as many bytes of padding.
inline constexpr qsizetype ReadAhead = 17;

// A character of a query as a folded byte; Unmatchable when the file cannot hold it.
char foldedByte(QChar c);

// Where needle (folded bytes) first occurs in [from, end) with the text folded; end when nowhere.
const char *findFolded(const char *from, const char *end, QByteArrayView needle);

} // namespace SearchFolding
