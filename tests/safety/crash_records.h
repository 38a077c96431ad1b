#pragma once

#include "contacts/contact_record.h"
#include "platform/twin_writer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The contacts of the crash test, made from a number and a version, so that the driver and the
// checker agree on every byte without passing whole records between them.
//
// The nickname holds "c<id>v<version>". Every fourth version spells the surname with an accent,
// so that a modification changes the key and the record must keep its place. About one record in
// eight carries two long fields and one in 64 has every field long (up to the 32767 characters a
// text box takes), so that a single write spans many pages.
namespace CrashRecords {

ContactRecord::Fields fields(quint32 id, quint32 version);
QString line(quint32 id, quint32 version);
QByteArray bytes(quint32 id, quint32 version); // Windows-1252, without line end

// The id and version a nickname names; false when it names none.
bool nickname(const QString &nick, quint32 &id, quint32 &version);

// The id and version of a stored line; false unless the line is exactly that record's.
bool identify(QStringView line, quint32 &id, quint32 &version);

// The options and the password the driver writes, made from the operation's number.
QString optionValue(quint64 seq); // "v<seq>"
struct PasswordValues
{
    QString password;
    QString question;
    QString answer;
};
PasswordValues passwordValues(quint64 seq); // "clave p<seq>", "¿q<seq>?", "respuesta a<seq>"
QString newPassword(quint64 seq); // "nueva n<seq>"
// The values of the password file the crash test starts from, in the earlier form: in clear.
PasswordValues firstPasswordValues();
// The answer to a question of the values above.
QString answerTo(const QString &question);

// The kill point of a durable step: W, S, R, D just before a write, a flush, a rename, a directory
// flush; w, s, r, d just after.
char stepPoint(TwinWriter::Step step, bool done);
inline constexpr char StepPoints[] = "WwSsRrDd";

// One line of the driver's journal, as the checker reads it back:
//   "R"                     the driver has read the file and starts its operations
//   "B <seq> A <id> <ver>"  append            "B <seq> M <id> <old> <new>"  replace by key
//   "B <seq> D <id> <ver>"  remove equal      "B <seq> K"  backup      "B <seq> S"  restore
//   "B <seq> U <n> <seq>"   line n of the options working copy set to optionValue(seq)
//   "B <seq> C"             the working copy put in force
//   "B <seq> W <seq> <b>"   a new password file of passwordValues(seq): the bytes b, base64
//   "B <seq> P <seq> <b>"   the password changed to newPassword(seq): the file's new bytes b
//                           (the first change of a file of the earlier form writes the new form)
//   "s <point>"             a durable step reached (see stepPoint)
//   "E <seq> <1|0>"         operation seq ended, reporting success or failure
struct Entry
{
    char kind = 0; // 'R', 'B', 's' or 'E'
    quint64 seq = 0;
    char op = 0; // for 'B'; the point for 's'
    quint32 id = 0; // the contact, or the options line
    quint32 version = 0;
    quint32 newVersion = 0;
    quint64 token = 0; // for U, W and P
    QByteArray bytes; // for W and P
    bool ok = false; // for 'E'
};

bool parse(QByteArrayView text, Entry &entry);

} // namespace CrashRecords
