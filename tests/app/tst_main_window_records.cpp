// The main window's work on contacts: adding, deleting, emptying the boxes, the photo buttons, and
// what happens when the contact file cannot be written.

#include "file_size_limit.h"
#include "tst_main_window_fixture.h"

#include <QDir>
#include <QFileInfo>

using namespace ContactRecord;

namespace {

const QString Gomez = rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}});
const QString Perez = rec(u"Perez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}});
const QString Ruiz = rec(u"Ruiz"_qs, u"Eva"_qs);

} // namespace

class TestMainWindowRecords : public QObject
{
    Q_OBJECT

private slots:
    void init() { f = std::make_unique<MainWindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        f.reset();
    }

    void add_requiredFields_data();
    void add_requiredFields();
    void add_duplicateIgnoringCase_data();
    void add_duplicateIgnoringCase();
    void add_trailingBlankIsAnotherKey();
    void add_capitalisation_data();
    void add_capitalisation();
    void add_editedShownContactIsANewOne();
    void add_afterEmptying();
    void add_fails();

    void delete_answers_data();
    void delete_answers();
    void delete_editedBoxes();
    void delete_allBoxesEmpty();
    void delete_duplicateEqualLines();
    void delete_fails();

    void empty_state();

    void findPhoto_data();
    void findPhoto();
    void findPhoto_unstorableLocation();
    void findPhoto_startFolder();
    void removePhoto_data();
    void removePhoto();
    void removedPhotoIsSavedOnSelection();
    void openPhoto();

private:
    void open(const QStringList &contacts, const QStringList &options = optionLines())
    {
        f->writeOptions(options);
        f->writeContacts(contacts);
        f->open();
    }
    void type(const QMap<int, QString> &fields)
    {
        for (auto it = fields.cbegin(); it != fields.cend(); ++it)
            f->retype(it.key(), it.value());
    }
    void verifyMessage(const QString &text, const QString &title, Icon icon, Buttons buttons, int at = 0)
    {
        QVERIFY(f->desk.messages.shown.size() > at);
        const FakeMessageBoxes::Shown &shown = f->desk.messages.shown.at(at);
        QCOMPARE(shown.text, text);
        QCOMPARE(shown.title, title);
        QCOMPARE(shown.icon, icon);
        QCOMPARE(shown.buttons, buttons);
    }

    std::unique_ptr<MainWindowFixture> f;
};

// --- adding ------------------------------------------------------------------------------------

void TestMainWindowRecords::add_requiredFields_data()
{
    QTest::addColumn<QString>("surname");
    QTest::addColumn<QString>("name");
    QTest::newRow("no name") << u"Gomez"_qs << QString();
    QTest::newRow("no surname") << QString() << u"Ana"_qs;
    QTest::newRow("neither") << QString() << QString();
}

void TestMainWindowRecords::add_requiredFields()
{
    QFETCH(QString, surname);
    QFETCH(QString, name);
    open({Perez});
    type({{apellido, surname}, {nombre, name}, {nick, u"Anita"_qs}});
    f->desk.messages.queueAnswer(Answer::Ok);
    f->click("Command1");
    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs}); // the sound comes before the check
    QCOMPARE(f->desk.messages.shown.size(), 1);
    verifyMessage(u"El nombre y apellido son obligatorios"_qs, u"Error"_qs, Icon::Error, Buttons::Ok);
    QCOMPARE(f->contactBytes(), cp1252Lines({Perez}));
    QCOMPARE(f->box(nick)->text(), u"Anita"_qs);
    QCOMPARE(f->entries(), QStringList {u"Perez Luis "_qs});

    // A surname of blanks is not empty.
    f->retype(apellido, u"  "_qs);
    f->retype(nombre, u"Ana"_qs);
    f->click("Command1");
    QCOMPARE(f->desk.messages.shown.size(), 1);
    QCOMPARE(f->entries(), (QStringList {u"   Ana "_qs, u"Perez Luis "_qs}));
}

