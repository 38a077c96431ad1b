#pragma once

#include "contacts/contact_search.h"
#include "platform/secondary_window.h"

#include <optional>
#include <vector>

struct Platform;
class ContactListModel;
class QLabel;
class QLineEdit;
class QListView;
class QStringListModel;

// "Buscar contacto": finds contacts by any part of any field as the user types. The contact file
// is read once, when the window opens, and every keystroke searches what was read. Enter on a
// result, or a double-click, closes the window and hands the contact to the main window, which
// shows it as a click on its list entry would; Escape closes it and changes nothing. The main
// window stays disabled while it is open.
class FrmBuscar : public SecondaryWindow
{
    Q_OBJECT

public:
    // list: the main window's, read from the same contact file (its order is taken when it still
    // mirrors the file).
    FrmBuscar(Platform &platform, QWidget *mainWindow, const ContactListModel *list = nullptr);

    // Told when the contact file cannot be read: the window then shows nothing.
    static QString unreadableFileText();

    // The text of a result: the list text of the contact, then the field that matched under its
    // label as the main window shows it, without the " :" ("Pérez Ana — Telefono: 0176 1234").
    static QString resultText(const ContactSearch::Result &result);

signals:
    // The contact of a result was chosen: its key, and its row in a list built from the same file.
    void contactChosen(const QString &key, int row);

public slots:
    void txtbuscar_Change();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load() override;
    void choose(int shownRow);

    Platform &m_platform;
    const ContactListModel *m_list;
    bool m_chosen = false;
    // What the contact file held when the window opened; nothing when it could not be read.
    std::optional<ContactSearch> m_search;
    std::vector<ContactSearch::Result> m_shown;

    QLabel *lblbuscar = nullptr;
    QLineEdit *txtbuscar = nullptr;
    QListView *lstresultados = nullptr;
    QStringListModel *m_texts = nullptr;
    QLabel *lblcuenta = nullptr;
};
