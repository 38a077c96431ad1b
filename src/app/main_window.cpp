#include "app/main_window.h"

#include "contacts/contact_list_model.h"
#include "contacts/record_session.h"
#include "options/sound_cue.h"
#include "photo/photo_box.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

using namespace ContactRecord;
using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

namespace {

const QString ModifiedQuestion
    = QStringLiteral("Los datos han sido modificados. ¿Desea guardar el registro con los nuevos datos?");
const QString RequiredFields = QStringLiteral("El nombre y apellido son obligatorios");
const QString AlreadyExists = QStringLiteral("El registro con el nombre y el apellido dado ya existe");
const QString DeleteQuestion = QStringLiteral("¿Esta seguro que desea borrar el registro seleccionado?");
const QString DeleteTitle = QStringLiteral("Administrador De Imagenes");

// Failures the file operations report; the contact file is then as it was.
const QString SaveFailed = QStringLiteral(
    "No se pudieron guardar los cambios del registro. El archivo de datos no fue modificado.");
const QString AddFailed
    = QStringLiteral("No se pudo agregar el registro. El archivo de datos no fue modificado.");
const QString DeleteFailed
    = QStringLiteral("No se pudo borrar el registro. El archivo de datos no fue modificado.");
// The contact file as found at start or on a click.
const QString TwinKept = QStringLiteral(
    "No se encontró el archivo de contactos (data.orv), pero sí una copia incompleta de un cambio que no "
    "terminó (data.orv2). Se guardó sin cambios como %1 y se empezó una lista vacía.");
const QString ContactsTooLarge = QStringLiteral(
    "El archivo de contactos (data.orv) es demasiado grande para la memoria de esta computadora. No se abrió "
    "ni se modificó.");
const QString LineTooLong = QStringLiteral("Este contacto ocupa más de 64 KB y no se puede mostrar. Se "
                                           "conserva sin cambios en el archivo de datos.");
const QString FolderNotWritable = QStringLiteral("Orvalia no puede escribir en su carpeta:") + QChar(10)
    + QStringLiteral("%1") + QChar(10)
    + QStringLiteral(
        "Compruebe que la carpeta exista, que usted pueda escribir en ella y que el disco no esté "
        "lleno. Orvalia se cerrará.");

} // namespace

FrmPrincipal::FrmPrincipal(Platform &platform, QWidget *parent)
    : QMainWindow(parent)
    , m_platform(platform)
    , m_optionsFile(platform.system.programDirectory())
    , m_contacts(platform.system.programDirectory(), platform.attributes)
    , m_endProgram([] { QCoreApplication::exit(0); })
{
    setObjectName(QStringLiteral("FrmPrincipal"));
    setWindowTitle(QStringLiteral("Orvalia - Morq Technologies"));
    setFont(Twips::formFont());
    createControls();
    createMenus();
    connectHandlers();
    const QSize client = Twips::size(11880, 8190);
    resize(client.width(), client.height() + menuBar()->sizeHint().height());
    Form_Load();
}

FrmPrincipal::~FrmPrincipal() = default;

// --- start and options -------------------------------------------------------------------------

void FrmPrincipal::Form_Load()
{
    m_session = std::make_unique<RecordSession>(m_contacts, *m_model);
    switch (m_platform.system.lockSingleInstance()) {
    case System::InstanceLock::Taken:
        break;
    case System::InstanceLock::Failed:
        // No lock, no file either: the program could not keep what the user enters.
        m_platform.messages.error(
            this, FolderNotWritable.arg(QDir::toNativeSeparators(m_platform.system.programDirectory())));
        [[fallthrough]];
    case System::InstanceLock::HeldByAnother:
        // Another instance works on the same files: this one ends at once, without a word.
        m_anotherInstance = true;
        QMetaObject::invokeMethod(
            this, [this] { m_endProgram(); }, Qt::QueuedConnection);
        return;
    }
    conmayu();
    if (m_options.UpdateCheck == u"1")
        timeractu->start();
    aropci();
    buildList();
}

void FrmPrincipal::setVisible(bool visible)
{
    if (visible && m_anotherInstance)
        return;
    QMainWindow::setVisible(visible);
}

