#include "app/main_window.h"

#include "app/about_window.h"
#include "app/field_validator.h"
#include "contacts/contact_list_model.h"
#include "contacts/field_rules.h"
#include "contacts/record_session.h"
#include "options/frm_options.h"
#include "options/sound_cue.h"
#include "photo/photo_box.h"
#include "photo/photo_loader.h"
#include "platform/accessible_names.h"
#include "platform/platform.h"
#include "platform/twips.h"
#include "print/card_job.h"
#include "update/frm_bus_actu.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <limits>

using namespace ContactRecord;
using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

const QString FrmPrincipal::PhotoFilter = QStringLiteral(
    "JPEG (*.JPG;*.JPEG;*.JPE;*.JFIF)|*.jpg;*.jpeg;*.jpe;*.jfif|Mapa de bits (*.bmp)|*.bmp|GIF (*.gif)|*.gif|"
    "Todos los archivos de imagenes aceptados|*.gif;*.jpg;*.jpeg;*.jpe;*.jfif;*.bmp");

namespace {

const QString Product = QStringLiteral("Orvalia");
const QString ErrorTitle = QStringLiteral("Error");

const QString ModifiedQuestion =
    QStringLiteral("Los datos han sido modificados. ¿Desea guardar el registro con los nuevos datos?");
const QString RequiredFields = QStringLiteral("El nombre y apellido son obligatorios");
const QString AlreadyExists = QStringLiteral("El registro con el nombre y el apellido dado ya existe");
const QString DeleteQuestion = QStringLiteral("¿Esta seguro que desea borrar el registro seleccionado?");
const QString DeleteTitle = QStringLiteral("Administrador De Imagenes");
const QString RemovePhotoQuestion =
    QStringLiteral("¿Esta seguro que desea quitar la imagen del registro seleccionado?");
const QString NoPhoto = QStringLiteral("No se ha especificado ninguna imagen");
const QString PhotoMissing = QStringLiteral("La imagen no se puede abrir o ha sido borrada") + QChar(10)
    + QStringLiteral("Se aconseja que borre la ubicación de la foto o seleccione otra ubicación");

// Failures the file operations report; the contact file is then as it was.
const QString SaveFailed =
    QStringLiteral("No se pudieron guardar los cambios del registro. El archivo de datos no fue modificado.");
const QString AddFailed = QStringLiteral("No se pudo agregar el registro. El archivo de datos no fue modificado.");
const QString DeleteFailed = QStringLiteral("No se pudo borrar el registro. El archivo de datos no fue modificado.");
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

const QString PhotoPathUnstorable = QStringLiteral(
    "La ubicación de la imagen contiene caracteres que no se pueden guardar. Elija una imagen de otra carpeta "
    "o cambie el nombre del archivo.");

struct Place
{
    int left, top, width, height;
};

// txt(0) to txt(17), in twips.
constexpr std::array<Place, FieldCount> BoxPlaces{{
    {3000, 240, 3975, 285},  {3000, 840, 1575, 285},  {5400, 840, 1575, 285},  {3000, 1440, 3975, 285},
    {3000, 2040, 1575, 285}, {5400, 2040, 1575, 285}, {3000, 2640, 3975, 285}, {3000, 3240, 3975, 285},
    {3000, 3840, 1575, 285}, {5400, 3840, 1575, 285}, {3000, 4440, 3975, 285}, {3000, 5040, 3975, 285},
    {3000, 5640, 3975, 285}, {3000, 6240, 3975, 285}, {3000, 6840, 1455, 285}, {5160, 6840, 1455, 285},
    {3000, 7440, 3975, 285}, {7080, 4080, 3495, 285},
}};

// The field labels stand 240 twips above their boxes, as wide as the box; the photo's is narrower.
const std::array<const char *, FieldCount> LabelTexts{
    "Apellido :",         "Nombre :",          "Nick :",          "Edad :",
    "Localidad :",        "Provincia :",       "País :",          "Domicilio :",
    "Telefono :",         "Celular :",         "E-Mail :",        "Fecha De Alta :",
    "Fecha De Nacimiento :", "Situacion Civil :", "Peso :",        "Altura :",
    "Ocupacion :",        "Ubicación De La Foto :",
};
constexpr int LabelHeight = 255;
constexpr int PhotoLabelWidth = 2055;

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

void FrmPrincipal::createControls()
{
    // The controls keep their places whatever the size of the window: no layout.
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    m_model = new ContactListModel(this);
    List1 = new QListView(client);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setModel(m_model);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setUniformItemSizes(true); // a hundred thousand entries cost nothing to lay out
    List1->setGeometry(Twips::rect(120, 120, 2775, 7665));
    List1->setAccessibleName(QStringLiteral("Contactos"));

    for (int i = 0; i < FieldCount; ++i) {
        const Place &box = BoxPlaces[i];
        auto *label = new QLabel(QString::fromUtf8(LabelTexts[i]), client);
        label->setObjectName(i == ubicacionfoto ? QStringLiteral("Label6") : QStringLiteral("lbl_%1").arg(i));
        label->setFont(Twips::formFont(true));
        label->setGeometry(Twips::rect(box.left, box.top - 240, i == ubicacionfoto ? PhotoLabelWidth : box.width,
                                       LabelHeight));

        auto *edit = new QLineEdit(client);
        edit->setObjectName(QStringLiteral("txt_%1").arg(i));
        edit->setMaxLength(std::numeric_limits<int>::max());
        edit->setGeometry(Twips::rect(box.left, box.top, box.width, box.height));
        edit->setValidator(new FieldValidator(i, edit));
        edit->installEventFilter(this);
        AccessibleNames::nameAfter(label, edit);
        txt[i] = edit;
    }

    const auto unitLabel = [client](const char *name, const QString &text, int left) {
        auto *label = new QLabel(text, client);
        label->setObjectName(QString::fromLatin1(name));
        label->setFont(Twips::formFont(true));
        label->setGeometry(Twips::rect(left, 6930, 375, LabelHeight));
    };
    unitLabel("lblkgs", QStringLiteral("Kgs"), 4485);
    unitLabel("lblmts", QStringLiteral("Mts"), 6675);

    const auto button = [client](const char *name, const QString &text, Place place) {
        auto *b = new QPushButton(text, client);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        b->setGeometry(Twips::rect(place.left, place.top, place.width, place.height));
        return b;
    };
    Command8 = button("Command8", QStringLiteral("Borrar"), {10680, 4080, 1095, 255});
    Command5 = button("Command5", QStringLiteral("Buscar Foto"), {7080, 4560, 4695, 375});
    Command6 = button("Command6", QStringLiteral("Abrir Foto"), {7080, 4920, 4695, 375});
    Command1 = button("Command1", QStringLiteral("Agregar"), {7080, 5640, 2295, 375});
    cmdvaciar = button("cmdvaciar", QStringLiteral("Vaciar Cajas De Texto"), {9480, 5640, 2295, 375});
    Command2 = button("Command2", QStringLiteral("Quitar"), {7080, 6120, 2295, 375});
    Command7 = button("Command7", QStringLiteral("Imprimir"), {9480, 6120, 2295, 375});
    cmdoptions = button("cmdoptions", QStringLiteral("Opciones..."), {7080, 6840, 2295, 375});
    cmdacerca = button("cmdacerca", QStringLiteral("Acerca De..."), {9480, 6840, 2295, 375});
    Command4 = button("Command4", QStringLiteral("Salir"), {7080, 7320, 4695, 375});
    Command8->setEnabled(false);
    Command2->setEnabled(false);
    Command7->setEnabled(false);

    Image1 = new PhotoBox(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(Twips::rect(7080, 120, 4695, 3615));
    Image1->setAccessibleName(QStringLiteral("Foto"));

    const auto line = [client](const char *name, int y) {
        auto *l = new QFrame(client);
        l->setObjectName(QString::fromLatin1(name));
        l->setFrameShape(QFrame::HLine);
        l->setFrameShadow(QFrame::Plain);
        l->setLineWidth(1);
        l->setGeometry(Twips::toPixels(7080), Twips::toPixels(y), Twips::toPixels(11760 - 7080), 1);
    };
    line("Line1", 5460);
    line("Line2", 6660);

    // Tab order: the list, the boxes, then the buttons top to bottom.
    QList<QWidget *> order{List1};
    for (QLineEdit *box : txt)
        order << box;
    order << Command8 << Command5 << Command6 << Command1 << cmdvaciar << Command2 << Command7 << cmdoptions
          << cmdacerca << Command4;
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    List1->setFocus();

    Timersalsonido = new QTimer(this);
    Timersalsonido->setObjectName(QStringLiteral("Timersalsonido"));
    Timersalsonido->setInterval(ExitDelayMs);
    timeractu = new QTimer(this);
    timeractu->setObjectName(QStringLiteral("timeractu"));
    timeractu->setInterval(UpdateCheckDelayMs);
}

// Each caption carries an access key (Alt and the underlined letter); the words stay the same.
void FrmPrincipal::createMenus()
{
    mnuarchi = menuBar()->addMenu(QStringLiteral("&Archivo"));
    mnuarchi->setObjectName(QStringLiteral("mnuarchi"));
    mnusalir = mnuarchi->addAction(QStringLiteral("&Salir"));
    mnusalir->setObjectName(QStringLiteral("mnusalir"));

    mnuherra = menuBar()->addMenu(QStringLiteral("&Herramientas"));
    mnuherra->setObjectName(QStringLiteral("mnuherra"));
    mnubusactu = mnuherra->addAction(QStringLiteral("&Buscar actualizaciones..."));
    mnubusactu->setObjectName(QStringLiteral("mnubusactu"));
    mnuherra->addSeparator()->setObjectName(QStringLiteral("mnuguion"));
    mnuopciones = mnuherra->addAction(QStringLiteral("&Opciones..."));
    mnuopciones->setObjectName(QStringLiteral("mnuopciones"));

    mnuayuda = menuBar()->addMenu(QStringLiteral("Ay&uda"));
    mnuayuda->setObjectName(QStringLiteral("mnuayuda"));
    mnumorqweb = mnuayuda->addAction(QStringLiteral("&Morq Technologies En La WEB"));
    mnumorqweb->setObjectName(QStringLiteral("mnumorqweb"));
    mnuayuda->addSeparator()->setObjectName(QStringLiteral("mnuguion2"));
    mnuacerca = mnuayuda->addAction(QStringLiteral("&Acerca De..."));
    mnuacerca->setObjectName(QStringLiteral("mnuacerca"));
}

void FrmPrincipal::connectHandlers()
{
    connect(List1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected) {
                if (!m_listChanging && !selected.isEmpty())
                    List1_Click();
            });
    connect(Command1, &QPushButton::clicked, this, &FrmPrincipal::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmPrincipal::Command2_Click);
    connect(cmdvaciar, &QPushButton::clicked, this, &FrmPrincipal::cmdvaciar_Click);
    connect(Command4, &QPushButton::clicked, this, &FrmPrincipal::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &FrmPrincipal::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &FrmPrincipal::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &FrmPrincipal::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &FrmPrincipal::Command8_Click);
    connect(cmdoptions, &QPushButton::clicked, this, &FrmPrincipal::cmdoptions_Click);
    connect(cmdacerca, &QPushButton::clicked, this, &FrmPrincipal::cmdacerca_Click);
    connect(mnusalir, &QAction::triggered, this, &FrmPrincipal::mnusalir_Click);
    connect(mnuopciones, &QAction::triggered, this, &FrmPrincipal::mnuopciones_Click);
    connect(mnuacerca, &QAction::triggered, this, &FrmPrincipal::mnuacerca_Click);
    connect(mnubusactu, &QAction::triggered, this, &FrmPrincipal::mnubusactu_Click);
    connect(mnumorqweb, &QAction::triggered, this, &FrmPrincipal::mnumorqweb_Click);
    connect(timeractu, &QTimer::timeout, this, &FrmPrincipal::timeractu_Timer);
    connect(Timersalsonido, &QTimer::timeout, this, &FrmPrincipal::Timersalsonido_Timer);
}

// --- start and options -------------------------------------------------------------------------

void FrmPrincipal::Form_Load()
{
    m_session = std::make_unique<RecordSession>(m_contacts, *m_model);
    switch (m_platform.system.lockSingleInstance()) {
    case System::InstanceLock::Taken:
        break;
    case System::InstanceLock::Failed:
        // No lock, no file either: the program could not keep what the user enters.
        message(FolderNotWritable.arg(QDir::toNativeSeparators(m_platform.system.programDirectory())),
            ErrorTitle, Icon::Error, Buttons::Ok);
        [[fallthrough]];
    case System::InstanceLock::HeldByAnother:
        // Another instance works on the same files: this one ends at once, without a word.
        m_anotherInstance = true;
        QMetaObject::invokeMethod(this, [this] { m_endProgram(); }, Qt::QueuedConnection);
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

Answer FrmPrincipal::message(const QString &text, const QString &title, Icon icon, Buttons buttons)
{
    return m_platform.messages.show(this, text, title, icon, buttons);
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
        message(TwinKept.arg(QFileInfo(start.keptAs).fileName()), Product, Icon::Information, Buttons::Ok);
    reportList(start.list);
}

void FrmPrincipal::reportList(ContactFile::Failure failure)
{
    if (failure == ContactFile::Failure::TooLarge)
        message(ContactsTooLarge, ErrorTitle, Icon::Error, Buttons::Ok);
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

// --- the boxes ---------------------------------------------------------------------------------

ContactRecord::Fields FrmPrincipal::boxes() const
{
    Fields fields;
    for (int i = 0; i < FieldCount; ++i)
        fields[i] = txt[i]->text();
    return fields;
}

void FrmPrincipal::setBoxText(int index, const QString &text)
{
    // Text the program puts in was not typed: the key rules do not apply to it, but nothing the
    // file cannot hold gets in.
    QLineEdit *box = txt[index];
    const QValidator *validator = box->validator();
    box->setValidator(nullptr);
    box->setText(storable(text));
    box->setValidator(validator);
}

void FrmPrincipal::clearBoxes()
{
    for (int i = 0; i < FieldCount; ++i)
        setBoxText(i, QString());
}

void FrmPrincipal::clearForm(Borrar borrar)
{
    clearBoxes();
    Image1->clear();
    Command2->setEnabled(false);
    Command7->setEnabled(false);
    if (borrar == Borrar::Disabled)
        Command8->setEnabled(false);
}

void FrmPrincipal::txt_KeyPress(int Index, int &KeyAscii) const
{
    if (!FieldRules::typable(Index, KeyAscii))
        KeyAscii = 0;
}

void FrmPrincipal::txt_GotFocus(int Index)
{
    if (Index == fechaalta)
        setBoxText(fechaalta, m_platform.system.currentDateText());
}

bool FrmPrincipal::eventFilter(QObject *watched, QEvent *event)
{
    const auto box = std::find(txt.cbegin(), txt.cend(), watched);
    if (box == txt.cend())
        return QMainWindow::eventFilter(watched, event);
    const int index = int(box - txt.cbegin());
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        for (int code : FieldRules::typedCodes(key->key(), key->modifiers(), key->text())) {
            txt_KeyPress(index, code);
            if (code == 0)
                return true;
        }
    } else if (event->type() == QEvent::FocusIn) {
        // Coming back from another window or a menu is no new visit to the box.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            txt_GotFocus(index);
    }
    return QMainWindow::eventFilter(watched, event);
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

FrmPrincipal::Check FrmPrincipal::modificationCheck()
{
    const Fields typed = boxes();
    if (!m_session->isModified(typed))
        return Check::Unchanged;
    conmayu();
    if (m_options.ConfirmChanges != u"0"
        && message(ModifiedQuestion, Product, Icon::Question, Buttons::YesNo) != Answer::Yes)
        return Check::Declined;
    {
        const auto changing = changingList();
        if (!m_session->save(typed)) {
            message(SaveFailed, ErrorTitle, Icon::Error, Buttons::Ok);
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
        message(LineTooLong, ErrorTitle, Icon::Error, Buttons::Ok);
        return;
    }
    const Fields fields = m_session->fields();
    for (int i = 0; i < FieldCount; ++i)
        setBoxText(i, fields[i]);
    showPhotoOfRecord(txt[ubicacionfoto]->text());
}

void FrmPrincipal::showPhotoOfRecord(const QString &path)
{
    const PhotoLoader::Result photo = PhotoLoader::load(path);
    switch (photo.status) {
    case PhotoLoader::Status::Empty:
        Image1->clear();
        Command8->setEnabled(false);
        break;
    case PhotoLoader::Status::Loaded:
        Image1->setPicture(photo.image);
        Command8->setEnabled(true);
        break;
    case PhotoLoader::Status::Missing:
        // The previous contact's picture goes before the user is told. The stale location stays
        // in its box, so that "Borrar" or "Buscar Foto" can mend it.
        Image1->clear();
        Command8->setEnabled(true);
        message(PhotoMissing, ErrorTitle, Icon::Error, Buttons::Ok);
        break;
    case PhotoLoader::Status::NotAPicture:
        // The previous picture and the state of "Borrar" stay.
        break;
    }
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
        message(RequiredFields, ErrorTitle, Icon::Error, Buttons::Ok);
        return;
    case RecordSession::Added::Duplicate:
        message(AlreadyExists, ErrorTitle, Icon::Information, Buttons::Ok);
        return;
    case RecordSession::Added::Failed:
        // Nothing was stored: what was typed stays for another try.
        message(AddFailed, ErrorTitle, Icon::Error, Buttons::Ok);
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
            || message(DeleteQuestion, DeleteTitle, Icon::Question, Buttons::YesNoCancel) != Answer::Yes))
        return;
    {
        const auto changing = changingList();
        if (m_session->remove() != RecordSession::Removed::Done) {
            message(DeleteFailed, ErrorTitle, Icon::Error, Buttons::Ok);
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

// --- photo -------------------------------------------------------------------------------------

void FrmPrincipal::Command5_Click()
{
    clickSound();
    const std::optional<QString> file = m_platform.dialogs.openFile(this, PhotoFilter, 4, m_photoFolder);
    if (!file)
        return;
    m_photoFolder = QFileInfo(QDir::fromNativeSeparators(*file)).absolutePath();
    if (storable(*file) != *file) {
        // The location would be stored mangled and name another file.
        message(PhotoPathUnstorable, ErrorTitle, Icon::Error, Buttons::Ok);
        return;
    }
    setBoxText(ubicacionfoto, *file);
    const PhotoLoader::Result photo = PhotoLoader::load(*file);
    if (photo.status != PhotoLoader::Status::Loaded)
        return;
    Image1->setPicture(photo.image);
    if (!txt[ubicacionfoto]->text().isEmpty())
        Command8->setEnabled(true);
}

void FrmPrincipal::Command6_Click()
{
    clickSound();
    const QString path = txt[ubicacionfoto]->text();
    if (path.isEmpty()) {
        message(NoPhoto, ErrorTitle, Icon::None, Buttons::Ok);
        return;
    }
    // Only a picture is handed to the desktop: a location read from a file must not start a
    // program or a launcher.
    if (PhotoLoader::isPicture(path))
        m_platform.shell.openFile(path);
}

void FrmPrincipal::Command8_Click()
{
    clickSound();
    if (m_options.ConfirmChanges != u"0"
        && message(RemovePhotoQuestion, Product, Icon::Question, Buttons::OkCancel) != Answer::Ok)
        return;
    setBoxText(ubicacionfoto, QString());
    Image1->clear();
    Command8->setEnabled(false);
}

// --- printing and the other windows ------------------------------------------------------------

void FrmPrincipal::Command7_Click()
{
    clickSound();
    CardJob(m_platform, m_optionsFile, m_options).run(this, boxes());
}

void FrmPrincipal::cmdoptions_Click()
{
    clickSound();
    auto *options = new FrmOptions(m_platform, this);
    connect(options, &FrmOptions::backupRestored, this, &FrmPrincipal::reloadContacts);
    options->show();
}

void FrmPrincipal::cmdacerca_Click()
{
    clickSound();
    (new FrmAcerca(this))->show();
}

void FrmPrincipal::mnuopciones_Click()
{
    cmdoptions_Click();
}

void FrmPrincipal::mnuacerca_Click()
{
    cmdacerca_Click();
}

void FrmPrincipal::mnubusactu_Click()
{
    (new FrmBusActu(m_platform, this))->show();
}

void FrmPrincipal::mnumorqweb_Click()
{
    m_platform.shell.openUrl(QUrl(QStringLiteral(ORVALIA_WEB_PAGE)));
}

void FrmPrincipal::timeractu_Timer()
{
    // While another window has the user (options, about, a password window) or the program is
    // leaving, the check waits: the update window would take the main window from under it.
    if (m_exiting || !isVisible() || !isEnabled())
        return;
    if (!IsConnected())
        return;
    timeractu->stop();
    auto *update = new FrmBusActu(m_platform, this);
    update->show();
    update->txtcomohacer->setText(QStringLiteral("1"));
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