void TestMainWindowRecords::add_duplicateIgnoringCase_data()
{
    QTest::addColumn<QString>("surname");
    QTest::addColumn<QString>("name");
    QTest::newRow("lower") << u"gomez"_qs << u"ana"_qs;
    QTest::newRow("upper") << u"GOMEZ"_qs << u"ANA"_qs;
    QTest::newRow("same") << u"Gomez"_qs << u"Ana"_qs;
    // The key joins surname and name with a blank: these words give the same key.
    QTest::newRow("split elsewhere") << u"de la"_qs << u"cruz eva"_qs;
}

void TestMainWindowRecords::add_duplicateIgnoringCase()
{
    QFETCH(QString, surname);
    QFETCH(QString, name);
    open({Gomez, rec(u"De la Cruz"_qs, u"Eva"_qs)});
    const QByteArray before = f->contactBytes();
    type({{apellido, surname}, {nombre, name}, {telefono, u"12"_qs}});
    f->desk.messages.queueAnswer(Answer::Ok);
    f->click("Command1");
    QCOMPARE(f->desk.messages.shown.size(), 1);
    verifyMessage(u"El registro con el nombre y el apellido dado ya existe"_qs, u"Error"_qs,
        Icon::Information, Buttons::Ok);
    QCOMPARE(f->contactBytes(), before);
    QCOMPARE(f->box(apellido)->text(), surname);
    QCOMPARE(f->box(telefono)->text(), u"12"_qs);
    QCOMPARE(f->entries().size(), 2);
}

void TestMainWindowRecords::add_trailingBlankIsAnotherKey()
{
    open({Gomez});
    type({{apellido, u"Gomez "_qs}, {nombre, u"Ana"_qs}});
    f->click("Command1");
    QVERIFY(f->desk.messages.shown.isEmpty());
    QCOMPARE(f->contactBytes(), cp1252Lines({Gomez, rec(u"Gomez "_qs, u"Ana"_qs)}));
    QVERIFY(f->entries().contains(u"Gomez  Ana "_qs));
    QCOMPARE(f->entries().size(), 2);
}

void TestMainWindowRecords::add_capitalisation_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("entry");

    const QString capital
        = rec(u"Perez"_qs, u"Juan"_qs, {{domicilio, u"Calle mayor 5"_qs}, {email, u"J@x.es"_qs}});
    QTest::newRow("on") << u"1"_qs << capital << u"Perez Juan "_qs;
    QTest::newRow("off") << u"0"_qs
                         << rec(u"perez"_qs, u"juan"_qs,
                                {{domicilio, u"calle mayor 5"_qs}, {email, u"j@x.es"_qs}})
                         << u"perez juan "_qs;
    // Neither "0" nor "1": capitalised, and listed as stored.
    QTest::newRow("other") << u"si"_qs << capital << u"Perez Juan "_qs;
}

void TestMainWindowRecords::add_capitalisation()
{
    QFETCH(QString, option);
    QFETCH(QString, stored);
    QFETCH(QString, entry);
    open({Gomez}, optionLines(u"1"_qs, option));
    // A shown contact, with a photo chosen: everything in the boxes is typed over.
    f->clickEntry(u"Gomez Ana "_qs);
    f->desk.dialogs.queueFile(f->picture(u"juan.bmp"_qs, Qt::red));
    f->click("Command5");
    QVERIFY(f->button("Command8")->isEnabled());
    type({{apellido, u"perez"_qs}, {nombre, u"juan"_qs}, {edad, QString()}, {domicilio, u"calle mayor 5"_qs},
        {email, u"j@x.es"_qs}, {ubicacionfoto, QString()}});

    f->click("Command1");
    QVERIFY(f->desk.messages.shown.isEmpty());
    QCOMPARE(f->contactBytes(), cp1252Lines({Gomez, stored}));
    QCOMPARE(f->entries(), (QStringList {u"Gomez Ana "_qs, entry}));
    QVERIFY(f->boxesEmpty());
    QVERIFY(!f->pictureShown());
    QCOMPARE(f->window->regmostrado(), 0);
    QVERIFY(!f->button("Command2")->isEnabled());
    QVERIFY(!f->button("Command7")->isEnabled());
    QVERIFY(f->button("Command8")->isEnabled()); // "Borrar" keeps its state
    QCOMPARE(f->selectedRow(), -1); // the new entry is not selected
    QVERIFY(f->desk.attributes.isHidden(f->dataPath()));
}

