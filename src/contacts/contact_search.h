#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

class ContactListModel;

// Finds contacts by any part of any of their 18 fields, as the user types.
//
// The index is made from the contact file in one streaming pass and then answers every query from
// memory. It keeps each contact's fields as the file holds them (Windows-1252 bytes, one block of
// memory for all contacts) and folds letter case and accents while it compares, so that "pena"
// finds "Peña" and "ALVAREZ" finds "Álvarez". A field whose digits are split by other characters
// ("0176 1234-56", "12/03/1990") also keeps its digits alone, for numbers typed with another
// spacing.
//
// A query is split into words at blanks; a contact matches when every word is in one of its fields
// (not necessarily the same one). A run of words made only of digits and the signs + - . ( ) /
// is one number: it is compared by its digits alone with the digits of each field, so "0176 1234",
// "0176-1234" and "01761234" all find "017612345678". Results come in the contact list's order.
class ContactSearch
{
public:
    // Bytes of a line that are searched; the rest of a longer line is not.
    static constexpr qsizetype MaxLineBytes = 64 * 1024;
    // Results listed at most; the count covers them all.
    static constexpr int MaxResults = 500;

    struct Result
    {
        QString key; // the list text: surname, blank, name, blank
        int row = -1; // the contact's row in the list built from the same file
        int field = 0; // the field to show beside the key (see find)
        QString text; // that field's text
        quint32 fields = 0; // bit i set when a word was found in field i
    };

    struct Results
    {
        std::vector<Result> shown; // the first MaxResults matches, in list order
        qsizetype count = 0; // every match
    };

    // Reads the contact file at path. Nothing when it cannot be read: missing, not a regular file
    // (a FIFO or a device is refused without blocking), a read error, or too large to index. list,
    // when given, is the contact list read from the same file: when its keys are the file's, one
    // for one, its order is taken rather than worked out again; otherwise it is not used.
    static std::optional<ContactSearch> fromFile(const QString &path, const ContactListModel *list = nullptr);

    // The contacts matching query. An empty query (or only blanks) matches nothing. A result's
    // field is the first field holding a word, leaving out surname and name (which the key shows)
    // when another field holds one.
    //
    // A query that narrows the previous one (typing on at its end) only looks again at the previous
    // matches, hence not const.
    Results find(const QString &query);

    qsizetype contactCount() const { return qsizetype(m_order.size()); }

    // Memory held by the index, in bytes (the query cache left out).
    qsizetype memoryBytes() const;

    // The line under the results: "3 contactos", "1 contacto", "Ningún contacto".
    static QString countText(qsizetype count);

private:
    struct Word
    {
        QByteArray needle; // folded text, or the digits alone of a number
        bool number = false;
    };
    // The words of a query as they are compared. A word holding a character that the file cannot
    // hold keeps it as a byte no field has.
    static std::vector<Word> wordsOf(const QString &query);

    ContactSearch() = default;
    static std::optional<ContactSearch> build(const QString &path, const ContactListModel *list);

    bool contains(quint32 contact, const QByteArray &needle) const;
    std::vector<quint32> scanAll(const QByteArray &needle) const;
    std::vector<quint32> filter(
        const std::vector<quint32> &contacts, std::vector<const QByteArray *> needles) const;
    Result resultFor(quint32 contact, const std::vector<Word> &words) const;

    // Every contact's record, one after another in file order: its 18 fields, each followed by the
    // separator, then for each field whose digits are split its digits followed by a mark naming
    // the field. Padding at the end lets the comparison read a block past the last record.
    QByteArray m_text;
    std::vector<quint32> m_starts; // where each record starts; one more for the end
    std::vector<quint32> m_order; // the contacts in list order
    std::vector<quint32> m_rows; // each contact's row in the list

    // The last query's words and every contact it matched, in file order.
    std::vector<Word> m_lastWords;
    std::vector<quint32> m_lastMatches;
};
