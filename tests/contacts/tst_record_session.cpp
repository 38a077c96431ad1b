// The record state of the main window against real contact files: start, show, the modification
// check, save, add, remove, empty, each with what it leaves in the file, the list and the state.

#include "contact_fixtures.h"
#include "contacts/contact_file.h"
#include "contacts/contact_line_key.h"
#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/record_session.h"
#include "contacts/vcard_import.h"
#include "fake_platform.h"
#include "file_size_limit.h"
#include "hostile_files.h"
#include "platform/twin_writer.h"
#include "platform/windows1252.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

using namespace ContactRecord;

namespace {

const QString Gomez = rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}});
const QString Perez = rec(u"Perez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}});
const QString Ruiz = rec(u"Ruiz"_qs, u"Eva"_qs);

const QString Today = u"15/6/25"_qs;

// New, already in the list (letter case aside), repeated, nameless: every count of the summary.
QByteArray mixedCards()
{
    return cardWithPhoto("Ruiz;Eva;;;") + card("N:gomez;ana;;;\r\n") + card("N:Díaz;Mar;;;\r\nTEL:555\r\n")
        + card("N:DÍAZ;MAR;;;\r\n") + card("NOTE:nadie\r\n");
}

QStringList entries(const ContactListModel &list)
{
    QStringList keys;
    for (int row = 0; row < list.count(); ++row)
        keys << list.keyAt(row);
    return keys;
}

} // namespace

class TestRecordSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void start_data();
    void start();
    void show_data();
    void show();
    void isModified_data();
    void isModified();
    void save_data();
    void save();
    void add_data();
    void add();
    void remove_data();
    void remove();
    void reloadShowsNothing();
    void importCards_data();
    void importCards();
    void importedLongLinesListedAsReadBack();
    void largeImportListedAsReadBack_data();
    void largeImportListedAsReadBack();
    void importKilled_data();
    void importKilled();

private:
    // The file written, the session started on it.
    void startWith(const QStringList &lines)
    {
        writeBytes(m_file->path(), cp1252Lines(lines));
        const RecordSession::Start start = m_session->start();
        QVERIFY(start.ready);
    }
    QByteArray bytes() const { return readBytes(m_file->path()); }
    QString photoDirectory() const { return QDir(m_desktop->programDir()).filePath(u"Fotos"_qs); }
    VCardImportSettings importSettings() const
    {
        return {Today, VCardDates::fromShortFormat(u"d/M/yy"_qs), photoDirectory()};
    }

    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<ContactFile> m_file;
    std::unique_ptr<ContactListModel> m_list;
    std::unique_ptr<RecordSession> m_session;
};

void TestRecordSession::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_file = std::make_unique<ContactFile>(m_desktop->programDir(), m_desktop->attributes);
    m_list = std::make_unique<ContactListModel>();
    m_session = std::make_unique<RecordSession>(*m_file, *m_list);
}

void TestRecordSession::cleanup()
{
    m_session.reset();
    m_list.reset();
    m_file.reset();
    m_desktop.reset();
    ContactFile::setMemoryBudget(0);
}

void TestRecordSession::start_data()
{
    QTest::addColumn<QString>("found"); // what lies in the program directory
    QTest::addColumn<bool>("ready");
    QTest::addColumn<int>("file");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<int>("list");

    using S = ContactFile::Start;
    using F = ContactFile::Failure;
    const QStringList none;
    const QStringList all {u"Gomez Ana "_qs, u"Perez Luis "_qs, u"Ruiz Eva "_qs};
    QTest::newRow("nothing") << u"nothing"_qs << true << int(S::Created) << none << int(F::None);
    QTest::newRow("contacts") << u"contacts"_qs << true << int(S::Found) << all << int(F::None);
    QTest::newRow("a whole twin") << u"whole twin"_qs << true << int(S::TwinAdopted) << all << int(F::None);
    QTest::newRow("a cut twin") << u"cut twin"_qs << true << int(S::TwinKept) << none << int(F::None);
    QTest::newRow("a FIFO") << u"fifo"_qs << false << int(S::Found) << none << int(F::Unreadable);
    QTest::newRow("too large") << u"too large"_qs << true << int(S::Found) << none << int(F::TooLarge);
}