void TestMainWindowRecords::add_editedShownContactIsANewOne()
{
    open({Gomez, Perez});
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(apellido, u"Garcia"_qs);
    f->click("Command1");
    QCOMPARE(
        f->contactBytes(), cp1252Lines({Gomez, Perez, rec(u"Garcia"_qs, u"Ana"_qs, {{edad, u"34"_qs}})}));
    QCOMPARE(f->window->regmostrado(), 0);
    QCOMPARE(f->entries(), (QStringList {u"Garcia Ana "_qs, u"Gomez Ana "_qs, u"Perez Luis "_qs}));
    // Nothing is shown, so moving on asks nothing.
    f->clickEntry(u"Perez Luis "_qs);
    QVERIFY(f->desk.messages.shown.isEmpty());
    QCOMPARE(f->box(apellido)->text(), u"Perez"_qs);
}

void TestMainWindowRecords::add_afterEmptying()
{
    open({Gomez, Perez});
    f->clickEntry(u"Gomez Ana "_qs);
    f->click("cmdvaciar");
    type({{apellido, u"Ruiz"_qs}, {nombre, u"Eva"_qs}});
    f->click("Command1");
    QCOMPARE(f->contactBytes(), cp1252Lines({Gomez, Perez, Ruiz}));
    f->clickEntry(u"Perez Luis "_qs);
    QVERIFY(f->desk.messages.shown.isEmpty());
}

void TestMainWindowRecords::add_fails()
{
    open({Gomez});
    const QByteArray before = f->contactBytes();
    type({{apellido, u"Ruiz"_qs}, {nombre, u"Eva"_qs}, {telefono, u"555"_qs}});
    {
        FileSizeLimit full(rlim_t(before.size()));
        if (!full.ok())
            QSKIP("the file size limit cannot be set here");
        f->desk.messages.queueAnswer(Answer::Ok);
        f->click("Command1");
    }
    QCOMPARE(f->desk.messages.shown.size(), 1);
    verifyMessage(u"No se pudo agregar el registro. El archivo de datos no fue modificado."_qs, u"Error"_qs,
        Icon::Error, Buttons::Ok);
    QCOMPARE(f->contactBytes(), before);
    QCOMPARE(f->entries(), QStringList {u"Gomez Ana "_qs});
    QCOMPARE(f->box(apellido)->text(), u"Ruiz"_qs);
    QCOMPARE(f->box(telefono)->text(), u"555"_qs);

    // Typed once, stored at the next try.
    f->click("Command1");
    QCOMPARE(f->contactBytes(), cp1252Lines({Gomez, rec(u"Ruiz"_qs, u"Eva"_qs, {{telefono, u"555"_qs}})}));
}

// --- deleting ----------------------------------------------------------------------------------

void TestMainWindowRecords::delete_answers_data()
{
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("yes") << u"1"_qs << Answer::Yes << true;
    QTest::newRow("no") << u"1"_qs << Answer::No << false;
    QTest::newRow("cancel") << u"1"_qs << Answer::Cancel << false;
    QTest::newRow("confirmations off") << u"0"_qs << Answer::No << true;
}

