// The export of the contact file to a vCard file: the cards in the list's order, the chosen name
// holding what it held or every card, never part of them, and nothing of the user's removed,
// followed through a link or left behind.

#include "contact_fixtures.h"
#include "contacts/contact_file.h"
#include "contacts/contact_record.h"
#include "contacts/vcard_export.h"
#include "contacts/vcard_reader.h"
#include "fake_platform.h"
#include "fault_files.h"
#include "file_size_limit.h"
#include "hostile_files.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace ContactRecord;

namespace {

const VCardDates Dates = VCardDates::fromShortFormat(u"d/M/yy"_qs);

// The N of every card of the bytes, in order.
QStringList namesOf(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    VCardReader reader(buffer);
    QStringList names;
    VCard card;
    while (reader.next(card))
        names << (card.first("N") ? card.first("N")->value : QString());
    return names;
}

} // namespace

class TestVCardExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { ContactFile::setMemoryBudget(0); }

    void cardsInTheListsOrder();
    void keepGoingHearsEveryCard();
    void newFileAndReplacedFile_data();
    void newFileAndReplacedFile();
    void namesTakenBesideTheTargetStay();
    void failureLeavesTheNameAsItWas_data();
    void failureLeavesTheNameAsItWas();

private:
    QString target() const { return m_folder->filePath(u"contactos.vcf"_qs); }
    VCardExport::Result exportAll(const std::function<bool(qint64, qint64)> &keepGoing = {}) const
    {
        return VCardExport::write(*m_file, target(), Dates, keepGoing);
    }

    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<ContactFile> m_file;
    std::unique_ptr<QTemporaryDir> m_folder; // where the user keeps the exported file
};

void TestVCardExport::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_file = std::make_unique<ContactFile>(m_desktop->programDir(), m_desktop->attributes);
    m_folder = std::make_unique<QTemporaryDir>();
    writeBytes(m_file->path(),
        cp1252Lines(
            {rec(u"Ruiz"_qs, u"Eva"_qs), rec(u"gomez"_qs, u"Ana"_qs), rec(u"Álvarez"_qs, u"Íñigo"_qs)}));
}

// The list sorts by the keys as the file's reader lists them. A line the program cannot parse goes
// out as far as its fields go, one too long to show goes out whole, and one without any text
// makes no card and is not counted.
void TestVCardExport::cardsInTheListsOrder()
{
    const QString huge = QString(ContactFile::LongestShown + 100, u'z');
    writeBytes(m_file->path(),
        cp1252Lines({rec(u"Ruiz"_qs, u"Eva"_qs), u"Suelto"_qs, QString(FieldCount, Separator),
            rec(u"gomez"_qs, u"Ana"_qs), huge, rec(u"Álvarez"_qs, u"Íñigo"_qs, {{telefono, u"555"_qs}})})
            + "\r\n\r\n");
    const VCardExport::Result exported = exportAll();
    QCOMPARE(exported.outcome, VCardExport::Outcome::Done);
    QCOMPARE(exported.cards, 5);
    const QByteArray bytes = readBytes(target());
    QCOMPARE(namesOf(bytes),
        (QStringList {u"Álvarez;Íñigo;;;"_qs, u"gomez;Ana;;;"_qs, u"Ruiz;Eva;;;"_qs, u"Suelto;;;;"_qs,
            huge + u";;;;"_qs}));
    QVERIFY(bytes.contains("TEL;TYPE=HOME,VOICE:555\r\n"));
}

void TestVCardExport::keepGoingHearsEveryCard()
{
    QList<std::pair<qint64, qint64>> heard;
    const VCardExport::Result exported = exportAll([&](qint64 done, qint64 total) {
        heard.append({done, total});
        return true;
    });
    QCOMPARE(exported.outcome, VCardExport::Outcome::Done);
    QCOMPARE(heard, (QList<std::pair<qint64, qint64>> {{1, 3}, {2, 3}, {3, 3}}));
}

void TestVCardExport::newFileAndReplacedFile_data()
{
    QTest::addColumn<QString>("found"); // what has the chosen name before
    QTest::addColumn<int>("mode");
    QTest::newRow("nothing") << QString() << 0600;
    QTest::newRow("a file of the user's") << u"file"_qs << 0640;
    QTest::newRow("a link to another file") << u"link"_qs << 0600;
    QTest::newRow("a link to nothing") << u"dangling"_qs << 0600;
}

