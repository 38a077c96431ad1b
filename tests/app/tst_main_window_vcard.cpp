// The main window's "Importar contactos..." and "Exportar contactos...": the question about unsaved
// changes first, the dialogs, the window disabled meanwhile, every message, the progress and its
// "Cancelar", the contact shown kept on show, and contacts out and back in unchanged.

#include "contact_fixtures.h"
#include "tst_main_window_fixture.h"

#include "fault_files.h"
#include "file_size_limit.h"
#include "hostile_files.h"
#include "platform/windows1252.h"
#include "watchdog.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QPointer>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace ContactRecord;

namespace {

const QString Gomez = rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}, {telefono, u"111"_qs}});
const QString Perez = rec(u"Perez"_qs, u"Luis"_qs, {{celular, u"600"_qs}});
const QString Filter = u"Tarjetas de contacto (*.vcf *.vcard)|*.vcf;*.vcard"_qs;
const QString ExportFailed
    = u"No se pudieron exportar los contactos a %1. Compruebe que usted pueda escribir "
      "en esa carpeta y que el disco no esté lleno. No se creó ni se modificó ningún "
      "archivo."_qs;
const QString ImportFailed
    = u"No se pudieron importar los contactos. El archivo de datos no fue modificado."_qs;

QString documents()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

// Cards of some megabytes, so that the file is read in several blocks and the progress takes
// several steps.
QByteArray manyCards(int count)
{
    const QByteArray note = "NOTE:" + QByteArray(40000, 'n') + "\r\n";
    QByteArray cards;
    for (int i = 0; i < count; ++i)
        cards += i % 10 == 0 ? cardWithPhoto("Nuevo" + QByteArray::number(i) + ";Eva;;;")
                             : card("N:Nuevo" + QByteArray::number(i) + ";Eva;;;\r\nTEL:555\r\n" + note);
    return cards;
}

} // namespace

class TestMainWindowVCard : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        f = std::make_unique<MainWindowFixture>();
        m_folder = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        f.reset();
        m_folder.reset();
    }

    void importSaysWhatFitAndWhatNot();
    void importFailures_data();
    void importFailures();
    void unsavedChangesFirst_data();
    void unsavedChangesFirst();
    void cancelledProgress_data();
    void cancelledProgress();
    void exportSaysWhereTo_data();
    void exportSaysWhereTo();
    void exportFailures_data();
    void exportFailures();
    void roundTrip();

private:
    // The window on these contacts, Gomez Ana shown.
    void openShowingGomez(const QStringList &lines = {Gomez, Perez})
    {
        f->writeOptions(optionLines());
        f->writeContacts(lines);
        f->open();
        f->clickEntry(u"Gomez Ana "_qs);
        QCOMPARE(f->window->regmostrado(), 1);
    }
    void trigger(const char *name) { f->window->findChild<QAction *>(QLatin1String(name))->trigger(); }
    QString chosen(const QString &name) const { return m_folder->filePath(name); }
    // Exactly one box was shown, this one, with one "Aceptar".
    void expectOneBox(const QString &title, Icon icon, const QString &text)
    {
        QCOMPARE(f->desk.messages.shown.size(), 1);
        const FakeMessageBoxes::Shown box = f->desk.messages.shown.first();
        QCOMPARE(box.title, title);
        QCOMPARE(box.icon, icon);
        QCOMPARE(box.buttons, Buttons::Ok);
        QCOMPARE(box.text, text);
    }
    void expectGomezShown()
    {
        QCOMPARE(f->window->regmostrado(), 1);
        QCOMPARE(f->window->regoriginal(), Gomez);
        QCOMPARE(f->window->boxes(), fieldsOf(Gomez));
        QCOMPARE(f->entries().value(f->selectedRow()), u"Gomez Ana "_qs);
        QVERIFY(f->window->isEnabled());
    }

    std::unique_ptr<MainWindowFixture> f;
    std::unique_ptr<QTemporaryDir> m_folder; // where the user keeps vCard files
};