void TestRecordSession::start()
{
    QFETCH(QString, found);
    QFETCH(bool, ready);
    QFETCH(int, file);
    QFETCH(QStringList, listed);
    QFETCH(int, list);
    const QByteArray contacts = cp1252Lines({Ruiz, Gomez, Perez});
    if (found == u"contacts" || found == u"too large")
        writeBytes(m_file->path(), contacts);
    else if (found == u"whole twin")
        writeBytes(m_file->twinPath(), contacts);
    else if (found == u"cut twin")
        writeBytes(m_file->twinPath(), contacts.chopped(3));
    else if (found == u"fifo")
        QVERIFY(makeFifo(m_file->path()));
    if (found == u"too large")
        ContactFile::setMemoryBudget(contacts.size() - 1);
    m_list->setKeys({u"Viejo Resto "_qs}); // whatever the list held goes

    const RecordSession::Start start = m_session->start();
    QCOMPARE(start.ready, ready);
    QCOMPARE(int(start.file), file);
    QCOMPARE(int(start.list), list);
    QCOMPARE(m_session->listFailure(), ContactFile::Failure(list));
    QCOMPARE(entries(*m_list), listed);
    QCOMPARE(m_session->regmostrado(), 0);
    QCOMPARE(m_session->regoriginal(), QString());
    if (found == u"cut twin") {
        QCOMPARE(QFileInfo(start.keptAs).fileName(), u"data.orv2.incompleto"_qs);
        QCOMPARE(readBytes(start.keptAs), contacts.chopped(3));
    }
    if (ready)
        QVERIFY(QFileInfo(m_file->path()).isFile());
}

void TestRecordSession::show_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("line");

    using S = RecordSession::Shown;
    QTest::newRow("a key") << u"Perez Luis "_qs << int(S::Shown) << Perez;
    // The first of the lines with that key, exactly.
    QTest::newRow("the first of equal keys") << u"Gomez Ana "_qs << int(S::Shown) << Gomez;
    QTest::newRow("letter case counts") << u"gomez ana "_qs << int(S::Shown) << rec(u"gomez"_qs, u"ana"_qs);
    QTest::newRow("no such key") << u"Gomez Eva "_qs << int(S::NotFound) << QString();
    QTest::newRow("without the last blank") << u"Perez Luis"_qs << int(S::NotFound) << QString();
    QTest::newRow("a line too long to show")
        << QString(ContactFile::LongestKey, u'x') << int(S::TooLong) << QString();
}

void TestRecordSession::show()
{
    QFETCH(QString, key);
    QFETCH(int, shown);
    QFETCH(QString, line);
    const QString other = rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"50"_qs}});
    const QString huge = QString(ContactFile::LongestShown + 10, u'x');
    startWith({Gomez, Perez, other, rec(u"gomez"_qs, u"ana"_qs), huge});
    // A contact shown and the boxes emptied before: any show ends both.
    QCOMPARE(m_session->show(u"Perez Luis "_qs), RecordSession::Shown::Shown);
    m_session->empty();

    QCOMPARE(int(m_session->show(key)), shown);
    QCOMPARE(m_session->cajasvacias(), 0);
    QCOMPARE(m_session->regmostrado(), shown == int(RecordSession::Shown::Shown) ? 1 : 0);
    QCOMPARE(m_session->regoriginal(), line);
    QCOMPARE(m_session->fields(), fieldsOf(line));
    if (!line.isEmpty())
        QCOMPARE(m_list->keyAt(m_session->shownRow()), key);
    else
        QCOMPARE(m_session->shownRow(), -1);
}

void TestRecordSession::isModified_data()
{
    QTest::addColumn<QString>("step"); // what happens after Gomez is shown
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("modified");

    QTest::newRow("unchanged") << QString() << int(edad) << u"34"_qs << false;
    QTest::newRow("a field changed") << QString() << int(telefono) << u"5"_qs << true;
    QTest::newRow("a blank added") << QString() << int(apellido) << u"Gomez "_qs << true;
    QTest::newRow("letter case") << QString() << int(nombre) << u"ana"_qs << true;
    // Emptied boxes differ from any line: no check until the next contact is shown.
    QTest::newRow("emptied") << u"empty"_qs << int(edad) << QString() << false;
    QTest::newRow("emptied, then left") << u"empty, leave"_qs << int(edad) << QString() << true;
    QTest::newRow("nothing shown") << u"nothing"_qs << int(telefono) << u"5"_qs << false;
}

