// What a user, another program or another user may leave where the program finds its files: a FIFO,
// a link to a device or to another file of the user, a sparse giant, a line of megabytes, a
// half-written twin, a folder that takes no file, a umask of 0000. Each case drives the windows'
// own handlers and asserts that they end (a watchdog releases and fails any that blocks), take the
// failure path they have for an unreadable or unwritable file with every file as it was, or,
// where a link stood in a twin's place, succeed without writing a byte into the file it named.

#include "app/frm_organizador.h"
#include "app/frm_welcome.h"
#include "handler_cases.h"
#include "hostile_files.h"
#include "password/frm_contra_pri.h"
#include "password/frm_olvidoc.h"
#include "platform/qt_platform.h"
#include "platform/windows1252.h"
#include "watchdog.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/mount.h>

using namespace HandlerCases;
using namespace std::chrono_literals;

namespace {

// How long a handler may take before the watchdog calls it blocked: a second, or ten where it
// copies and flushes tens of megabytes. Sanitized builds run several times slower.
#ifdef ORVALIA_SLOW_BUILD
constexpr int Slowdown = 10;
#else
constexpr int Slowdown = 1;
#endif
constexpr std::chrono::milliseconds HandlerLimit = 1000ms * Slowdown;
constexpr std::chrono::milliseconds BulkLimit = 10000ms * Slowdown;
// A handler that derives keys from the password or the answer works for a fraction of a second
// each time on purpose: no sign of a block.
constexpr std::chrono::milliseconds DerivingLimit = 10000ms;

std::chrono::milliseconds limitOf(const Handler &h)
{
    return h.derivesKeys ? HandlerLimit + DerivingLimit : HandlerLimit;
}

const QString TwinKeptText
    = u"No se encontró el archivo de contactos (data.orv), pero sí una copia incompleta de "
      u"un cambio que no terminó (data.orv2). Se guardó sin cambios como %1 y se empezó "
      u"una lista vacía."_qs;
const QString TooLargeText
    = u"El archivo de contactos (data.orv) es demasiado grande para la memoria de esta "
      u"computadora. No se abrió ni se modificó."_qs;
const QString LineTooLongText
    = u"Este contacto ocupa más de 64 KB y no se puede mostrar. Se conserva sin cambios "
      u"en el archivo de datos."_qs;
const QString AddFailedText = u"No se pudo agregar el registro. El archivo de datos no fue modificado."_qs;

const QByteArray VictimBytes = QByteArrayLiteral("Tesis doctoral, capítulo 3: no tocar.\r\n");

QStringList shownTexts(const FakeMessageBoxes &messages, qsizetype from = 0)
{
    QStringList texts;
    for (const FakeMessageBoxes::Shown &box : messages.shown.mid(from))
        texts << box.text;
    return texts;
}

// Puts a hostile thing at path: a FIFO, or a link to /dev/zero or to the victim.
void plant(const QString &kind, const QString &path, const QString &victim = {})
{
    QFile::remove(path);
    if (kind == u"FIFO")
        QVERIFY(makeFifo(path));
    else if (kind == u"/dev/zero")
        QVERIFY(makeLink(u"/dev/zero"_qs, path));
    else
        QVERIFY(makeLink(victim, path));
}

// The files of a program directory for the main window's start.
void writeStartFiles(MainWindowFixture &f)
{
    f.writeContacts({Gomez, Perez});
    f.writeOptions(optionLines());
}

// A small file system of its own, for a folder that takes no new file.
class SmallFileSystem
{
public:
    explicit SmallFileSystem(const char *options, unsigned long flags = 0)
    {
        if (::geteuid() == 0)
            m_mounted
                = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", flags, options) == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace

class TestHostileFiles : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void startUpWithHostileFiles_data();
    void startUpWithHostileFiles();
    void handlerAgainstHostileFile_data();
    void handlerAgainstHostileFile();
    void sparseGiantContactFile_data();
    void sparseGiantContactFile();
    void contactLineOfMegabytes_data();
    void contactLineOfMegabytes();
    void hugeOptionsFileThenATick();
    void backupDateOfMegabytes();
    void passwordQuestionOfMegabytes();
    void loginAgainstHostilePasswordFile_data();
    void loginAgainstHostilePasswordFile();
    void handlerAgainstLinkedTwin_data();
    void handlerAgainstLinkedTwin();
    void firstStartWithALinkedOptionsTemporary();
    void halfWrittenTwinAtStart_data();
    void halfWrittenTwinAtStart();
    void folderThatTakesNoLock_data();
    void folderThatTakesNoLock();
    void umaskOfZero();
    void rewriteKeepsModeAndAttributes_data();
    void rewriteKeepsModeAndAttributes();
};

void TestHostileFiles::cleanup()
{
    ContactFile::setMemoryBudget(0);
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (!widget->parentWidget())
            delete widget;
    }
}

// data.orv or Agenda.opt a FIFO or a link to /dev/zero: the start-up goes through the welcome window
// and the dispatcher to a main window that answers, with the fallbacks of an unreadable file.
void TestHostileFiles::startUpWithHostileFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    for (const QString &file : {u"Agenda.opt"_qs, u"data.orv"_qs}) {
        for (const QString &kind : {u"FIFO"_qs, u"/dev/zero"_qs})
            QTest::addRow(
                "%s is a %s", qPrintable(file), qPrintable(kind == u"FIFO" ? kind : u"link to "_qs + kind))
                << file << kind;
    }
}