void TestMainWindowVCard::importSaysWhatFitAndWhatNot()
{
    openShowingGomez();
    writeBytes(chosen(u"tarjetas.vcf"_qs),
        cardWithPhoto("Ruiz;Eva;;;") + card("N:GOMEZ;ana;;;\r\n")
            + card("N:Abad;Leo;;;\r\nTEL:1\r\nTEL:2\r\nTEL:3\r\n") + card("N:Abad;Leo;;;\r\n")
            + card("NOTE:nadie\r\n") + card("FN:Cher\r\nNICKNAME:€ ő\r\n"));
    f->desk.sound.played.clear();
    f->desk.dialogs.queueFile(chosen(u"tarjetas.vcf"_qs));
    f->desk.messages.queueAnswer(Answer::Ok);
    trigger("mnuimportar");

    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs});
    QCOMPARE(f->desk.dialogs.openRequests.size(), 1);
    const FakeDialogs::OpenRequest request = f->desk.dialogs.openRequests.first();
    QCOMPARE(request.filter, Filter);
    QCOMPARE(request.selectedEntry, 1);
    QCOMPARE(request.startFolder, documents());
    QVERIFY(!request.ownerEnabled);
    expectOneBox(u"Orvalia"_qs, Icon::Information,
        u"Se importaron 3 contactos.\n"
        "1 contacto ya estaba en la lista y no se importó.\n"
        "1 tarjeta repetía un contacto anterior del mismo archivo y no se importó.\n"
        "1 tarjeta no se pudo leer.\n"
        "En 1 contacto se cambió texto para poder guardarlo.\n"
        "1 contacto tenía más teléfonos o correos electrónicos de los que caben; los demás se dejaron "
        "fuera.\n"
        "1 contacto no tenía nombre o apellido; se puso un guion en su lugar."_qs);
    QCOMPARE(f->entries(),
        (QStringList {u"Abad Leo "_qs, u"Cher - "_qs, u"Gomez Ana "_qs, u"Perez Luis "_qs, u"Ruiz Eva "_qs}));
    expectGomezShown();
    // The file's new lines are the ones the list shows, after the old ones.
    const QStringList keys = *ContactFile(f->desk.programDir(), f->desk.attributes).readKeys();
    QCOMPARE(keys,
        (QStringList {u"Gomez Ana "_qs, u"Perez Luis "_qs, u"Ruiz Eva "_qs, u"Abad Leo "_qs, u"Cher - "_qs}));
    QVERIFY(f->contactBytes().startsWith(cp1252Lines({Gomez, Perez})));
    const QStringList photos = QDir(f->desk.programFile(u"Fotos"_qs)).entryList(QDir::Files);
    QCOMPARE(photos.size(), 1);
}

void TestMainWindowVCard::importFailures_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("text");
    const QString unreadable = u"No se pudo leer el archivo %1. Compruebe que sea un archivo de tarjetas de "
                               "contacto y que usted pueda leerlo. No se importó ningún contacto."_qs;
    QTest::newRow("no card to read")
        << u"texto.vcf"_qs << u"El archivo no tiene ninguna tarjeta de contacto que se pueda leer."_qs;
    QTest::newRow("a FIFO") << u"fifo.vcf"_qs << unreadable.arg(u"fifo.vcf"_qs);
    QTest::newRow("a device") << u"/dev/zero"_qs << unreadable.arg(u"zero"_qs);
    QTest::newRow("a directory") << u"carpeta.vcf"_qs << unreadable.arg(u"carpeta.vcf"_qs);
    QTest::newRow("gone") << u"borrado.vcf"_qs << unreadable.arg(u"borrado.vcf"_qs);
    QTest::newRow("the disk full") << u"lleno.vcf"_qs << ImportFailed;
}

// The "Error" box, and nothing changed: the file, the list, the contact shown, no picture.
void TestMainWindowVCard::importFailures()
{
    QFETCH(QString, chosen);
    QFETCH(QString, text);
    openShowingGomez();
    const QString path = chosen.startsWith(u'/') ? chosen : this->chosen(chosen);
    if (chosen == u"texto.vcf")
        writeBytes(path, "Gomez, Ana, 111\r\nBEGIN:VCARD\r\nN:Cortada;Sin Final;;;\r\n");
    else if (chosen == u"fifo.vcf")
        QVERIFY(makeFifo(path));
    else if (chosen == u"carpeta.vcf")
        QVERIFY(QDir().mkdir(path));
    else if (chosen == u"lleno.vcf")
        writeBytes(path, cardWithPhoto("Ruiz;Eva;;;") + card("N:Abad;Leo;;;\r\n"));
    const QByteArray before = f->contactBytes();
    f->desk.dialogs.queueFile(path);
    f->desk.messages.queueAnswer(Answer::Ok);
    {
        Watchdog watchdog({m_folder->path()});
        std::optional<FileSizeLimit> full;
        if (chosen == u"lleno.vcf")
            full.emplace(rlim_t(before.size() + 10));
        trigger("mnuimportar");
        QVERIFY2(!watchdog.stop(), "the import blocked");
    }
    expectOneBox(u"Error"_qs, Icon::Error, text);
    QCOMPARE(f->contactBytes(), before);
    QCOMPARE(f->entries(), (QStringList {u"Gomez Ana "_qs, u"Perez Luis "_qs}));
    QVERIFY(!QFileInfo::exists(f->desk.programFile(u"Fotos"_qs)));
    QVERIFY(!QFileInfo::exists(f->twinPath()));
    expectGomezShown();
}