void TestRecordSession::isModified()
{
    QFETCH(QString, step);
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(bool, modified);
    startWith({Perez, Gomez});
    if (step != u"nothing")
        QCOMPARE(m_session->show(u"Gomez Ana "_qs), RecordSession::Shown::Shown);
    Fields boxes = m_session->fields();
    if (step.startsWith(u"empty")) {
        m_session->empty();
        boxes = Fields();
    }
    if (step.endsWith(u"leave"))
        m_session->leave();
    boxes[field] = text;
    QCOMPARE(m_session->isModified(boxes), modified);
}

void TestRecordSession::save_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("file");
    QTest::addColumn<QStringList>("listed");

    const QString tail = Gomez + u"resto"_qs;
    QTest::newRow("a telephone")
        << int(telefono) << u"999"_qs
        << QStringList {Perez, rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}, {telefono, u"999"_qs}}), Ruiz}
        << QStringList {u"Gomez Ana "_qs, u"Perez Luis "_qs, u"Ruiz Eva "_qs};
    // The stored line's key finds the line: a new surname keeps its place in the file.
    QTest::newRow("a surname") << int(apellido) << u"Álvarez"_qs
                               << QStringList {Perez, rec(u"Álvarez"_qs, u"Ana"_qs, {{edad, u"34"_qs}}), Ruiz}
                               << QStringList {u"Álvarez Ana "_qs, u"Perez Luis "_qs, u"Ruiz Eva "_qs};
    QTest::newRow("a surname another contact has")
        << int(apellido) << u"Perez"_qs
        << QStringList {Perez, rec(u"Perez"_qs, u"Ana"_qs, {{edad, u"34"_qs}}), Ruiz}
        << QStringList {u"Perez Ana "_qs, u"Perez Luis "_qs, u"Ruiz Eva "_qs};
}

void TestRecordSession::save()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QStringList, file);
    QFETCH(QStringList, listed);
    startWith({Perez, Gomez, Ruiz});
    QCOMPARE(m_session->show(u"Gomez Ana "_qs), RecordSession::Shown::Shown);
    Fields boxes = m_session->fields();
    boxes[field] = text;

    // First with a twin that cannot be made: nothing changes, the contact is still the one shown.
    const QByteArray before = bytes();
    QVERIFY(QDir().mkdir(m_file->twinPath()));
    QVERIFY(!m_session->save(boxes));
    QCOMPARE(bytes(), before);
    QCOMPARE(m_session->regmostrado(), 1);
    QCOMPARE(m_session->regoriginal(), Gomez);
    QCOMPARE(m_list->keyAt(m_session->shownRow()), u"Gomez Ana "_qs);
    QVERIFY(m_session->isModified(boxes));

    QVERIFY(QDir().rmdir(m_file->twinPath()));
    QVERIFY(m_session->save(boxes));
    QCOMPARE(bytes(), cp1252Lines(file));
    QCOMPARE(entries(*m_list), listed);
    QCOMPARE(m_session->regmostrado(), 0);
    QCOMPARE(m_session->regoriginal(), QString());
    QCOMPARE(m_session->listFailure(), ContactFile::Failure::None);
    QVERIFY(!m_session->isModified(boxes));
    // Nothing shown, nothing to save.
    QVERIFY(!m_session->save(boxes));
    QCOMPARE(bytes(), cp1252Lines(file));
}