void TestHostileFiles::startUpWithHostileFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, kind);
    MainWindowFixture f;
    writeStartFiles(f);
    plant(kind, f.desk.programFile(file));
    Snapshot before;
    addTree(before, f.desk.programDir());

    Watchdog watchdog({f.desk.programDir()}, HandlerLimit);
    auto *welcome = new FrmWelcome(f.desk.platform);
    welcome->show();
    welcome->Timer1_Timer();
    FrmPrincipal *main = openWindow<FrmPrincipal>();
    QVERIFY(main);
    // The window answers: typing and adding a contact.
    auto *surname = main->findChild<QLineEdit *>(u"txt_0"_qs);
    auto *name = main->findChild<QLineEdit *>(u"txt_1"_qs);
    surname->setText(u"Nuevo"_qs);
    name->setText(u"Luis"_qs);
    if (file == u"data.orv")
        f.desk.messages.queueAnswer(Answer::Ok); // the add cannot be stored
    press(main, "Command1");
    QVERIFY2(!watchdog.stop(), "the start-up or the first click blocked");

    Snapshot now;
    addTree(now, f.desk.programDir());
    if (file == u"data.orv") {
        // Nothing to list and nothing to add to: the contact stays typed, and the user is told.
        QCOMPARE(main->findChild<QListView *>(u"List1"_qs)->model()->rowCount(), 0);
        QCOMPARE(shownTexts(f.desk.messages), QStringList {AddFailedText});
        QCOMPARE(surname->text(), u"Nuevo"_qs);
        QCOMPARE(now, before);
    } else {
        // Sounds, confirmations and capitalisation take their fallbacks; the contacts are as ever.
        QCOMPARE(f.desk.sound.played.first(), u"Start.WAV"_qs);
        QCOMPARE(shownTexts(f.desk.messages), QStringList());
        QCOMPARE(now.value(u"Agenda.opt"_qs), before.value(u"Agenda.opt"_qs));
        QVERIFY(Windows1252::decode(readBytes(f.dataPath())).contains(u"Nuevo\u00E3Luis"_qs));
    }
    delete main;
}