void TestMainWindowVCard::unsavedChangesFirst_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("answer"); // to the question; "fails": yes, but the save fails
    for (const char *entry : {"mnuimportar", "mnuexportar"}) {
        for (const char *answer : {"yes", "no", "fails"})
            QTest::addRow("%s, %s", entry, answer)
                << QString::fromLatin1(entry) << QString::fromLatin1(answer);
    }
}

// The edits of the contact shown are asked about before any dialog opens: saved, they are in the
// file before the import or export; declined, they stay in the boxes of the contact still shown;
// a save that fails says so and goes no further.
void TestMainWindowVCard::unsavedChangesFirst()
{
    QFETCH(QString, entry);
    QFETCH(QString, answer);
    openShowingGomez();
    f->retype(telefono, u"999"_qs);
    const QString edited = rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}, {telefono, u"999"_qs}});
    if (answer == u"fails")
        QVERIFY(QDir().mkdir(f->twinPath()));
    qsizetype dialogsAtQuestion = -1;
    f->desk.messages.onShow = [&] {
        if (dialogsAtQuestion < 0)
            dialogsAtQuestion = f->desk.dialogs.openRequests.size() + f->desk.dialogs.saveRequests.size();
    };
    f->desk.messages.queueAnswer(answer == u"no" ? Answer::No : Answer::Yes);
    if (answer == u"fails")
        f->desk.messages.queueAnswer(Answer::Ok);
    trigger(entry.toLatin1().constData()); // the dialogs cancel: nothing queued

    QCOMPARE(dialogsAtQuestion, 0);
    QCOMPARE(f->desk.messages.shown.first().text,
        u"Los datos han sido modificados. ¿Desea guardar el registro con los nuevos datos?"_qs);
    QCOMPARE(f->desk.dialogs.openRequests.size() + f->desk.dialogs.saveRequests.size(),
        answer == u"fails" ? 0 : 1);
    QVERIFY(f->window->isEnabled());
    if (answer == u"yes") {
        QCOMPARE(f->contactBytes(), cp1252Lines({edited, Perez}));
        QCOMPARE(f->window->regmostrado(), 0);
        QVERIFY(f->boxesEmpty());
        return;
    }
    QCOMPARE(f->contactBytes(), cp1252Lines({Gomez, Perez}));
    QCOMPARE(f->desk.messages.shown.size(), answer == u"fails" ? 2 : 1);
    QCOMPARE(f->window->regmostrado(), 1);
    QCOMPARE(f->window->regoriginal(), Gomez);
    QCOMPARE(f->box(telefono)->text(), u"999"_qs);
    QCOMPARE(f->entries().value(f->selectedRow()), u"Gomez Ana "_qs);
}

void TestMainWindowVCard::cancelledProgress_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("label");
    QTest::newRow("import") << u"mnuimportar"_qs << u"Importando contactos..."_qs;
    QTest::newRow("export") << u"mnuexportar"_qs << u"Exportando contactos..."_qs;
}