void FrmPrincipal::conmayu()
{
    m_options.read(m_optionsFile);
}

void FrmPrincipal::aropci()
{
    // A file that cannot be made is no error: every reader takes the fallbacks instead.
    static_cast<void>(m_optionsFile.createIfMissing());
}

bool FrmPrincipal::IsConnected()
{
    return m_platform.network.isConnected();
}

void FrmPrincipal::clickSound()
{
    conmayu();
    playSoundCue(m_platform.sound, m_options.SoundsOn, ClickSound);
}

// --- the list ----------------------------------------------------------------------------------

void FrmPrincipal::buildList()
{
    RecordSession::Start start;
    {
        const auto changing = changingList();
        start = m_session->start();
        List1->selectionModel()->clear();
    }
    // A file that could not be made ready reads as an empty list, with no message of its own: an
    // add tries again, and says so when it cannot store the contact.
    if (start.file == ContactFile::Start::TwinKept)
        m_platform.messages.inform(this, TwinKept.arg(QFileInfo(start.keptAs).fileName()));
    reportList(start.list);
}

void FrmPrincipal::reportList(ContactFile::Failure failure)
{
    if (failure == ContactFile::Failure::TooLarge)
        m_platform.messages.error(this, ContactsTooLarge);
}

int FrmPrincipal::selectedRow() const
{
    const QModelIndexList selected = List1->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.constFirst().row();
}

QString FrmPrincipal::selectedKey() const
{
    return m_model->keyAt(selectedRow());
}

void FrmPrincipal::selectRow(int row)
{
    const auto changing = changingList();
    if (row < 0)
        List1->selectionModel()->clear();
    else
        List1->selectionModel()->setCurrentIndex(m_model->index(row), QItemSelectionModel::ClearAndSelect);
}

void FrmPrincipal::reloadContacts()
{
    ContactFile::Failure failure = ContactFile::Failure::None;
    {
        const auto changing = changingList();
        failure = m_session->reload();
        List1->selectionModel()->clear();
    }
    clearForm(Borrar::Disabled);
    reportList(failure);
}

int FrmPrincipal::regmostrado() const
{
    return m_session->regmostrado();
}

QString FrmPrincipal::regoriginal() const
{
    return m_session->regoriginal();
}

int FrmPrincipal::cajasvacias() const
{
    return m_session->cajasvacias();
}

// --- showing and saving a contact --------------------------------------------------------------

void FrmPrincipal::List1_Click()
{
    const QString selected = selectedKey();
    if (!selected.isEmpty()) {
        Command2->setEnabled(true);
        Command7->setEnabled(true);
    }
    switch (modificationCheck()) {
    case Check::Unchanged:
    case Check::Declined:
        break;
    case Check::Saved:
        // The user selects again from the fresh list.
        return;
    case Check::Failed:
        // The edits stay on screen, and so does the entry of the contact they belong to.
        selectRow(m_session->shownRow());
        return;
    }
    if (!selected.isEmpty())
        display(selected);
}

void FrmPrincipal::showFound(const QString &key, int row)
{
    // As a click on the entry: unsaved changes of the contact on show are dealt with first.
    if (modificationCheck() == Check::Failed) {
        selectRow(m_session->shownRow());
        return;
    }
    // A save read the list again, and the file may have changed since the search read it: the
    // entry is found by its key when the row holds another.
    if (m_model->keyAt(row) != key) {
        const auto [first, count] = m_model->exactRows(key);
        row = count > 0 ? first : -1;
    }
    if (row < 0)
        return;
    selectRow(row);
    List1->scrollTo(m_model->index(row));
    Command2->setEnabled(true);
    Command7->setEnabled(true);
    display(key);
}

FrmPrincipal::Check FrmPrincipal::modificationCheck()
{
    const Fields typed = boxes();
    if (!m_session->isModified(typed))
        return Check::Unchanged;
    conmayu();
    if (m_options.ConfirmChanges != u"0"
        && m_platform.messages.ask(this, ModifiedQuestion, Buttons::YesNo) != Answer::Yes)
        return Check::Declined;
    {
        const auto changing = changingList();
        if (!m_session->save(typed)) {
            m_platform.messages.error(this, SaveFailed);
            return Check::Failed;
        }
        List1->selectionModel()->clear();
    }
    clearForm(Borrar::AsItWas);
    reportList(m_session->listFailure());
    return Check::Saved;
}