// Each writing handler with a FIFO, or a link to /dev/zero, in place of each file it reads or
// writes through: the failure path it has for an unreadable or unwritable file, with every file as
// it was. A link in a twin's place is no failure: it goes, see handlerAgainstLinkedTwin.
void TestHostileFiles::handlerAgainstHostileFile_data()
{
    QTest::addColumn<int>("handler");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("kind");
    const QList<Handler> all = handlers();
    for (int i = 0; i < all.size(); ++i) {
        const Handler &h = all[i];
        QStringList paths = h.twins;
        if (!h.needed.isEmpty())
            paths << h.needed;
        if (!paths.contains(h.target))
            paths << h.target;
        // The restore reads data.bak, the backup replaces it: both meet a FIFO there.
        for (const QString &path : std::as_const(paths)) {
            QTest::addRow("%s: %s is a FIFO", h.name, qPrintable(path)) << i << path << u"FIFO"_qs;
            if (!h.twins.contains(path) && path == h.needed)
                QTest::addRow("%s: %s is a link to /dev/zero", h.name, qPrintable(path))
                    << i << path << u"/dev/zero"_qs;
        }
    }
}

void TestHostileFiles::handlerAgainstHostileFile()
{
    QFETCH(int, handler);
    QFETCH(QString, path);
    QFETCH(QString, kind);
    const Handler h = handlers().at(handler);
    Case c;
    h.setUp(c);
    if (QTest::currentTestFailed())
        return;
    plant(kind, c.file(path));
    const Snapshot before = snapshot(c.f.desk);
    const QStringList entered = h.entered(c);
    const qsizetype earlier = c.f.desk.messages.shown.size();
    const int descriptors = openDescriptors();

    Watchdog watchdog({c.f.desk.programDir(), c.f.desk.passwordDir()}, limitOf(h));
    h.click(c);
    QVERIFY2(!watchdog.stop(), "the handler blocked");
    QCOMPARE(openDescriptors(), descriptors);

    const QStringList changed = differences(snapshot(c.f.desk), before);
    QVERIFY2(changed.isEmpty(), qPrintable(u"not as before: "_qs + changed.join(u", ")));
    QStringList errors;
    for (const FakeMessageBoxes::Shown &box : c.f.desk.messages.shown.mid(earlier)) {
        if (box.title == u"Error")
            errors << box.text;
    }
    QVERIFY2(errors.size() == 1 && h.failures.contains(errors.first()),
        qPrintable(shownTexts(c.f.desk.messages, earlier).join(u" / ")));
    if (!h.endsProgram) {
        QVERIFY(c.window && c.window->isVisible());
        QCOMPARE(h.entered(c), entered);
    }
}

// A sparse file of 2 GB (one contact, then NULs): listed as one long line within the memory it
// needs, or refused with a message when it is larger than the memory budget.
void TestHostileFiles::sparseGiantContactFile_data()
{
    QTest::addColumn<qint64>("budget");
    QTest::newRow("the memory holds it") << qint64(4) * 1024 * 1024 * 1024;
    QTest::newRow("larger than the memory budget") << qint64(1024) * 1024 * 1024;
}

void TestHostileFiles::sparseGiantContactFile()
{
    QFETCH(qint64, budget);
    constexpr qint64 Size = qint64(2) * 1024 * 1024 * 1024;
    MainWindowFixture f;
    f.writeOptions(optionLines());
    writeBytes(f.dataPath(), cp1252Lines({Gomez}));
    QVERIFY(::truncate(QFile::encodeName(f.dataPath()).constData(), Size) == 0);
    ContactFile::setMemoryBudget(budget);
    const bool fits = budget > Size;

    const PeakMemory memory;
    f.desk.messages.queueAnswer(Answer::Ok); // too large, or a line too long to show
    Watchdog watchdog({f.desk.programDir()}, HandlerLimit * (fits ? 2 : 1));
    f.open();
    if (fits)
        f.clickEntry(QString(ContactFile::LongestKey, QChar(0)));
    QVERIFY2(!watchdog.stop(), "loading the giant took too long");
    QVERIFY2(memory.growth() < 256 * 1024 * 1024, "the giant file was held in memory");

    if (fits) {
        QStringList entries = f.entries();
        entries.sort();
        QCOMPARE(entries, (QStringList {QString(ContactFile::LongestKey, QChar(0)), u"Gomez Ana "_qs}));
        QCOMPARE(shownTexts(f.desk.messages), QStringList {LineTooLongText});
        QVERIFY(f.boxesEmpty());
    } else {
        QCOMPARE(f.entries(), QStringList());
        QCOMPARE(shownTexts(f.desk.messages), QStringList {TooLargeText});
    }
    QCOMPARE(QFileInfo(f.dataPath()).size(), Size);
}