// A long run shows its progress over the disabled window, and "Cancelar" leaves everything as it
// was: no contact, no picture, no file under the chosen name nor beside it.
void TestMainWindowVCard::cancelledProgress()
{
    QFETCH(QString, entry);
    QFETCH(QString, label);
    QStringList lines {Gomez, Perez};
    for (int i = 0; i < 80; ++i)
        lines << rec(u"Viejo%1"_qs.arg(i), u"Resto"_qs);
    openShowingGomez(lines);
    f->window->setProgressDelay(0);
    const bool importing = entry == u"mnuimportar";
    const QString path = chosen(importing ? u"tarjetas.vcf"_qs : u"contactos.vcf"_qs);
    writeBytes(path, importing ? manyCards(80) : QByteArray("earlier cards"));
    if (importing)
        f->desk.dialogs.queueFile(path);
    else
        f->desk.dialogs.queueSaveFile(path);
    const QByteArray before = f->contactBytes();

    QPointer<QProgressDialog> seen;
    QStringList shown;
    // Fired while the work lets the window take events, the dialog up.
    QTimer cancel;
    cancel.setSingleShot(true);
    connect(&cancel, &QTimer::timeout, this, [&] {
        seen = f->window->findChild<QProgressDialog *>(u"progreso"_qs);
        if (!seen)
            return;
        shown << (seen->isVisible() && seen->isEnabled() ? u"shown"_qs : u"hidden"_qs)
              << (f->window->isEnabled() ? u"owner enabled"_qs : u"owner disabled"_qs) << seen->windowTitle()
              << seen->labelText()
              << (seen->windowModality() == Qt::WindowModal ? u"window-modal"_qs : QString());
        for (const QPushButton *button : seen->findChildren<QPushButton *>())
            shown << button->text();
        seen->cancel();
    });
    cancel.start(0);
    trigger(entry.toLatin1().constData());

    QCOMPARE(shown,
        (QStringList {
            u"shown"_qs, u"owner disabled"_qs, u"Orvalia"_qs, label, u"window-modal"_qs, u"&Cancelar"_qs}));
    QVERIFY(!seen); // gone with the work
    QVERIFY(f->desk.messages.shown.isEmpty());
    QCOMPARE(f->contactBytes(), before);
    QCOMPARE(f->entries().size(), 82);
    QVERIFY(!QFileInfo::exists(f->desk.programFile(u"Fotos"_qs)));
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::System | QDir::Hidden),
        QStringList {QFileInfo(path).fileName()});
    if (!importing)
        QCOMPARE(readBytes(path), QByteArray("earlier cards"));
    expectGomezShown();
}

void TestMainWindowVCard::exportSaysWhereTo_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("one") << QStringList {Gomez} << u"contactos.vcf"_qs
                         << u"Se exportó 1 contacto a contactos.vcf."_qs;
    QTest::newRow("three") << QStringList {Perez, Gomez, rec(u"Abad"_qs, u"Leo"_qs)} << u"amigos.vcf"_qs
                           << u"Se exportaron 3 contactos a amigos.vcf."_qs;
}

void TestMainWindowVCard::exportSaysWhereTo()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, name);
    QFETCH(QString, text);
    openShowingGomez(lines);
    f->desk.sound.played.clear();
    f->desk.dialogs.queueSaveFile(QDir::toNativeSeparators(chosen(name)));
    f->desk.messages.queueAnswer(Answer::Ok);
    trigger("mnuexportar");

    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs});
    QCOMPARE(f->desk.dialogs.saveRequests.size(), 1);
    const FakeDialogs::SaveRequest request = f->desk.dialogs.saveRequests.first();
    QCOMPARE((QStringList {request.filter, request.suggestedPath}),
        (QStringList {Filter, QDir(documents()).filePath(u"contactos.vcf"_qs)}));
    QVERIFY(!request.ownerEnabled);
    expectOneBox(u"Orvalia"_qs, Icon::Information, text);
    QCOMPARE(readBytes(chosen(name)).count("BEGIN:VCARD\r\n"), lines.size());
    QCOMPARE(modeOf(chosen(name)), 0600);
    expectGomezShown();
}

void TestMainWindowVCard::exportFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("text"); // empty: no box
    QTest::newRow("an empty book") << u"empty"_qs << u"No hay ningún contacto que exportar."_qs;
    QTest::newRow("the dialog cancelled") << u"cancelled"_qs << QString();
    QTest::newRow("a folder that is gone") << u"gone"_qs << ExportFailed.arg(u"contactos.vcf"_qs);
}