void TestMainWindowRecords::delete_answers()
{
    QFETCH(QString, confirm);
    QFETCH(Answer, answer);
    QFETCH(bool, deleted);
    open({Perez, Gomez, Ruiz}, optionLines(confirm));
    const QByteArray before = f->contactBytes();
    f->clickEntry(u"Gomez Ana "_qs);
    f->desk.messages.queueAnswer(answer);
    f->click("Command2");

    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs});
    if (confirm == u"0") {
        QVERIFY(f->desk.messages.shown.isEmpty());
    } else {
        QCOMPARE(f->desk.messages.shown.size(), 1);
        verifyMessage(u"¿Esta seguro que desea borrar el registro seleccionado?"_qs,
            u"Administrador De Imagenes"_qs, Icon::Question, Buttons::YesNoCancel);
    }
    if (deleted) {
        QCOMPARE(f->contactBytes(), cp1252Lines({Perez, Ruiz}));
        QCOMPARE(f->entries(), (QStringList {u"Perez Luis "_qs, u"Ruiz Eva "_qs}));
        QVERIFY(f->boxesEmpty());
        QCOMPARE(f->window->regmostrado(), 0);
        QVERIFY(!f->button("Command2")->isEnabled());
        QVERIFY(!f->button("Command7")->isEnabled());
        QVERIFY(!QFileInfo::exists(f->twinPath()));
        QVERIFY(f->desk.attributes.isHidden(f->dataPath()));
    } else {
        QCOMPARE(f->contactBytes(), before);
        QCOMPARE(f->entries().size(), 3);
        QCOMPARE(f->box(apellido)->text(), u"Gomez"_qs);
        QCOMPARE(f->window->regmostrado(), 1);
        QVERIFY(f->button("Command2")->isEnabled());
    }
}

void TestMainWindowRecords::delete_editedBoxes()
{
    open({Perez, Gomez});
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(apellido, u"Otro"_qs);
    f->retype(edad, u"99"_qs);
    f->desk.messages.queueAnswer(Answer::Yes);
    f->click("Command2");
    QCOMPARE(f->desk.messages.shown.size(), 1); // only the question
    QCOMPARE(f->contactBytes(), cp1252Lines({Perez}));
    QCOMPARE(f->entries(), QStringList {u"Perez Luis "_qs});
}

void TestMainWindowRecords::delete_allBoxesEmpty()
{
    open({Gomez});
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(apellido, QString());
    f->retype(nombre, QString());
    f->retype(edad, QString());
    QVERIFY(f->button("Command2")->isEnabled());
    f->click("Command2");
    QVERIFY(f->desk.messages.shown.isEmpty());
    QCOMPARE(f->contactBytes(), cp1252Lines({Gomez}));
    QCOMPARE(f->entries().size(), 1);
}

void TestMainWindowRecords::delete_duplicateEqualLines()
{
    // Two equal lines (the file was edited by hand) and one sharing only the key.
    const QString other = rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"50"_qs}});
    open({Gomez, Perez, Gomez, other}, optionLines(u"0"_qs));
    QCOMPARE(f->entries(),
        (QStringList {u"Gomez Ana "_qs, u"Gomez Ana "_qs, u"Gomez Ana "_qs, u"Perez Luis "_qs}));
    f->clickEntry(u"Gomez Ana "_qs, 1);
    QCOMPARE(f->box(edad)->text(), u"34"_qs); // the lookup shows the first line of the key
    f->click("Command2");
    // Every equal line leaves the file; the list follows the file.
    QCOMPARE(f->contactBytes(), cp1252Lines({Perez, other}));
    QCOMPARE(f->entries(), (QStringList {u"Gomez Ana "_qs, u"Perez Luis "_qs}));
    f->clickEntry(u"Gomez Ana "_qs);
    QCOMPARE(f->box(edad)->text(), u"50"_qs);
}

