// Runs the contact file operations in a loop until it is killed: the victim of the crash test.
//
//   orvalia_crash_driver <program directory> <first new id> <seed>
//
// It starts the way the main window does (create a missing file, read every line), then appends,
// modifies, deletes, backs up and restores contacts through ContactFile at random. Before each
// operation it writes a "B" line to its standard output and after it an "E" line (see
// crash_records.h); the test reads them through a pipe, so what the kernel took from the driver
// survives its death. Each journal line is far shorter than PIPE_BUF, so it arrives whole or not
// at all. Records are made before the "B" line, so that the time between the two lines is the
// operation's own.

#include "contacts/contact_file.h"
#include "crash_records.h"
#include "platform/file_attributes.h"
#include "platform/text_file.h"

#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
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
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <program directory> <first new id> <seed>\n", argv[0]);
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    quint32 nextId = quint32(std::strtoul(argv[2], nullptr, 10));
    std::mt19937_64 random(std::strtoull(argv[3], nullptr, 10));

    NoAttributes attributes;
    ContactFile file(directory, attributes);
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
        // Backups and restores take the last 15 of the weights, 7 and 8.
        int roll = int(pick(addWeight + 35 + deleteWeight + 15));
        QByteArray begin = "B " + QByteArray::number(seq) + ' ';
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
        } else if (!haveBackup || roll < 7) {
            journal(begin + 'K');
            ok = file.backup();
            haveBackup = haveBackup || ok;
        } else {
            journal(begin + 'S');
            ok = file.restore();
            if (ok)
                contacts = load(file);
        }
        journal("E " + QByteArray::number(seq) + (ok ? " 1" : " 0"));
    }
}