void TestRecordSession::add_data()
{
    QTest::addColumn<QString>("surname");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("capitalize");
    QTest::addColumn<int>("added");
    QTest::addColumn<QString>("stored"); // the new line; empty when nothing is stored

    using A = RecordSession::Added;
    const QMap<int, QString> typed {{domicilio, u"calle mayor 5"_qs}, {nick, QString()}};
    const QMap<int, QString> capital {{domicilio, u"Calle mayor 5"_qs}};
    QTest::newRow("no name") << u"ruiz"_qs << QString() << true << int(A::MissingName) << QString();
    QTest::newRow("no surname") << QString() << u"eva"_qs << true << int(A::MissingName) << QString();
    QTest::newRow("same key, other case")
        << u"gomez"_qs << u"ANA"_qs << true << int(A::Duplicate) << QString();
    // The key joins surname and name with a blank: these words give the key of "De la Cruz Eva".
    QTest::newRow("same key, split elsewhere")
        << u"de la"_qs << u"cruz eva"_qs << false << int(A::Duplicate) << QString();
    QTest::newRow("capitalised") << u"perez"_qs << u"juan"_qs << true << int(A::Done)
                                 << rec(u"Perez"_qs, u"Juan"_qs, capital);
    QTest::newRow("as typed") << u"perez"_qs << u"juan"_qs << false << int(A::Done)
                              << rec(u"perez"_qs, u"juan"_qs, typed);
    // Blanks are text: a surname of blanks is a surname, and a trailing blank another key.
    QTest::newRow("a surname of blanks")
        << u"  "_qs << u"eva"_qs << false << int(A::Done) << rec(u"  "_qs, u"eva"_qs, typed);
    QTest::newRow("a trailing blank")
        << u"Gomez "_qs << u"Ana"_qs << false << int(A::Done) << rec(u"Gomez "_qs, u"Ana"_qs, typed);
}

void TestRecordSession::add()
{
    QFETCH(QString, surname);
    QFETCH(QString, name);
    QFETCH(bool, capitalize);
    QFETCH(int, added);
    QFETCH(QString, stored);
    const QString cruz = rec(u"De la Cruz"_qs, u"Eva"_qs);
    startWith({Gomez, cruz});
    // A contact shown, its boxes typed over: the add makes a new contact of them.
    QCOMPARE(m_session->show(u"Gomez Ana "_qs), RecordSession::Shown::Shown);
    Fields boxes = fieldsOf(rec(surname, name, {{domicilio, u"calle mayor 5"_qs}}));
    int asked = 0;
    const auto capitalizing = [&] {
        ++asked;
        return capitalize;
    };

    QCOMPARE(int(m_session->add(boxes, capitalizing)), added);
    if (stored.isEmpty()) {
        QCOMPARE(asked, 0); // the options are read only for a contact that is stored
        QCOMPARE(bytes(), cp1252Lines({Gomez, cruz}));
        QCOMPARE(entries(*m_list), (QStringList {u"De la Cruz Eva "_qs, u"Gomez Ana "_qs}));
        QCOMPARE(m_session->regmostrado(), 1);
        return;
    }
    QCOMPARE(asked, 1);
    QCOMPARE(bytes(), cp1252Lines({Gomez, cruz, stored}));
    QCOMPARE(m_list->count(), 3);
    QVERIFY(entries(*m_list).contains(keyOf(stored)));
    // The shown contact is untouched, and no longer shown.
    QCOMPARE(m_session->regmostrado(), 0);
    QVERIFY(!m_session->isModified(boxes));
}

void TestRecordSession::remove_data()
{
    QTest::addColumn<QStringList>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QStringList>("listed");

    const QString other = rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"50"_qs}});
    QTest::newRow("one line") << QStringList {Perez, Gomez, Ruiz} << u"Gomez Ana "_qs
                              << QStringList {Perez, Ruiz}
                              << QStringList {u"Perez Luis "_qs, u"Ruiz Eva "_qs};
    // Equal lines (a file edited by hand) all go; a line that only shares the key stays.
    QTest::newRow("equal lines") << QStringList {Gomez, Perez, Gomez, other} << u"Gomez Ana "_qs
                                 << QStringList {Perez, other}
                                 << QStringList {u"Gomez Ana "_qs, u"Perez Luis "_qs};
    QTest::newRow("the last contact")
        << QStringList {Ruiz} << u"Ruiz Eva "_qs << QStringList {} << QStringList {};
}

void TestRecordSession::remove()
{
    QFETCH(QStringList, file);
    QFETCH(QString, key);
    QFETCH(QStringList, left);
    QFETCH(QStringList, listed);
    startWith(file);
    QCOMPARE(m_session->remove(), RecordSession::Removed::NothingShown);
    QCOMPARE(bytes(), cp1252Lines(file));

    QCOMPARE(m_session->show(key), RecordSession::Shown::Shown);
    const QString shown = m_session->regoriginal();
    QVERIFY(QDir().mkdir(m_file->twinPath()));
    QCOMPARE(m_session->remove(), RecordSession::Removed::Failed);
    QCOMPARE(bytes(), cp1252Lines(file));
    QCOMPARE(m_list->count(), file.size());
    QCOMPARE(m_session->regmostrado(), 1);

    QVERIFY(QDir().rmdir(m_file->twinPath()));
    QCOMPARE(m_session->remove(), RecordSession::Removed::Done);
    QCOMPARE(bytes(), cp1252Lines(left));
    QCOMPARE(entries(*m_list), listed);
    QCOMPARE(m_session->regmostrado(), 0);
    // The last contact shown stays the one a later save would look for.
    QCOMPARE(m_session->regoriginal(), shown);
    QCOMPARE(m_session->remove(), RecordSession::Removed::NothingShown);
}