void TestMainWindowRecords::delete_fails()
{
    open({Perez, Gomez});
    const QByteArray before = f->contactBytes();
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(edad, u"40"_qs);
    QVERIFY(QDir().mkdir(f->twinPath())); // the twin cannot be created
    f->desk.messages.queueAnswer(Answer::Yes);
    f->desk.messages.queueAnswer(Answer::Ok);
    f->click("Command2");
    QCOMPARE(f->desk.messages.shown.size(), 2);
    verifyMessage(u"No se pudo borrar el registro. El archivo de datos no fue modificado."_qs, u"Error"_qs,
        Icon::Error, Buttons::Ok, 1);
    QCOMPARE(f->contactBytes(), before);
    QCOMPARE(f->entries(), (QStringList {u"Gomez Ana "_qs, u"Perez Luis "_qs}));
    QCOMPARE(f->box(edad)->text(), u"40"_qs);
    QCOMPARE(f->window->regmostrado(), 1);
    QVERIFY(f->button("Command2")->isEnabled());
}

// --- emptying ----------------------------------------------------------------------------------

void TestMainWindowRecords::empty_state()
{
    const QString photo = f->picture(u"ana.bmp"_qs, Qt::green);
    open({rec(u"Gomez"_qs, u"Ana"_qs, {{ubicacionfoto, photo}}), Perez});
    const QByteArray before = f->contactBytes();
    f->clickEntry(u"Gomez Ana "_qs);
    QVERIFY(f->pictureShown());
    f->click("cmdvaciar");
    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs});
    QVERIFY(f->boxesEmpty());
    QVERIFY(!f->pictureShown());
    QVERIFY(!f->button("Command2")->isEnabled());
    QVERIFY(!f->button("Command7")->isEnabled());
    QVERIFY(!f->button("Command8")->isEnabled());
    QCOMPARE(f->window->cajasvacias(), 1);
    QCOMPARE(f->window->regmostrado(), 1); // the record state stays
    QCOMPARE(f->window->regoriginal(), rec(u"Gomez"_qs, u"Ana"_qs, {{ubicacionfoto, photo}}));
    QCOMPARE(f->contactBytes(), before);
    QCOMPARE(f->selectedRow(), -1);
}

// --- photos ------------------------------------------------------------------------------------

void TestMainWindowRecords::findPhoto_data()
{
    QTest::addColumn<QString>("chosen"); // "" cancels, "bmp"/"jpg" a picture, "text" no picture
    QTest::newRow("cancel") << QString();
    QTest::newRow("bitmap") << u"bmp"_qs;
    QTest::newRow("jpeg") << u"jpg"_qs;
    QTest::newRow("no picture") << u"text"_qs;
}

void TestMainWindowRecords::findPhoto()
{
    QFETCH(QString, chosen);
    const QString old = f->picture(u"vieja.bmp"_qs, Qt::red);
    open({rec(u"Gomez"_qs, u"Ana"_qs, {{ubicacionfoto, old}})});
    f->clickEntry(u"Gomez Ana "_qs);
    QCOMPARE(f->pictureColour(), QColor(Qt::red));
    // "Borrar" disabled beside a shown picture, to see whether a choice touches it.
    f->button("Command8")->setEnabled(false);

    QString path;
    if (chosen == u"bmp")
        path = f->picture(u"nueva.bmp"_qs, Qt::blue, "BMP");
    else if (chosen == u"jpg")
        path = f->picture(u"nueva foto.jpg"_qs, Qt::blue, "JPEG");
    else if (chosen == u"text")
        writeBytes(path = f->desk.programFile(u"texto.jpg"_qs), "texto");
    f->desk.dialogs.queueFile(chosen.isEmpty() ? std::nullopt : std::optional<QString>(path));
    f->click("Command5");

    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs});
    QCOMPARE(f->desk.dialogs.openRequests.last().filter,
        u"JPEG (*.JPG;*.JPEG;*.JPE;*.JFIF)|*.jpg;*.jpeg;*.jpe;*.jfif|Mapa de bits (*.bmp)|*.bmp|GIF (*.gif)|"
        "*.gif|Todos los archivos de imagenes aceptados|*.gif;*.jpg;*.jpeg;*.jpe;*.jfif;*.bmp"_qs);
    QCOMPARE(f->desk.dialogs.openRequests.last().selectedEntry, 4);
    QVERIFY(f->desk.messages.shown.isEmpty());
    if (chosen.isEmpty()) {
        QCOMPARE(f->box(ubicacionfoto)->text(), old);
        QCOMPARE(f->pictureColour(), QColor(Qt::red));
        QVERIFY(!f->button("Command8")->isEnabled());
    } else if (chosen == u"text") {
        // The new location, the old picture, "Borrar" as it was.
        QCOMPARE(f->box(ubicacionfoto)->text(), path);
        QCOMPARE(f->pictureColour(), QColor(Qt::red));
        QVERIFY(!f->button("Command8")->isEnabled());
    } else {
        QCOMPARE(f->box(ubicacionfoto)->text(), path);
        // Stretched to the whole image box.
        QCOMPARE(f->image()->pixmap().size(), f->image()->size());
        QCOMPARE(f->pictureColour().blue() > 200, true);
        QVERIFY(f->button("Command8")->isEnabled());
    }
    // Nothing is written until the contact is saved.
    QCOMPARE(f->contactBytes(), cp1252Lines({rec(u"Gomez"_qs, u"Ana"_qs, {{ubicacionfoto, old}})}));
}