// A line of 10 or 50 MB: listed at once under its cut key, never laid out in the boxes, and copied
// byte for byte by the next change.
void TestHostileFiles::contactLineOfMegabytes_data()
{
    QTest::addColumn<int>("megabytes");
    QTest::newRow("10 MB") << 10;
    QTest::newRow("50 MB") << 50;
}

void TestHostileFiles::contactLineOfMegabytes()
{
    QFETCH(int, megabytes);
    MainWindowFixture f;
    f.writeOptions(optionLines());
    const QByteArray huge(megabytes * 1024 * 1024, 'x');
    const QByteArray before
        = Windows1252::encode(Gomez) + "\r\n" + huge + "\r\n" + Windows1252::encode(Perez) + "\r\n";
    writeBytes(f.dataPath(), before);

    const PeakMemory memory;
    Watchdog watchdog({f.desk.programDir()}, megabytes > 10 ? BulkLimit : HandlerLimit);
    f.open();
    f.desk.messages.queueAnswer(Answer::Ok); // a line too long to show
    f.clickEntry(QString(ContactFile::LongestKey, u'x'));
    f.retype(apellido, u"Ruiz"_qs);
    f.retype(nombre, u"Eva"_qs);
    f.click("Command1");
    QVERIFY2(!watchdog.stop(), "the window did not answer in time");
    QVERIFY2(memory.growth() < 64 * 1024 * 1024, "the long line was held in memory");

    QCOMPARE(f.entries(),
        (QStringList {
            u"Gomez Ana "_qs, u"Perez Luis "_qs, u"Ruiz Eva "_qs, QString(ContactFile::LongestKey, u'x')}));
    QCOMPARE(shownTexts(f.desk.messages), QStringList {LineTooLongText});
    QCOMPARE(f.window->regmostrado(), 0);
    QVERIFY(readBytes(f.dataPath()) == before + Windows1252::encode(rec(u"Ruiz"_qs, u"Eva"_qs)) + "\r\n");
}

// An options file of 100 MB, then a tick: the window reads the eight lines it needs, and the line
// update streams the rest into the working copy.
void TestHostileFiles::hugeOptionsFileThenATick()
{
    Case c;
    const QByteArray huge(100 * 1024 * 1024, '9');
    const QString options = c.f.desk.programFile(u"Agenda.opt"_qs);
    const QByteArray eight = readBytes(options);
    writeBytes(options, eight + huge + "\r\n");
    const QString hugeEntry = entryOf(options);

    const PeakMemory memory;
    Watchdog watchdog({c.f.desk.programDir()}, BulkLimit);
    openOptions(c);
    tick(c.window, "Check1");
    QVERIFY2(!watchdog.stop(), "the tick did not end in time");
    QVERIFY2(memory.growth() < 64 * 1024 * 1024, "the options file was held in memory");

    QCOMPARE(shownTexts(c.f.desk.messages), QStringList());
    QCOMPARE(entryOf(options), hugeEntry);
    // The working copy as a snapshot records a large file: its size and digest.
    const QByteArray expected = "0" + eight.sliced(1) + huge + "\r\n";
    QCOMPARE(entryOf(c.f.desk.programFile(u"Agenda.opt2"_qs)),
        "<" + QByteArray::number(expected.size()) + " bytes, "
            + QCryptographicHash::hash(expected, QCryptographicHash::Sha256).toHex() + '>');
}

