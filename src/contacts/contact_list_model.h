#pragma once

#include <QAbstractListModel>
#include <QStringList>

#include <vector>

// The entries of the contact list: one record key per contact line (surname, blank, name, blank),
// kept in alphabetical order without regard to letter case. Equal entries are allowed; among
// entries that compare equal the earlier one stays first, so a list built from the file and a
// list grown entry by entry come out the same.
//
// The order: letters without their accents and case first ("Álvarez" beside "Alvarez", "ñ" after
// "n" as in Spanish), then accents, then the order of arrival.
class ContactListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit ContactListModel(QObject *parent = nullptr);

    QModelIndex index(int row, int column = 0, const QModelIndex &parent = QModelIndex()) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    // Replaces all entries with keys given in file order. The order is worked out again only for
    // the keys that differ from the present ones in the same place, when they are few.
    void setKeys(QStringList keys);
    static constexpr std::size_t MostPlacedAgain = 64;
    void clear();

    // Adds one entry at its sorted place, after any equal entries; returns its row.
    int addKey(const QString &key);
    // Adds entries as addKey would one after the other, in one change of the list: the new keys
    // are sorted among themselves and merged with the present ones, which keep their order.
    void addKeys(const QStringList &keys);
    // The same with the new keys' order already worked out (listOrder(keys)), by a caller that
    // works it out while it waits for something else.
    void addKeys(const QStringList &keys, std::vector<quint32> order);

    QString keyAt(int row) const;
    int count() const { return int(m_order.size()); }

    // Whether an entry equals key once both are in lower case.
    bool containsIgnoringCase(const QString &key) const;
    // The form in which containsIgnoringCase compares keys: two keys are the same contact when
    // these are equal.
    static QString caseless(const QString &key) { return key.toLower(); }

    // The keys in the order they came (the file's, then each addition), and row by row the position
    // of the row's key among them: a reader of the same file whose keys are these, one for one,
    // can take the list's order instead of working it out again.
    const QStringList &keysAsTheyCame() const { return m_keys; }
    const std::vector<quint32> &positionsByRow() const { return m_order; }

    // The rows whose entry equals key exactly, letter case included; first row and how many.
    std::pair<int, int> exactRows(const QString &key) const;

    // <0, 0 or >0 as a sorts before, with or after b (0: equal but for letter case).
    static int compare(QStringView a, QStringView b);

    // The positions in keys of the entries in list order; equal keys keep their order.
    static std::vector<quint32> listOrder(const QStringList &keys);

private:
    // Takes the keys at these positions (ascending) out of the order and puts them back where
    // they now sort.
    void placeAgain(const std::vector<quint32> &changed);

    // The first row whose entry does not sort before key.
    qsizetype lowerBound(QStringView key) const;

    // The keys as they came (the file's order, then each addition), and which of them is on each
    // row: the keys are never moved to sort them.
    QStringList m_keys;
    std::vector<quint32> m_order;
};