void TestRecordSession::reloadShowsNothing()
{
    startWith({Gomez, Perez});
    QCOMPARE(m_session->show(u"Gomez Ana "_qs), RecordSession::Shown::Shown);
    m_session->empty();
    // A restore put another file in place.
    writeBytes(m_file->path(), cp1252Lines({Ruiz}));
    QCOMPARE(m_session->reload(), ContactFile::Failure::None);
    QCOMPARE(entries(*m_list), QStringList {u"Ruiz Eva "_qs});
    QCOMPARE(m_session->regmostrado(), 0);
    QCOMPARE(m_session->regoriginal(), QString());
    QCOMPARE(m_session->cajasvacias(), 0);
    QCOMPARE(m_session->shownRow(), -1);
}

void TestRecordSession::importCards_data()
{
    QTest::addColumn<QString>("chosen"); // what the chosen file is, or what goes wrong
    QTest::addColumn<int>("outcome");

    using O = RecordSession::Imported::Outcome;
    QTest::newRow("cards") << u"cards"_qs << int(O::Done);
    QTest::newRow("only cards of the list") << u"known"_qs << int(O::Done);
    QTest::newRow("no card") << u"no card"_qs << int(O::NoCard);
    QTest::newRow("a FIFO") << u"fifo"_qs << int(O::CannotRead);
    QTest::newRow("a directory") << u"directory"_qs << int(O::CannotRead);
    QTest::newRow("missing") << u"missing"_qs << int(O::CannotRead);
    QTest::newRow("stopped halfway") << u"stopped"_qs << int(O::Stopped);
    QTest::newRow("a directory in the twin's place") << u"twin"_qs << int(O::Failed);
    QTest::newRow("the disk full") << u"full"_qs << int(O::Failed);
}