// A backup date of 8 MB in the options file: the options window opens at once and shows the start
// of it; the line itself stays as it is until a backup replaces it.
void TestHostileFiles::backupDateOfMegabytes()
{
    Case c;
    const QString options = c.f.desk.programFile(u"Agenda.opt"_qs);
    const QByteArray date(8 * 1024 * 1024, '7');
    writeBytes(options, "1\r\n1\r\n" + date + "\r\n1\r\n0\r\n0\r\n0\r\n1\r\n");
    Watchdog watchdog({c.f.desk.programDir()}, HandlerLimit);
    openOptions(c);
    QVERIFY2(!watchdog.stop(), "the options window did not open in time");
    const QString shown = control<QLabel>(c.window, "Label1")->text();
    QVERIFY(shown.startsWith(u"Último backup hecho el día: 777"_qs));
    QVERIFY(shown.size() < 1000);
    press(c.window, "cmdacept");
    QVERIFY(readBytes(options).contains(date));
}

// A secret question of 16 MB: the forgotten-password window opens at once with the start of it,
// and the answer is still compared in full.
void TestHostileFiles::passwordQuestionOfMegabytes()
{
    TestPlatform desk;
    const QByteArray question(16 * 1024 * 1024, 'q');
    writeBytes(desk.passwordFile(u"orvpw.ntd"_qs), "clave\r\n" + question + "\r\nrespuesta\r\n");
    Watchdog watchdog({desk.passwordDir()}, HandlerLimit);
    auto *window = new FrmOlvidoc(desk.platform, nullptr);
    window->show();
    QCoreApplication::processEvents();
    QVERIFY2(!watchdog.stop(), "the window did not open in time");
    QVERIFY(control<QLabel>(window, "lblpreg")->text().startsWith(u"qqq"_qs));
    typeInto(control<QLineEdit>(window, "txtresp"), u"respuesta"_qs);
    desk.messages.queueAnswer(Answer::Ok);
    press(window, "cmdresp");
    QCOMPARE(desk.messages.shown.last().text, u"Su contraseña es : clave"_qs);
}

// What the login and the forgotten-password window find in the password file's place: a FIFO or
// a link to /dev/zero is unreadable, and so is a sparse giant; an old file of three short lines
// followed by a sparse giant is read up to its third line, and the right password converts it.
void TestHostileFiles::loginAgainstHostilePasswordFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("readable");
    QTest::newRow("a FIFO") << u"FIFO"_qs << false;
    QTest::newRow("a link to /dev/zero") << u"/dev/zero"_qs << false;
    QTest::newRow("a sparse giant") << u"sparse"_qs << false;
    QTest::newRow("an old file, then a sparse giant") << u"old and sparse"_qs << true;
}

