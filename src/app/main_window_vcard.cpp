// The main window's way in and out for contacts: "Importar contactos..." and "Exportar
// contactos..." in the "Archivo" menu. The files are read and written by RecordSession and
// VCardExport; here are the dialogs, the progress and the messages.

#include "app/main_window.h"
#include "contacts/contact_list_model.h"
#include "contacts/record_session.h"
#include "contacts/vcard_export.h"
#include "contacts/vcard_import.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QStandardPaths>

const QString FrmPrincipal::VCardFilter
    = QStringLiteral("Tarjetas de contacto (*.vcf *.vcard)|*.vcf;*.vcard");

namespace {

const QString Importing = QStringLiteral("Importando contactos...");
const QString Exporting = QStringLiteral("Exportando contactos...");
const QString ImportUnreadable = QStringLiteral(
    "No se pudo leer el archivo %1. Compruebe que sea un archivo de tarjetas de contacto y que usted pueda "
    "leerlo. No se importó ningún contacto.");
const QString ImportFailed
    = QStringLiteral("No se pudieron importar los contactos. El archivo de datos no fue modificado.");
const QString NothingToExport = QStringLiteral("No hay ningún contacto que exportar.");
const QString ExportUnreadable
    = QStringLiteral("No se pudo leer el archivo de contactos (data.orv). No se exportó ningún contacto.");
const QString ExportFailed = QStringLiteral(
    "No se pudieron exportar los contactos a %1. Compruebe que usted pueda escribir en esa carpeta y que el "
    "disco no esté lleno. No se creó ni se modificó ningún archivo.");
const QString ExportedOne = QStringLiteral("Se exportó 1 contacto a %1.");
const QString ExportedSeveral = QStringLiteral("Se exportaron %1 contactos a %2.");

// The progress of an import or an export: a window-modal dialog on the main window that shows
// itself once the work looks like taking longer than the delay, with a "Cancelar".
class Progress
{
public:
    // Each step redraws the bar and lets the window take the "Cancelar": a thousand of them at
    // most, however many cards there are.
    static constexpr int Steps = 1000;

    Progress(QWidget *owner, const QString &label, int delayMs)
        : m_dialog(owner)
    {
        m_dialog.setObjectName(QStringLiteral("progreso"));
        m_dialog.setWindowTitle(MessageBoxes::ProductTitle);
        m_dialog.setLabelText(label);
        m_dialog.setCancelButtonText(QStringLiteral("&Cancelar"));
        m_dialog.setWindowModality(Qt::WindowModal);
        // The bar stays full while the file is put in place; the dialog goes with the work.
        m_dialog.setAutoReset(false);
        m_dialog.setAutoClose(false);
        m_dialog.setRange(0, Steps);
        m_dialog.setMinimumDuration(delayMs);
        m_dialog.setValue(0);
    }

    bool keepGoing(qint64 done, qint64 total)
    {
        const int step = total > 0 ? int(std::clamp<qint64>(done * Steps / total, 0, Steps)) : 0;
        // The reader tells what it has read ahead, then where its cards end: the bar only grows.
        if (step > m_step) {
            m_step = step;
            m_dialog.setValue(step);
        }
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
    int m_step = 0;
};

QString documentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

// Dates as the registration date is written, in the system's short form.
VCardDates systemDates()
{
    return VCardDates::forLocale(QLocale::system());
}

} // namespace

void FrmPrincipal::mnuimportar_Click()
{
    clickSound();
    if (modificationCheck() == Check::Failed)
        return; // the edits stay on screen, unsaved: nothing else happens to the list meanwhile
    QString chosen;
    RecordSession::Imported imported;
    {
        // No click, no update check and no close while the import has the window.
        setEnabled(false);
        const auto enable = qScopeGuard([this] { setEnabled(true); });
        const std::optional<QString> file
            = m_platform.dialogs.openFile(this, VCardFilter, 1, documentsFolder());
        if (!file)
            return;
        chosen = QDir::fromNativeSeparators(*file);
        const VCardImportSettings settings {m_platform.system.currentDateText(), systemDates(),
            QDir(m_platform.system.programDirectory()).filePath(QStringLiteral("Fotos"))};
        Progress progress(this, Importing, m_progressDelayMs);
        imported = m_session->importCards(chosen, settings,
            [&progress](qint64 done, qint64 total) { return progress.keepGoing(done, total); });
    }
    using Outcome = RecordSession::Imported::Outcome;
    switch (imported.outcome) {
    case Outcome::Done:
        // The list was laid out anew: the contact shown keeps its entry selected.
        if (imported.added > 0)
            selectRow(m_session->shownRow());
        m_platform.messages.inform(this, imported.summary.join(QChar(10)));
        return;
    case Outcome::NoCard:
        m_platform.messages.error(this, VCardImport::noCardMessage());
        return;
    case Outcome::CannotRead:
        m_platform.messages.error(this, ImportUnreadable.arg(QFileInfo(chosen).fileName()));
        return;
    case Outcome::Failed:
        m_platform.messages.error(this, ImportFailed);
        return;
    case Outcome::Stopped:
        return; // the user's own choice, and nothing changed
    }
}

void FrmPrincipal::mnuexportar_Click()
{
    clickSound();
    if (modificationCheck() == Check::Failed)
        return;
    if (m_model->count() == 0) {
        m_platform.messages.inform(this, NothingToExport);
        return;
    }
    QString target;
    VCardExport::Result exported;
    {
        setEnabled(false);
        const auto enable = qScopeGuard([this] { setEnabled(true); });
        const std::optional<QString> file = m_platform.dialogs.saveFile(
            this, VCardFilter, QDir(documentsFolder()).filePath(QStringLiteral("contactos.vcf")));
        if (!file)
            return;
        target = QDir::fromNativeSeparators(*file);
        Progress progress(this, Exporting, m_progressDelayMs);
        exported = VCardExport::write(m_contacts, target, systemDates(),
            [&progress](qint64 done, qint64 total) { return progress.keepGoing(done, total); });
    }
    const QString name = QFileInfo(target).fileName();
    switch (exported.outcome) {
    case VCardExport::Outcome::Done:
        m_platform.messages.inform(this,
            exported.cards == 1 ? ExportedOne.arg(name)
                                : ExportedSeveral.arg(QString::number(exported.cards), name));
        return;
    case VCardExport::Outcome::CannotRead:
        if (exported.failure == ContactFile::Failure::TooLarge)
            reportList(exported.failure);
        else
            m_platform.messages.error(this, ExportUnreadable);
        return;
    case VCardExport::Outcome::CannotWrite:
        m_platform.messages.error(this, ExportFailed.arg(name));
        return;
    case VCardExport::Outcome::Stopped:
        return;
    }
}