// The file takes every new card in one step or none; the list follows it; the contact shown
// stays shown; nothing that fails leaves a picture behind.
void TestRecordSession::importCards()
{
    QFETCH(QString, chosen);
    QFETCH(int, outcome);
    startWith({Perez, Gomez});
    QCOMPARE(m_session->show(u"Gomez Ana "_qs), RecordSession::Shown::Shown);
    QTemporaryDir cards;
    const QString path = cards.filePath(u"tarjetas.vcf"_qs);
    const QByteArray mixed = mixedCards();
    if (chosen == u"known")
        writeBytes(path, card("N:Perez;Luis;;;\r\n") + card("N:GOMEZ;Ana;;;\r\n"));
    else if (chosen == u"no card")
        writeBytes(path, "BEGIN:VCARD\r\nNOTE:sin final\r\nEND:VCAR");
    else if (chosen == u"fifo")
        QVERIFY(makeFifo(path));
    else if (chosen == u"directory")
        QVERIFY(QDir().mkdir(path));
    else if (chosen != u"missing")
        writeBytes(path, mixed);
    if (chosen == u"twin")
        QVERIFY(QDir().mkdir(m_file->twinPath()));
    const QByteArray before = bytes();

    qint64 lastDone = -1;
    qint64 seenTotal = -1;
    bool withinFile = true;
    const auto keepGoing = [&](qint64 done, qint64 total) {
        withinFile = withinFile && done >= 0 && done <= total;
        lastDone = done;
        seenTotal = total;
        return chosen != u"stopped" || done < mixed.size() / 2;
    };
    RecordSession::Imported imported;
    {
        std::optional<FileSizeLimit> full;
        if (chosen == u"full")
            full.emplace(rlim_t(before.size() + 20));
        imported = m_session->importCards(path, importSettings(), keepGoing);
    }
    QCOMPARE(int(imported.outcome), outcome);
    QVERIFY(withinFile);
    QCOMPARE(m_session->regmostrado(), 1);
    QCOMPARE(m_session->regoriginal(), Gomez);
    QCOMPARE(m_list->keyAt(m_session->shownRow()), u"Gomez Ana "_qs);

    if (chosen == u"known") {
        QCOMPARE(bytes(), before);
        QCOMPARE(imported.added, 0);
        QCOMPARE(imported.summary,
            (QStringList {u"No se importó ningún contacto."_qs,
                u"2 contactos ya estaban en la lista y no se importaron."_qs}));
        return;
    }
    if (chosen != u"cards") {
        QCOMPARE(bytes(), before);
        QCOMPARE(entries(*m_list), (QStringList {u"Gomez Ana "_qs, u"Perez Luis "_qs}));
        QVERIFY(!QFileInfo::exists(photoDirectory()));
        QVERIFY(imported.summary.isEmpty());
        if (chosen == u"stopped" || chosen == u"full")
            QCOMPARE(seenTotal, mixed.size());
        return;
    }
    QCOMPARE(imported.added, 2);
    QCOMPARE(imported.summary,
        (QStringList {u"Se importaron 2 contactos."_qs,
            u"1 contacto ya estaba en la lista y no se importó."_qs,
            u"1 tarjeta repetía un contacto anterior del mismo archivo y no se importó."_qs,
            u"1 tarjeta no se pudo leer."_qs}));
    QCOMPARE(lastDone, mixed.size());
    const QList<QByteArray> lines = bytes().split('\n');
    QCOMPARE(lines.size(), 5); // four lines and what follows the last line end
    QCOMPARE(bytes().left(before.size()), before);
    const Fields ruiz = fieldsOf(Windows1252::decode(lines[2].chopped(1)));
    QCOMPARE(ruiz[apellido], u"Ruiz"_qs);
    QCOMPARE(ruiz[fechaalta], Today);
    QVERIFY(ruiz[ubicacionfoto].startsWith(photoDirectory() + u'/'));
    QCOMPARE(QImage(ruiz[ubicacionfoto]).size(), QSize(8, 8));
    QCOMPARE(Windows1252::decode(lines[3].chopped(1)),
        rec(u"Díaz"_qs, u"Mar"_qs, {{telefono, u"555"_qs}, {fechaalta, Today}}));
    // The new entries at their places, as a list read from the file has them.
    QCOMPARE(entries(*m_list),
        (QStringList {u"Díaz Mar "_qs, u"Gomez Ana "_qs, u"Perez Luis "_qs, u"Ruiz Eva "_qs}));
    ContactListModel reread;
    reread.setKeys(*m_file->readKeys());
    QCOMPARE(entries(reread), entries(*m_list));
}

// A line too long to show is listed under its key cut, in the list the import fills as in one
// read from the file; the lines around it keep their whole keys.
void TestRecordSession::importedLongLinesListedAsReadBack()
{
    startWith({Perez});
    QTemporaryDir cards;
    const QString path = cards.filePath(u"tarjetas.vcf"_qs);
    const QByteArray surname(int(ContactFile::LongestKey) + 500, 'L');
    const QByteArray street(int(ContactFile::LongestShown), 'x');
    writeBytes(path,
        card("N:Antes;Eva;;;\r\n") + card("N:" + surname + ";Ana;;;\r\nADR:;;" + street + ";;;;\r\n")
            + card("N:" + surname + ";Bea;;;\r\n") + card("N:Zapata;Luz;;;\r\n"));

    const RecordSession::Imported imported = m_session->importCards(path, importSettings());
    QCOMPARE(int(imported.outcome), int(RecordSession::Imported::Outcome::Done));
    QCOMPARE(imported.added, 4);
    ContactListModel reread;
    reread.setKeys(*m_file->readKeys());
    QCOMPARE(entries(*m_list), entries(reread));
    const QString cut = QString::fromLatin1(surname).left(ContactFile::LongestKey);
    QCOMPARE(entries(*m_list).count(cut), 1);
    QVERIFY(entries(*m_list).contains(QString::fromLatin1(surname) + u" Bea "_qs));
    QVERIFY(entries(*m_list).contains(u"Zapata Luz "_qs));
}