void TestHostileFiles::loginAgainstHostilePasswordFile()
{
    QFETCH(QString, kind);
    QFETCH(bool, readable);
    TestPlatform desk;
    writeBytes(desk.programFile(u"Agenda.opt"_qs), cp1252Lines(optionLines()));
    const QString path = desk.passwordFile(u"orvpw.ntd"_qs);
    if (kind == u"sparse") {
        QVERIFY(makeSparse(path, TextFile::MostBytes + 1));
    } else if (kind == u"old and sparse") {
        writeBytes(path,
            "clave\r\n\xBF"
            "Color?\r\nazul\r\n");
        QVERIFY(::truncate(QFile::encodeName(path).constData(), 4 * TextFile::MostBytes) == 0);
    } else {
        plant(kind, path);
    }
    const QByteArray before = readable ? QByteArray() : entryOf(path);

    Watchdog watchdog({desk.passwordDir()}, HandlerLimit + DerivingLimit);
    FrmContraPri *login = showLogin(desk.platform);
    press(login, "cmdolcont");
    auto *forgotten = openWindow<FrmOlvidoc>();
    QVERIFY(forgotten);
    const QString question = control<QLabel>(forgotten, "lblpreg")->text();
    typeInto(control<QLineEdit>(forgotten, "txtresp"), u"azul"_qs);
    desk.messages.queueAnswer(Answer::Ok); // the password told, or the file unreadable
    press(forgotten, "cmdresp");
    press(forgotten, "cmdsalir");
    typeInto(control<QLineEdit>(login, "txtcontra"), u"clave"_qs);
    if (!readable)
        desk.messages.queueAnswer(Answer::Ok); // the file unreadable at the login too
    press(login, "cmdaccept");
    QVERIFY2(!watchdog.stop(), "the login blocked");

    if (readable) {
        QCOMPARE(question, u"¿Color?"_qs);
        QCOMPARE(shownTexts(desk.messages), QStringList {u"Su contraseña es : clave"_qs});
        QVERIFY(openWindow<FrmPrincipal>());
        // Rewritten in the new form at the recovery: a small file of the program's own.
        QVERIFY(QFileInfo(path).size() < 4096);
        QVERIFY(!readBytes(path).contains("clave"));
    } else {
        QCOMPARE(question, QString());
        QCOMPARE(shownTexts(desk.messages),
            (QStringList {FrmOlvidoc::unreadableFileText(), FrmContraPri::unreadableFileText()}));
        QVERIFY(!openWindow<FrmPrincipal>());
        QCOMPARE(entryOf(path), before);
    }
    // The windows go before their desktop.
    QList<QPointer<QWidget>> windows;
    for (QWidget *widget : QApplication::topLevelWidgets())
        windows << widget;
    for (const QPointer<QWidget> &window : std::as_const(windows))
        delete window.data();
}

// A link to another file of the user in a twin's place: the handler does what it does undisturbed,
// the link goes, and the file it named stays byte for byte.
void TestHostileFiles::handlerAgainstLinkedTwin_data()
{
    QTest::addColumn<int>("handler");
    QTest::addColumn<QString>("twin");
    const QList<Handler> all = handlers();
    for (int i = 0; i < all.size(); ++i) {
        for (const QString &twin : all[i].twins)
            QTest::addRow("%s: %s links to another file", all[i].name, qPrintable(twin)) << i << twin;
    }
}

void TestHostileFiles::handlerAgainstLinkedTwin()
{
    QFETCH(int, handler);
    QFETCH(QString, twin);
    const Handler h = handlers().at(handler);
    Snapshot undisturbed;
    {
        Case c;
        h.setUp(c);
        if (QTest::currentTestFailed())
            return;
        h.click(c);
        undisturbed = snapshot(c.f.desk);
    }

    Case c;
    h.setUp(c);
    if (QTest::currentTestFailed())
        return;
    // The victim lives outside both directories, where the user keeps it.
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(u"tesis.txt"_qs);
    writeBytes(victim, VictimBytes);
    plant(u"link"_qs, c.file(twin), victim);
    const qsizetype earlier = c.f.desk.messages.shown.size();

    Watchdog watchdog({c.f.desk.programDir(), c.f.desk.passwordDir()}, limitOf(h));
    h.click(c);
    QVERIFY2(!watchdog.stop(), "the handler blocked");

    QCOMPARE(readBytes(victim), VictimBytes);
    const QStringList changed = differences(snapshot(c.f.desk), undisturbed);
    QVERIFY2(changed.isEmpty(), qPrintable(u"not as after an undisturbed click: "_qs + changed.join(u", ")));
    QVERIFY(isRegularFile(c.file(h.target)));
    for (const FakeMessageBoxes::Shown &box : c.f.desk.messages.shown.mid(earlier))
        QVERIFY2(box.title != u"Error", qPrintable(box.text));
}