void TestMainWindowRecords::findPhoto_unstorableLocation()
{
    open({Gomez});
    QDir(f->desk.programDir()).mkdir(u"São Paulo"_qs);
    const QString path = f->picture(u"São Paulo/foto.bmp"_qs, Qt::blue, "BMP");
    f->desk.dialogs.queueFile(path);
    f->desk.messages.queueAnswer(Answer::Ok);
    f->click("Command5");
    // The separator in the location would cut the record apart: refused, nothing changes.
    QCOMPARE(f->desk.messages.shown.size(), 1);
    QCOMPARE(f->desk.messages.shown.first().title, u"Error"_qs);
    QCOMPARE(f->desk.messages.shown.first().icon, Icon::Error);
    QCOMPARE(f->box(ubicacionfoto)->text(), QString());
    QVERIFY(!f->pictureShown());
    QVERIFY(!f->button("Command8")->isEnabled());
}

void TestMainWindowRecords::findPhoto_startFolder()
{
    open({Gomez});
    QVERIFY(QDir(f->desk.programDir()).mkpath(u"fotos/viaje"_qs));
    const QString first = f->picture(u"fotos/viaje/playa.bmp"_qs, Qt::blue, "BMP");
    const QString second = f->desk.programFile(u"fotos/nota.jpg"_qs);
    writeBytes(second, "no es una foto");

    // First the pictures folder (the empty start folder), then where the last photo was chosen,
    // whether it loaded or not; a cancelled dialog changes nothing.
    f->desk.dialogs.queueFile(first);
    f->click("Command5");
    f->desk.dialogs.queueFile(second);
    f->click("Command5");
    f->desk.dialogs.queueFile(std::nullopt);
    f->click("Command5");
    f->click("Command5");

    QStringList folders;
    for (const FakeDialogs::OpenRequest &request : std::as_const(f->desk.dialogs.openRequests))
        folders << request.startFolder;
    QCOMPARE(folders,
        (QStringList {QString(), f->desk.programFile(u"fotos/viaje"_qs), f->desk.programFile(u"fotos"_qs),
            f->desk.programFile(u"fotos"_qs)}));
}

void TestMainWindowRecords::removePhoto_data()
{
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("removed");
    QTest::newRow("ok") << u"1"_qs << Answer::Ok << true;
    QTest::newRow("cancel") << u"1"_qs << Answer::Cancel << false;
    QTest::newRow("confirmations off") << u"0"_qs << Answer::Cancel << true;
}

