// Runs the file operations of the program in a loop until it is killed: the victim of the crash test.
//
//   orvalia_crash_driver <program directory> <password directory> <first new id> <seed> [<point> <n>]
//
// It starts the way the main window does (create a missing file, read every line), then appends,
// modifies, deletes, backs up and restores contacts through ContactFile, changes lines of the
// options working copy and puts it in force through OptionsFile, and writes and changes the
// password file through PasswordFile, at random (the files made by PasswordSecrets at its least
// cost; a change of the first file, of the earlier form, writes the new form). Before each operation it
// writes a "B" line to its standard output and after it an "E" line (see crash_records.h); the test reads
// them through a pipe, so what the kernel took from the driver survives its death. Each journal line is far
// shorter than PIPE_BUF, so it arrives whole or not at all. Records are made before the "B" line,
// so that the time between the two lines is the operation's own.
//
// Every step that makes a change durable (each write, the flush, the rename, the directory flush)
// is journalled too, just before and just after it is taken ("s W" ... "s w"). Given a kill point
// (one of those eight, such as "S" for just before a flush) and n, the driver kills itself with
// SIGKILL at the n-th time it reaches that point.

#include "contacts/contact_file.h"
#include "crash_records.h"
#include "options/options_file.h"
#include "password/password_file.h"
#include "password/password_secrets.h"
#include "platform/file_attributes.h"
#include "platform/text_file.h"
#include "platform/twin_writer.h"

#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sodium.h>
#include <unistd.h>

namespace {

// The attribute is no part of what a crash can lose.
class NoAttributes : public FileAttributes
{
public:
    void setNormal(const QString &) override { }
    void setHidden(const QString &) override { }
};

struct Contact
{
    quint32 id;
    quint32 version;
};

void journal(const QByteArray &line)
{
    const QByteArray text = line + '\n';
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.constData() + done, size_t(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            std::_Exit(4); // the checker is gone
        done += n;
    }
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "crash driver: %s\n", what);
    std::_Exit(3);
}

char killPoint = 0;
long killAt = 0;
long reached = 0;

void observe(TwinWriter::Step step, bool done)
{
    const char point = CrashRecords::stepPoint(step, done);
    journal(QByteArray("s ") + point);
    if (point == killPoint && ++reached == killAt)
        ::raise(SIGKILL);
}

const PasswordSecrets Light({crypto_pwhash_argon2id_OPSLIMIT_MIN, crypto_pwhash_argon2id_MEMLIMIT_MIN});

// The password file's next bytes after a change to newPassword: the current password comes from
// the answer its question names.
QByteArray changedPassword(const PasswordFile &file, const QString &newPassword)
{
    const std::optional<QByteArray> bytes = file.read();
    if (!bytes)
        fail("cannot read orvpw.ntd");
    const PasswordSecrets::Parsed parsed = PasswordSecrets::parse(*bytes);
    std::optional<QByteArray> changed;
    if (parsed.status == PasswordSecrets::Status::Legacy) {
        const PasswordSecrets::LegacyValues values = PasswordSecrets::legacyValues(*bytes);
        changed = Light.convertLegacy({newPassword, values.question, values.answer});
    } else if (parsed.form) {
        const QString question = PasswordSecrets::question(*parsed.form);
        const std::optional<QString> current
            = PasswordSecrets::recoverPassword(*parsed.form, CrashRecords::answerTo(question));
        if (current)
            changed = Light.changePassword(*parsed.form, *current, newPassword);
    }
    if (!changed)
        fail("orvpw.ntd holds no password the driver wrote");
    return *changed;
}