// Agenda.opt3 a link at the very first start: the defaults are written without a click, into a
// new Agenda.opt of the program's own.
void TestHostileFiles::firstStartWithALinkedOptionsTemporary()
{
    MainWindowFixture f;
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(u"tesis.txt"_qs);
    writeBytes(victim, VictimBytes);
    QVERIFY(makeLink(victim, f.desk.programFile(u"Agenda.opt3"_qs)));
    Watchdog watchdog({f.desk.programDir()}, HandlerLimit);
    f.open();
    QVERIFY(!watchdog.stop());
    QCOMPARE(readBytes(victim), VictimBytes);
    QVERIFY(isRegularFile(f.desk.programFile(u"Agenda.opt"_qs)));
    QCOMPARE(readBytes(f.desk.programFile(u"Agenda.opt"_qs)),
        QByteArray("1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n"));
    QVERIFY(!QFileInfo::exists(f.desk.programFile(u"Agenda.opt3"_qs))
        && !isLink(f.desk.programFile(u"Agenda.opt3"_qs)));
}

// data.orv missing beside a twin: a whole twin is the contact file; one cut in a line is kept under
// another name, the user is told, and the list starts empty.
void TestHostileFiles::halfWrittenTwinAtStart_data()
{
    QTest::addColumn<bool>("whole");
    QTest::newRow("cut in its last line") << false;
    QTest::newRow("whole") << true;
}

void TestHostileFiles::halfWrittenTwinAtStart()
{
    QFETCH(bool, whole);
    MainWindowFixture f;
    f.writeOptions(optionLines());
    const QByteArray contacts = cp1252Lines({Gomez, Perez, Ruiz});
    const QByteArray twin = whole ? contacts : contacts.chopped(40);
    writeBytes(f.twinPath(), twin);

    if (!whole)
        f.desk.messages.queueAnswer(Answer::Ok); // the cut twin kept aside
    Watchdog watchdog({f.desk.programDir()}, HandlerLimit);
    f.open();
    QVERIFY(!watchdog.stop());
    QVERIFY(!QFileInfo::exists(f.twinPath()));
    if (whole) {
        QCOMPARE(f.entries(), (QStringList {u"Gomez Ana "_qs, u"Perez Luis "_qs, u"Ruiz Eva "_qs}));
        QCOMPARE(f.contactBytes(), contacts);
        QCOMPARE(shownTexts(f.desk.messages), QStringList());
    } else {
        QCOMPARE(f.entries(), QStringList());
        QCOMPARE(f.contactBytes(), QByteArray());
        QCOMPARE(shownTexts(f.desk.messages), QStringList {TwinKeptText.arg(u"data.orv2.incompleto"_qs)});
        QCOMPARE(f.desk.messages.shown.first().title, u"Orvalia"_qs);
        QCOMPARE(readBytes(f.desk.programFile(u"data.orv2.incompleto"_qs)), twin);
    }
}

// A lock that cannot be made is no second instance: the user hears which folder the program cannot
// write in, and the program ends without loading anything.
void TestHostileFiles::folderThatTakesNoLock_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("read-only") << u"ro"_qs;
    QTest::newRow("full") << u"full"_qs;
}

void TestHostileFiles::folderThatTakesNoLock()
{
    QFETCH(QString, folder);
    // The real lock, on a file system that takes no new file: mounted read-only, or with no inode
    // left.
    {
        SmallFileSystem small(
            folder == u"ro" ? "size=64k" : "size=64k,nr_inodes=1", folder == u"ro" ? MS_RDONLY : 0);
        if (!small.mounted())
            QSKIP(
                "a read-only or full folder needs a small tmpfs, which needs root (CAP_SYS_ADMIN); the fake "
                "lock below covers the window's side");
        QtSystem system(small.path());
        Watchdog watchdog({small.path()}, HandlerLimit);
        QCOMPARE(system.lockSingleInstance(), System::InstanceLock::Failed);
        QVERIFY(!watchdog.stop());
    }

    MainWindowFixture f;
    writeStartFiles(f);
    f.desk.system.lockFails = true;
    f.desk.messages.queueAnswer(Answer::Ok);
    const Snapshot before = [&] {
        Snapshot files;
        addTree(files, f.desk.programDir());
        return files;
    }();
    f.open();
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.desk.messages.shown.size(), 1);
    const FakeMessageBoxes::Shown box = f.desk.messages.shown.first();
    QCOMPARE(box.title, u"Error"_qs);
    QCOMPARE(box.icon, Icon::Error);
    QCOMPARE(box.text,
        u"Orvalia no puede escribir en su carpeta:\n"_qs + f.desk.programDir()
            + u"\nCompruebe que la carpeta exista, que usted pueda escribir en ella y que el disco no esté "
              u"lleno. "
              u"Orvalia se cerrará."_qs);
    QTRY_COMPARE(f.programEnds, 1);
    QCOMPARE(f.entries(), QStringList());
    Snapshot now;
    addTree(now, f.desk.programDir());
    QCOMPARE(now, before);
}