void TestRecordSession::largeImportListedAsReadBack_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<int>("readers");
    QTest::newRow("written") << false << 1;
    QTest::newRow("the disk full") << true << 1;
    QTest::newRow("read in parts, written in pieces") << false << 2;
    QTest::newRow("read in parts, the disk full") << true << 2;
}

// An import of thousands of cards, whose keys are put in order while the file is written: the
// list is the one a read of the file gives, or the one before when the file could not take them.
// Read in parts, the lines are written in the pieces the parts were read into.
void TestRecordSession::largeImportListedAsReadBack()
{
    QFETCH(bool, diskFull);
    QFETCH(int, readers);
    startWith({Perez, Gomez});
    QTemporaryDir cards;
    const QString path = cards.filePath(u"tarjetas.vcf"_qs);
    QByteArray file;
    constexpr int Count = 6000;
    for (int i = 0; i < Count; ++i) {
        // Out of order, letter case and accents mixed, some equal to the list's but for case.
        const int n = i * 7919 % Count;
        const QByteArray surname = n % 3 == 0 ? "gómez" : n % 3 == 1 ? "GOMEZ" : "Perez";
        file += card("N:" + surname + " " + QByteArray::number(n % 1000) + ";Ana " + QByteArray::number(n)
            + ";;;\r\n");
    }
    writeBytes(path, file);
    const QByteArray before = bytes();
    const QStringList listed = entries(*m_list);

    VCardImport::setParts(readers, file.size() / 20);
    const auto machineParts = qScopeGuard([] { VCardImport::setParts(0, 0); });
    RecordSession::Imported imported;
    {
        std::optional<FileSizeLimit> full;
        if (diskFull)
            full.emplace(rlim_t(before.size() + 4096));
        imported = m_session->importCards(path, importSettings());
    }
    if (diskFull) {
        QCOMPARE(int(imported.outcome), int(RecordSession::Imported::Outcome::Failed));
        QCOMPARE(bytes(), before);
        QCOMPARE(entries(*m_list), listed);
        return;
    }
    QCOMPARE(int(imported.outcome), int(RecordSession::Imported::Outcome::Done));
    QCOMPARE(imported.added, Count);
    ContactListModel reread;
    reread.setKeys(*m_file->readKeys());
    QCOMPARE(entries(*m_list), entries(reread));
    QList<QByteArray> added = bytes().sliced(before.size()).split('\n');
    QCOMPARE(added.takeLast(), QByteArray());
    QCOMPARE(added.size(), Count);
    for (const QByteArray &line : std::as_const(added)) {
        QVERIFY(line.endsWith('\r'));
        QCOMPARE(line.count(ContactLineKey::SeparatorByte), 18);
    }
}

void TestRecordSession::importKilled_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("done"); // just after the step, not before it
    QTest::addColumn<bool>("added");

    using S = TwinWriter::Step;
    QTest::newRow("before the first write") << int(S::Write) << false << false;
    QTest::newRow("before the flush") << int(S::Sync) << false << false;
    QTest::newRow("before the rename") << int(S::Rename) << false << false;
    QTest::newRow("after the rename") << int(S::Rename) << true << true;
}

namespace {
TwinWriter::Step killStep;
bool killDone;
} // namespace

// The program killed in the middle of an import: the contact file holds its old lines byte for
// byte, or every new one once the rename is done.
void TestRecordSession::importKilled()
{
    QFETCH(int, step);
    QFETCH(bool, done);
    QFETCH(bool, added);
    startWith({Perez, Gomez});
    QTemporaryDir cards;
    const QString path = cards.filePath(u"tarjetas.vcf"_qs);
    writeBytes(path, mixedCards());
    const QByteArray before = bytes();

    killStep = TwinWriter::Step(step);
    killDone = done;
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        TwinWriter::setStepObserver([](TwinWriter::Step at, bool after) {
            if (at == killStep && after == killDone)
                ::_exit(0);
        });
        static_cast<void>(m_session->importCards(path, importSettings()));
        ::_exit(1); // the step was never reached
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);

    if (!added) {
        QCOMPARE(bytes(), before);
        return;
    }
    QVERIFY(bytes().startsWith(before));
    QCOMPARE(bytes().count("\r\n"), 4);
}

QTEST_GUILESS_MAIN(TestRecordSession)
#include "tst_record_session.moc"