// Whatever the umask: a new file is the owner's alone, a replaced one keeps its mode and
// attributes, and a link is replaced, the file it names never written.
void TestVCardExport::newFileAndReplacedFile()
{
    QFETCH(QString, found);
    QFETCH(int, mode);
    const QString victim = m_folder->filePath(u"tesis.txt"_qs);
    writeBytes(victim, "the user's own work");
    bool attribute = false;
    if (found == u"file") {
        writeBytes(target(), "old cards");
        QVERIFY(::chmod(QFile::encodeName(target()).constData(), 0640) == 0);
        attribute = setUserAttribute(target(), "user.origen", "mía");
    } else if (found == u"link") {
        QVERIFY(makeLink(victim, target()));
    } else if (found == u"dangling") {
        QVERIFY(makeLink(m_folder->filePath(u"gone"_qs), target()));
    }
    const ScopedUmask mask(0);
    QCOMPARE(exportAll().outcome, VCardExport::Outcome::Done);
    QVERIFY(isRegularFile(target()));
    QCOMPARE(modeOf(target()), mode);
    QCOMPARE(namesOf(readBytes(target())).size(), 3);
    QCOMPARE(readBytes(victim), QByteArray("the user's own work"));
    if (attribute)
        QCOMPARE(userAttribute(target(), "user.origen"), QByteArray("mía"));
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::System | QDir::Hidden),
        (QStringList {u"contactos.vcf"_qs, u"tesis.txt"_qs}));
}

// Files of the twin's names that the program did not make are the user's: they stay, and the cards
// go under the next free name.
void TestVCardExport::namesTakenBesideTheTargetStay()
{
    const QString first = target() + u".incompleto"_qs;
    writeBytes(first, "the user's");
    QVERIFY(makeFifo(target() + u".incompleto2"_qs));
    QCOMPARE(exportAll().outcome, VCardExport::Outcome::Done);
    QCOMPARE(readBytes(first), QByteArray("the user's"));
    QCOMPARE(entryOf(target() + u".incompleto2"_qs), QByteArray("<fifo>"));
    QVERIFY(!QFileInfo::exists(target() + u".incompleto3"_qs));
    QCOMPARE(namesOf(readBytes(target())).size(), 3);
}

void TestVCardExport::failureLeavesTheNameAsItWas_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("failure");

    using O = VCardExport::Outcome;
    using F = ContactFile::Failure;
    QTest::newRow("a directory at the name") << u"directory"_qs << int(O::CannotWrite) << int(F::None);
    QTest::newRow("a FIFO at the name") << u"fifo"_qs << int(O::CannotWrite) << int(F::None);
    QTest::newRow("a folder that is gone") << u"gone"_qs << int(O::CannotWrite) << int(F::None);
    QTest::newRow("the disk full halfway") << u"full"_qs << int(O::CannotWrite) << int(F::None);
    QTest::newRow("stopped after the first card") << u"stopped"_qs << int(O::Stopped) << int(F::None);
    QTest::newRow("a FIFO for a contact file")
        << u"contacts fifo"_qs << int(O::CannotRead) << int(F::Unreadable);
    QTest::newRow("contacts beyond the memory") << u"too large"_qs << int(O::CannotRead) << int(F::TooLarge);
}

// What was under the chosen name stays as it was (an earlier export here), and nothing is left
// beside it.
void TestVCardExport::failureLeavesTheNameAsItWas()
{
    QFETCH(QString, fault);
    QFETCH(int, outcome);
    QFETCH(int, failure);
    QString chosen = target();
    if (fault == u"directory")
        QVERIFY(QDir().mkdir(chosen));
    else if (fault == u"fifo")
        QVERIFY(makeFifo(chosen));
    else if (fault == u"gone")
        chosen = m_folder->filePath(u"borrada/contactos.vcf"_qs);
    else
        writeBytes(chosen, "earlier cards");
    // Long enough that the cards take more than the limit.
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << rec(u"Apellido%1"_qs.arg(i), u"Nombre"_qs, {{domicilio, QString(100, u'x')}});
    writeBytes(m_file->path(), cp1252Lines(many));
    if (fault == u"contacts fifo") {
        QFile::remove(m_file->path());
        QVERIFY(makeFifo(m_file->path()));
    } else if (fault == u"too large") {
        ContactFile::setMemoryBudget(readBytes(m_file->path()).size() + 1000);
    }
    Snapshot before;
    addTree(before, m_folder->path());

    VCardExport::Result exported;
    {
        std::optional<FileSizeLimit> full;
        if (fault == u"full") {
            full.emplace(rlim_t(20000));
            QVERIFY(full->ok());
        }
        exported = VCardExport::write(
            *m_file, chosen, Dates, [&](qint64 done, qint64) { return fault != u"stopped" || done < 1; });
    }
    QCOMPARE(int(exported.outcome), outcome);
    QCOMPARE(int(exported.failure), failure);
    QCOMPARE(exported.cards, 0);
    Snapshot after;
    addTree(after, m_folder->path());
    QCOMPARE(after, before);
}

QTEST_GUILESS_MAIN(TestVCardExport)
#include "tst_vcard_export.moc"
