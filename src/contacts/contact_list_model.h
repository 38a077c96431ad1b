#pragma once

#include <QAbstractListModel>
#include <QStringList>

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

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    // Replaces all entries with keys given in file order; sorts them once.
    void setKeys(QStringList keys);
    void clear();

    // Adds one entry at its sorted place, after any equal entries; returns its row.
    int addKey(const QString &key);

    QString keyAt(int row) const;
    int count() const { return int(m_keys.size()); }

    // Whether an entry equals key once both are in lower case.
    bool containsIgnoringCase(const QString &key) const;

    // The rows whose entry equals key exactly, letter case included; first row and how many.
    std::pair<int, int> exactRows(const QString &key) const;

    // <0, 0 or >0 as a sorts before, with or after b (0: equal but for letter case).
    static int compare(QStringView a, QStringView b);

private:
    // The first row whose entry does not sort before key.
    qsizetype lowerBound(QStringView key) const;

    QStringList m_keys;
};