void TestMainWindowVCard::exportFailures()
{
    QFETCH(QString, fault);
    QFETCH(QString, text);
    f->writeOptions(optionLines());
    f->writeContacts(fault == u"empty" ? QStringList {} : QStringList {Gomez, Perez});
    f->open();
    QString path = chosen(u"contactos.vcf"_qs);
    if (fault == u"gone")
        path = chosen(u"borrada/contactos.vcf"_qs);
    if (fault != u"cancelled")
        f->desk.dialogs.queueSaveFile(path);
    if (!text.isEmpty())
        f->desk.messages.queueAnswer(Answer::Ok);
    Snapshot before;
    addTree(before, m_folder->path());
    {
        Watchdog watchdog({m_folder->path()});
        trigger("mnuexportar");
        QVERIFY2(!watchdog.stop(), "the export blocked");
    }
    QCOMPARE(f->desk.dialogs.saveRequests.size(), fault == u"empty" ? 0 : 1);
    if (text.isEmpty())
        QVERIFY(f->desk.messages.shown.isEmpty());
    else if (fault == u"empty")
        expectOneBox(u"Orvalia"_qs, Icon::Information, text);
    else
        expectOneBox(u"Error"_qs, Icon::Error, text);
    Snapshot after;
    addTree(after, m_folder->path());
    QCOMPARE(after, before);
    QVERIFY(f->window->isEnabled());
}

// Out of one book and into an empty one: every field of every contact comes back as it was, but
// the photo, which comes back as a picture of the new book's own.
void TestMainWindowVCard::roundTrip()
{
    const QString photo = f->picture(u"retrato.jpg"_qs, Qt::red, "JPEG");
    QStringList lines;
    lines << rec(u"Muñoz García"_qs, u"José María"_qs,
        {{nick, u"Pepe; \"el Sabio\", \\ todo"_qs}, {edad, u"47"_qs}, {localidad, u"Alcalá de Henares"_qs},
            {provincia, u"Madrid"_qs}, {pais, u"España"_qs}, {domicilio, u"C/ Mayor, 5; 2º B"_qs},
            {telefono, u"91 555 12 34"_qs}, {celular, u"+34 600 111 222"_qs},
            {email, u"jm@correo.example"_qs}, {fechaalta, u"3/2/21"_qs}, {fechanac, u"23/4/1977"_qs},
            {estadocivil, u"Casado"_qs}, {peso, u"80,5"_qs}, {altura, u"1,80"_qs}, {ocupacion, u"Médico"_qs},
            {ubicacionfoto, photo}});
    lines << rec(u"Ibáñez"_qs, u"Raúl"_qs, {{fechanac, u"29/2"_qs}, {fechaalta, u"1/1/99"_qs}});
    lines << rec(
        u"de la Cruz"_qs, u"Ana Belén"_qs, {{fechanac, u"hacia 1950"_qs}, {email, u"€uro@x.example"_qs}});
    openShowingGomez(QStringList {Gomez} + lines);
    const QString path = chosen(u"agenda.vcf"_qs);
    f->desk.dialogs.queueSaveFile(path);
    f->desk.messages.queueAnswer(Answer::Ok);
    trigger("mnuexportar");
    QCOMPARE(f->desk.messages.shown.last().text, u"Se exportaron 4 contactos a agenda.vcf."_qs);

    MainWindowFixture other;
    other.writeOptions(optionLines());
    other.open();
    other.desk.dialogs.queueFile(path);
    other.desk.messages.queueAnswer(Answer::Ok);
    other.window->findChild<QAction *>(u"mnuimportar"_qs)->trigger();
    QCOMPARE(other.desk.messages.shown.last().text, u"Se importaron 4 contactos."_qs);
    QCOMPARE(other.entries(), f->entries());

    // In the list's order, as they were exported.
    QStringList expected {lines[2], Gomez, lines[1], lines[0]};
    const QStringList imported
        = Windows1252::decode(other.contactBytes()).split(u"\r\n"_qs, Qt::SkipEmptyParts);
    QCOMPARE(imported.size(), 4);
    for (int i = 0; i < 4; ++i) {
        Fields want = fieldsOf(expected[i]);
        Fields got = fieldsOf(imported[i]);
        const QString newPhoto = got[ubicacionfoto];
        if (want[ubicacionfoto].isEmpty()) {
            QCOMPARE(newPhoto, QString());
        } else {
            QVERIFY(newPhoto.startsWith(other.desk.programFile(u"Fotos/"_qs)));
            const QImage picture(newPhoto);
            QVERIFY(!picture.isNull());
            QVERIFY(picture.pixelColor(picture.width() / 2, picture.height() / 2).red() > 200);
        }
        want[ubicacionfoto].clear();
        got[ubicacionfoto].clear();
        QCOMPARE(got, want);
    }
}

QTEST_MAIN(TestMainWindowVCard)
#include "tst_main_window_vcard.moc"
