#pragma once

#include "contacts/contact_file.h"
#include "contacts/contact_record.h"

#include <QString>
#include <QStringList>
#include <functional>

class ContactListModel;
struct VCardImportSettings;

// The record state of the main window and the operations that change it, without a widget: which
// contact the boxes show, the line it has in the contact file, whether the boxes were emptied,
// and the contact list, which mirrors the keys of the file's lines. The window asks the questions
// and shows the messages; the session reads and changes the file and keeps the list in step.
//
//   regmostrado  1 while the boxes show a contact read from the file, 0 otherwise
//   regoriginal  that contact's line as the file holds it (without its line end)
//   cajasvacias  1 from the boxes being emptied until the next contact is shown: no
//                modification check takes place meanwhile
class RecordSession
{
public:
    // The session reads and changes file and list; both must outlive it.
    RecordSession(ContactFile &file, ContactListModel &list);

    int regmostrado() const { return m_regmostrado; }
    const QString &regoriginal() const { return m_regoriginal; }
    int cajasvacias() const { return m_cajasvacias; }

    // The start: the contact file made ready (created when missing; a twin left by a change cut
    // short put in its place when whole, kept aside otherwise) and the list read from it. Nothing
    // is shown afterwards. A file that cannot be made ready or read gives an empty list.
    struct Start
    {
        bool ready = false; // the contact file is there to be read and added to
        ContactFile::Start file = ContactFile::Start::Found;
        QString keptAs; // where a cut twin was kept, with Start::TwinKept
        ContactFile::Failure list = ContactFile::Failure::None;
    };
    Start start();

    // The file was replaced from outside (a restore): nothing shown, the boxes no longer count as
    // emptied, and the list read again. How the reading went.
    ContactFile::Failure reload();

    // Shows the contact of a list entry: the first line whose key is key exactly. Anything but
    // Shown leaves nothing shown. The boxes no longer count as emptied in any case.
    enum class Shown {
        Shown,
        NotFound, // no line has that key (the file changed outside the program) or it cannot be read
        TooLong, // the line is too long to lay out in the boxes; it stays in the file as it is
    };
    Shown show(const QString &key);
    // The 18 fields of the contact shown.
    ContactRecord::Fields fields() const;
    // The list row of the contact shown (its first entry with that key); -1 when there is none.
    int shownRow() const;

    // Whether the modification check finds a change to save: a contact is shown, the boxes were
    // not emptied since, and their record line differs from the stored one.
    bool isModified(const ContactRecord::Fields &boxes) const;

    // Saves the boxes in place of the shown contact's line, where it lies in the file (the first
    // line with its key; text after its 18th field is kept). Then nothing is shown and the list is
    // read again (see listFailure). False, with the file, the list and the state as they were,
    // when nothing is shown or the file could not be written.
    [[nodiscard]] bool save(const ContactRecord::Fields &boxes);

    // Adds the boxes as a new contact at the end of the file and its key to the list; nothing is
    // shown afterwards. Surname and name must not be empty (blanks count as text), and the key
    // must not be in the list, letter case ignored. capitalize is asked only when both checks
    // pass, so that it can read the options then: when it says so, the first character of every
    // field is stored in upper case. Refused or failed, nothing changes.
    enum class Added { MissingName, Duplicate, Failed, Done };
    Added add(const ContactRecord::Fields &typed, const std::function<bool()> &capitalize);

    // Deletes every line equal to the shown contact's stored line (edits in the boxes do not
    // count) and the list entries that go with them; nothing is shown afterwards. When other lines
    // share the key the list is read again (see listFailure).
    enum class Removed { NothingShown, Failed, Done };
    Removed remove();

    // Imports a vCard file (see VCardImport): the cards read, the pictures in them saved and
    // flushed, then every new contact appended to the file in one step and its key put in the
    // list. keepGoing is asked as the file is read, with the bytes read so far and the file's
    // size. The contact shown stays shown, its line as stored. Anything but Done, or Done with
    // nothing new, leaves the file and the list as they were and no picture behind.
    struct Imported
    {
        enum class Outcome {
            Done,
            NoCard, // no card in the file could be read
            CannotRead, // not a regular file, or a read error
            Stopped, // keepGoing said no
            Failed, // the pictures or the contact file could not be written
        };
        Outcome outcome = Outcome::Done;
        QStringList summary; // with Done: what was imported and what was not (VCardImport)
        int added = 0; // with Done: the new contacts
    };
    Imported importCards(const QString &path, const VCardImportSettings &settings,
        const std::function<bool(qint64 done, qint64 total)> &keepGoing = {});

    // The boxes were emptied: no modification check until the next contact is shown.
    void empty();
    // The program is left: the boxes no longer count as emptied.
    void leave();

    // How the list was read by the last start, reload, save or removal that read it; None when it
    // was not read or was read whole. TooLarge leaves the list empty.
    ContactFile::Failure listFailure() const { return m_listFailure; }

private:
    ContactFile::Failure readList();
    void showNothing();

    ContactFile &m_file;
    ContactListModel &m_list;
    int m_regmostrado = 0;
    QString m_regoriginal;
    int m_cajasvacias = 0;
    ContactFile::Failure m_listFailure = ContactFile::Failure::None;
};