void FrmPrincipal::display(const QString &key)
{
    switch (m_session->show(key)) {
    case RecordSession::Shown::Shown:
        break;
    case RecordSession::Shown::NotFound:
        // The file no longer holds that contact (changed outside the program): nothing to show.
        clearForm(Borrar::Disabled);
        return;
    case RecordSession::Shown::TooLong:
        // Laying out megabytes in the boxes would take minutes; the line stays in the file as it is.
        clearForm(Borrar::Disabled);
        m_platform.messages.error(this, LineTooLong);
        return;
    }
    const Fields fields = m_session->fields();
    for (int i = 0; i < FieldCount; ++i)
        setBoxText(i, fields[i]);
    showPhotoOfRecord(txt[ubicacionfoto]->text());
}

// --- adding, deleting, emptying ----------------------------------------------------------------

void FrmPrincipal::Command1_Click()
{
    clickSound();
    const auto changing = changingList();
    const auto capitalize = [this] {
        conmayu();
        return m_options.Capitalize != u"0";
    };
    switch (m_session->add(boxes(), capitalize)) {
    case RecordSession::Added::MissingName:
        m_platform.messages.error(this, RequiredFields);
        return;
    case RecordSession::Added::Duplicate:
        m_platform.messages.error(this, AlreadyExists, Icon::Information);
        return;
    case RecordSession::Added::Failed:
        // Nothing was stored: what was typed stays for another try.
        m_platform.messages.error(this, AddFailed);
        return;
    case RecordSession::Added::Done:
        break;
    }
    List1->selectionModel()->clear();
    clearForm(Borrar::AsItWas);
}

void FrmPrincipal::Command2_Click()
{
    clickSound();
    if (m_session->regmostrado() != 1)
        return; // nothing stored is shown, so nothing to delete
    const Fields shown = boxes();
    const bool filled
        = std::any_of(shown.cbegin(), shown.cend(), [](const QString &box) { return !box.isEmpty(); });
    conmayu();
    if (m_options.ConfirmChanges != u"0"
        && (!filled
            || m_platform.messages.show(
                   this, DeleteQuestion, DeleteTitle, Icon::Question, Buttons::YesNoCancel)
                != Answer::Yes))
        return;
    {
        const auto changing = changingList();
        if (m_session->remove() != RecordSession::Removed::Done) {
            m_platform.messages.error(this, DeleteFailed);
            return;
        }
        List1->selectionModel()->clear();
    }
    clearForm(Borrar::AsItWas);
    reportList(m_session->listFailure());
}

void FrmPrincipal::cmdvaciar_Click()
{
    clickSound();
    clearForm(Borrar::Disabled);
    m_session->empty();
    // Nothing shown, nothing selected: a click on any entry shows it again.
    selectRow(-1);
}

// --- leaving -----------------------------------------------------------------------------------

void FrmPrincipal::Command4_Click()
{
    if (m_exiting)
        return;
    m_exiting = true;
    // A failed save has been reported and the file is as it was; the program ends all the same.
    modificationCheck();
    m_session->leave();
    timeractu->stop();
    conmayu();
    hide();
    // Saved and out of sight: a new start during the exit sound is no second instance.
    m_platform.system.releaseSingleInstance();
    playSoundCue(m_platform.sound, m_options.SoundsOn, ExitSound);
    Timersalsonido->start();
}

void FrmPrincipal::mnusalir_Click()
{
    Command4_Click();
}

void FrmPrincipal::Timersalsonido_Timer()
{
    Timersalsonido->stop();
    m_endProgram();
}

void FrmPrincipal::Form_Unload()
{
    Command4_Click();
}

void FrmPrincipal::closeEvent(QCloseEvent *event)
{
    if (m_exiting || m_anotherInstance) {
        event->accept();
        return;
    }
    // While another window has the user the close box is as dead as the rest of the window.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    // The exit hides the window at once; the close itself is not let through, since the last
    // window closing would end the program before the end timer and cut the exit sound short.
    Form_Unload();
    event->ignore();
}