QList<Contact> load(const ContactFile &file)
{
    const std::optional<QStringList> lines = TextFile::readLines(file.path());
    if (!lines)
        fail("cannot read data.orv");
    QList<Contact> contacts;
    for (const QString &line : *lines) {
        Contact contact {};
        if (!CrashRecords::identify(line, contact.id, contact.version))
            fail("data.orv holds a line the driver never wrote");
        contacts << contact;
    }
    return contacts;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5 && argc != 7) {
        std::fprintf(stderr,
            "usage: %s <program directory> <password directory> <first new id> <seed> [<point> <n>]\n",
            argv[0]);
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    const QString passwordDirectory = QString::fromLocal8Bit(argv[2]);
    quint32 nextId = quint32(std::strtoul(argv[3], nullptr, 10));
    std::mt19937_64 random(std::strtoull(argv[4], nullptr, 10));
    if (argc == 7) {
        killPoint = argv[5][0];
        killAt = std::strtol(argv[6], nullptr, 10);
    }
    TwinWriter::setStepObserver(observe);

    NoAttributes attributes;
    ContactFile file(directory, attributes);
    const OptionsFile options(directory);
    const PasswordFile password(passwordDirectory);
    if (!file.ensureExists())
        fail("cannot create data.orv");
    QList<Contact> contacts = load(file);
    bool haveBackup = QFileInfo::exists(file.backupPath());
    journal("R");

    for (quint64 seq = 1;; ++seq) {
        const auto pick = [&](qsizetype n) { return qsizetype(random() % quint64(n)); };
        const qsizetype count = contacts.size();
        // Keep the file between a few dozen and a few hundred contacts.
        const int addWeight = count < 40 ? 50 : count > 150 ? 15 : 30;
        const int deleteWeight = count > 150 ? 35 : 20;
        // Backups and restores take 15 of the weights, 7 and 8; the options 18, the password 8.
        int roll = int(pick(addWeight + 35 + deleteWeight + 15 + 18 + 8));
        const QByteArray begin = "B " + QByteArray::number(seq) + ' ';
        const QByteArray token = QByteArray::number(seq);
        bool ok = false;

        if (count == 0 || (roll -= addWeight) < 0) {
            const Contact added {nextId++, 0};
            const QString line = CrashRecords::line(added.id, added.version);
            journal(begin + "A " + QByteArray::number(added.id) + " 0");
            ok = file.append(line);
            if (ok)
                contacts << added;
        } else if ((roll -= 35) < 0) {
            Contact &changed = contacts[pick(count)];
            const quint32 newVersion = changed.version + 1;
            const QString oldLine = CrashRecords::line(changed.id, changed.version);
            const QString newLine = CrashRecords::line(changed.id, newVersion);
            journal(begin + "M " + QByteArray::number(changed.id) + ' ' + QByteArray::number(changed.version)
                + ' ' + QByteArray::number(newVersion));
            ok = file.replaceByKey(oldLine, newLine);
            if (ok)
                changed.version = newVersion;
        } else if ((roll -= deleteWeight) < 0) {
            const qsizetype index = pick(count);
            const Contact removed = contacts.at(index);
            const QString line = CrashRecords::line(removed.id, removed.version);
            journal(
                begin + "D " + QByteArray::number(removed.id) + ' ' + QByteArray::number(removed.version));
            ok = file.removeEqual(line);
            if (ok)
                contacts.removeAt(index);
        } else if ((roll -= 15) < 0) {
            if (!haveBackup || roll < -8) {
                journal(begin + 'K');
                ok = file.backup();
                haveBackup = haveBackup || ok;
            } else {
                journal(begin + 'S');
                ok = file.restore();
                if (ok)
                    contacts = load(file);
            }
        } else if ((roll -= 18) < 0) {
            // A working copy to put in force, or a line to change in it (made from the options
            // file when there is none).
            if (roll < -13 && QFileInfo(options.workingCopyPath()).isFile()) {
                journal(begin + 'C');
                ok = options.commit();
            } else {
                const int line = 1 + int(pick(8));
                journal(begin + "U " + QByteArray::number(line) + ' ' + token);
                ok = options.updateLine(line, CrashRecords::optionValue(seq));
            }
        } else if (roll < 4) {
            const CrashRecords::PasswordValues values = CrashRecords::passwordValues(seq);
            const std::optional<QByteArray> bytes
                = Light.create(values.password, values.question, values.answer);
            if (!bytes)
                fail("cannot make a password file");
            journal(begin + "W " + token + ' ' + bytes->toBase64());
            ok = password.write(*bytes);
        } else {
            const QByteArray bytes = changedPassword(password, CrashRecords::newPassword(seq));
            journal(begin + "P " + token + ' ' + bytes.toBase64());
            ok = password.write(bytes);
        }
        journal("E " + QByteArray::number(seq) + (ok ? " 1" : " 0"));
    }
}
