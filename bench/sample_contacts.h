#pragma once

#include <QString>

// An address book of made-up but plausible contacts from Spain and Latin America, every field
// filled, written as the program writes it.
namespace SampleContacts {

// The 18 fields of contact number index (0-based), joined into a record line. The same index
// always gives the same line; the keys of indexes 0 .. capacity()-1 are all different.
QString line(qint64 index, const QString &photoDirectory);

qint64 capacity();

// Writes count contacts to path (Windows-1252, CR LF) in blocks; the photos the lines name are
// created in photoDirectory. Returns the number of bytes written, -1 on failure.
qint64 writeFile(const QString &path, const QString &photoDirectory, qint64 count);

// A contact whose key no generated contact has; variant makes the other fields differ.
QString newcomer(int variant, const QString &photoDirectory);

} // namespace SampleContacts