void TestMainWindowRecords::removePhoto()
{
    QFETCH(QString, confirm);
    QFETCH(Answer, answer);
    QFETCH(bool, removed);
    const QString photo = f->picture(u"ana.bmp"_qs, Qt::green);
    open({rec(u"Gomez"_qs, u"Ana"_qs, {{ubicacionfoto, photo}})}, optionLines(confirm));
    f->clickEntry(u"Gomez Ana "_qs);
    f->desk.messages.queueAnswer(answer);
    f->click("Command8");
    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs});
    if (confirm == u"0") {
        QVERIFY(f->desk.messages.shown.isEmpty());
    } else {
        QCOMPARE(f->desk.messages.shown.size(), 1);
        verifyMessage(u"¿Esta seguro que desea quitar la imagen del registro seleccionado?"_qs, u"Orvalia"_qs,
            Icon::Question, Buttons::OkCancel);
    }
    QCOMPARE(f->box(ubicacionfoto)->text(), removed ? QString() : photo);
    QCOMPARE(f->pictureShown(), !removed);
    QCOMPARE(f->button("Command8")->isEnabled(), !removed);
}

void TestMainWindowRecords::removedPhotoIsSavedOnSelection()
{
    const QString photo = f->picture(u"ana.bmp"_qs, Qt::green);
    open({rec(u"Gomez"_qs, u"Ana"_qs, {{ubicacionfoto, photo}}), Perez});
    f->clickEntry(u"Gomez Ana "_qs);
    f->desk.messages.queueAnswer(Answer::Ok);
    f->click("Command8"); // asked and answered OK
    f->desk.messages.queueAnswer(Answer::Yes);
    f->clickEntry(u"Perez Luis "_qs);
    QCOMPARE(f->desk.messages.shown.size(), 2);
    QCOMPARE(f->desk.messages.shown.last().text,
        u"Los datos han sido modificados. ¿Desea guardar el registro con los nuevos datos?"_qs);
    QCOMPARE(f->contactBytes(), cp1252Lines({rec(u"Gomez"_qs, u"Ana"_qs), Perez}));

    // Without confirmations a chosen photo is saved at once.
    f->writeOptions(optionLines(u"0"_qs));
    f->clickEntry(u"Perez Luis "_qs);
    const QString other = f->picture(u"luis.bmp"_qs, Qt::blue);
    f->desk.dialogs.queueFile(other);
    f->click("Command5");
    f->clickEntry(u"Gomez Ana "_qs);
    QCOMPARE(f->desk.messages.shown.size(), 2);
    QCOMPARE(f->contactBytes(),
        cp1252Lines({rec(u"Gomez"_qs, u"Ana"_qs),
            rec(u"Perez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}, {ubicacionfoto, other}})}));
}

void TestMainWindowRecords::openPhoto()
{
    const QString photo = f->picture(u"ana.jpg"_qs, Qt::green, "JPEG");
    const QString text = f->desk.programFile(u"lanzador.desktop"_qs);
    writeBytes(text, "[Desktop Entry]\nExec=rm -rf /\n");
    open({rec(u"Gomez"_qs, u"Ana"_qs, {{ubicacionfoto, photo}}),
        rec(u"Ruiz"_qs, u"Eva"_qs, {{ubicacionfoto, text}}), Perez});

    f->clickEntry(u"Perez Luis "_qs);
    f->desk.messages.queueAnswer(Answer::Ok);
    f->click("Command6");
    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs});
    QCOMPARE(f->desk.messages.shown.size(), 1);
    verifyMessage(u"No se ha especificado ninguna imagen"_qs, u"Error"_qs, Icon::None, Buttons::Ok);
    QVERIFY(f->desk.shell.files.isEmpty());

    f->clickEntry(u"Gomez Ana "_qs);
    f->click("Command6");
    QCOMPARE(f->desk.shell.files, QStringList {photo});
    QCOMPARE(f->desk.messages.shown.size(), 1);

    // A location that names no picture is not handed to the desktop.
    f->clickEntry(u"Ruiz Eva "_qs);
    f->click("Command6");
    QCOMPARE(f->desk.shell.files, QStringList {photo});
    QCOMPARE(f->desk.messages.shown.size(), 1);
}

QTEST_MAIN(TestMainWindowRecords)
#include "tst_main_window_records.moc"
