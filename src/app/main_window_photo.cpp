// The main window's photo: the picture of the contact shown, and the buttons that choose, open
// and remove it.

#include "app/main_window.h"
#include "photo/photo_box.h"
#include "photo/photo_loader.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

using namespace ContactRecord;
using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

const QString FrmPrincipal::PhotoFilter = QStringLiteral(
    "JPEG (*.JPG;*.JPEG;*.JPE;*.JFIF)|*.jpg;*.jpeg;*.jpe;*.jfif|Mapa de bits (*.bmp)|*.bmp|GIF (*.gif)|*.gif|"
    "Todos los archivos de imagenes aceptados|*.gif;*.jpg;*.jpeg;*.jpe;*.jfif;*.bmp");

namespace {

const QString RemovePhotoQuestion
    = QStringLiteral("¿Esta seguro que desea quitar la imagen del registro seleccionado?");
const QString NoPhoto = QStringLiteral("No se ha especificado ninguna imagen");
const QString PhotoMissing = QStringLiteral("La imagen no se puede abrir o ha sido borrada") + QChar(10)
    + QStringLiteral("Se aconseja que borre la ubicación de la foto o seleccione otra ubicación");
const QString PhotoPathUnstorable = QStringLiteral("La ubicación de la imagen contiene caracteres que no se "
                                                   "pueden guardar. Elija una imagen de otra carpeta "
                                                   "o cambie el nombre del archivo.");

} // namespace

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
        m_platform.messages.error(this, PhotoMissing);
        break;
    case PhotoLoader::Status::NotAPicture:
        // The previous picture and the state of "Borrar" stay.
        break;
    }
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
        m_platform.messages.error(this, PhotoPathUnstorable);
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
        m_platform.messages.error(this, NoPhoto, Icon::None);
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
        && m_platform.messages.ask(this, RemovePhotoQuestion, Buttons::OkCancel) != Answer::Ok)
        return;
    setBoxText(ubicacionfoto, QString());
    Image1->clear();
    Command8->setEnabled(false);
}