// Under a umask of 0000 nothing the program makes is open to other users.
void TestHostileFiles::umaskOfZero()
{
    const ScopedUmask mask(0);
    Case c;
    QFile::remove(c.file(u"password/orvpw.ntd"_qs));
    // A first start: the contact and options files are made by the program.
    for (const QString &name : {u"data.orv"_qs, u"Agenda.opt"_qs, u"data.bak"_qs})
        QFile::remove(c.f.desk.programFile(name));
    c.f.open();
    QCOMPARE(modeOf(c.f.dataPath()), 0600);
    QCOMPARE(modeOf(c.f.desk.programFile(u"Agenda.opt"_qs)), 0600);
    c.f.retype(apellido, u"Nuevo"_qs);
    c.f.retype(nombre, u"Luis"_qs);
    c.f.click("Command1");
    QCOMPARE(modeOf(c.f.dataPath()), 0600);
    openOptions(c);
    press(c.window, "cmdcrearbak");
    QCOMPARE(modeOf(c.f.desk.programFile(u"data.bak"_qs)), 0600);
    QCOMPARE(modeOf(c.f.desk.programFile(u"Agenda.opt2"_qs)), 0600);
    tick(c.window, "Check2");
    auto *contra = openWindow<FrmContra>();
    QVERIFY(contra);
    type(contra,
        {{"txtcontra", u"a"_qs}, {"txtrecontra", u"a"_qs}, {"txtpreg", u"b"_qs}, {"txtresp", u"c"_qs}});
    press(contra, "cmdaccept");
    QCOMPARE(modeOf(c.file(u"password/orvpw.ntd"_qs)), 0600);
}

// A file the user made 0640, with extended attributes of their own, keeps both through every
// handler that rewrites it; the password file is the owner's alone whatever it was.
void TestHostileFiles::rewriteKeepsModeAndAttributes_data()
{
    QTest::addColumn<int>("handler");
    const QList<Handler> all = handlers();
    for (int i = 0; i < all.size(); ++i)
        QTest::addRow("%s", all[i].name) << i;
}

void TestHostileFiles::rewriteKeepsModeAndAttributes()
{
    QFETCH(int, handler);
    const Handler h = handlers().at(handler);
    Case c;
    bool attributes = true;
    for (const QString &file : {DataOrv, DataBak, AgendaOpt, Orvpw}) {
        ::chmod(QFile::encodeName(c.file(file)).constData(), 0640);
        attributes = setUserAttribute(c.file(file), "user.origen", "mía") && attributes;
    }
    h.setUp(c);
    if (QTest::currentTestFailed())
        return;
    const QByteArray before = entryOf(c.file(h.target));
    const ScopedUmask mask(0);
    h.click(c);
    QVERIFY(entryOf(c.file(h.target)) != before);
    const bool password = h.target.startsWith(u"password/");
    QCOMPARE(modeOf(c.file(h.target)), password ? 0600 : 0640);
    if (attributes && !password)
        QCOMPARE(userAttribute(c.file(h.target), "user.origen"), QByteArray("mía"));
}

QTEST_MAIN(TestHostileFiles)
#include "tst_hostile_files.moc"
