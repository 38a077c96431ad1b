#pragma once

#include "contacts/contact_file.h"
#include "contacts/vcard_contact.h"

#include <QString>

#include <functional>

// "Exportar contactos": every contact of the contact file, in the order of the list, written as
// vCard 3.0 (see VCardWriter) to the file the user chose.
//
// The cards go to a file of their own beside the chosen one, which is flushed and takes the
// chosen name only when it is complete: the name holds what it held before or every card, never
// part of them. That file is made afresh under a name nothing has ("contactos.vcf.incompleto",
// then "...incompleto2" and so on), so that no file of the user's is removed and no write goes
// through a link. It is readable by its owner alone, or takes the permission bits and user.*
// extended attributes of the file it replaces; a link at the chosen name is replaced by the new
// file and the file it names is never written.
namespace VCardExport {

enum class Outcome {
    Done,
    Stopped, // keepGoing said no
    CannotRead, // the contact file could not be read: see Result::failure
    CannotWrite, // the folder takes no new file, the disk is full, or no file stands at the name
};

struct Result
{
    Outcome outcome = Outcome::Done;
    qsizetype cards = 0; // with Done: the cards written (a line without any text makes none)
    ContactFile::Failure failure = ContactFile::Failure::None;
};

// keepGoing is asked after each card with how many of the contacts are done and how many there
// are. Anything but Done leaves the chosen name as it was and no file beside it.
Result write(const ContactFile &contacts, const QString &target, const VCardDates &dates,
    const std::function<bool(qint64 done, qint64 total)> &keepGoing = {});

} // namespace VCardExport
