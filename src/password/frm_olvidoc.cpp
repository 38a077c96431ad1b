#include "password/frm_olvidoc.h"

#include "options/sound_cue.h"
#include "password/password_window.h"
#include "platform/form_builder.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr qsizetype LongestQuestionShown = 32767;

} // namespace

FrmOlvidoc::FrmOlvidoc(Platform &platform, QWidget *login)
    : SecondaryWindow(
        login, OwnedWindow::ToolFlags, QStringLiteral("¿Olvidó su contraseña?"), Twips::size(4680, 3285))
    , m_platform(platform)
{
    // Qt leaves tool windows out of the last-window count; this one is a window of the program.
    setAttribute(Qt::WA_QuitOnClose);

    // The labels flow over as many lines as they need, in the forms' font: the question is the
    // user's and may be long.
    using Flow = FormBuilder::Flow;
    using Fit = FormBuilder::Fit;
    const FormBuilder form(this);
    Label1 = form.label("Label1",
        QStringLiteral("Responda la pregunta que usted ingreso correctamente y se le dará su contraseña :"),
        {120, 120, 4455, 375}, Flow::Wrapped, Fit::AsLaidOut);
    Label2 = form.label(
        "Label2", QStringLiteral("Pregunta :"), {120, 720, 4455, 255}, Flow::Wrapped, Fit::AsLaidOut);
    // The question is the user's text, never markup.
    lblpreg = form.label("lblpreg", QString(), {120, 1080, 4455, 375}, Flow::Wrapped, Fit::AsLaidOut);
    Label3 = form.label(
        "Label3", QStringLiteral("Respuesta :"), {120, 1680, 4455, 255}, Flow::Wrapped, Fit::AsLaidOut);
    txtresp = form.textBox("txtresp", {120, 1920, 4455, 285}, Label3);
    cmdresp = form.button("cmdresp", QStringLiteral("Responder"), {120, 2400, 4455, 375});
    cmdsalir = form.button("cmdsalir", QStringLiteral("Volver"), {120, 2880, 4455, 375});
    FormBuilder::tabOrder({txtresp, cmdresp, cmdsalir});

    connect(cmdresp, &QPushButton::clicked, this, &FrmOlvidoc::cmdresp_Click);
    connect(cmdsalir, &QPushButton::clicked, this, &FrmOlvidoc::cmdsalir_Click);
    OwnedWindow::setKeys(this, cmdresp, cmdsalir);

    load();
    // After the load: disabling the login took the focus out of this window too.
    txtresp->setFocus();
}

QString FrmOlvidoc::GetWindows() const
{
    return m_platform.system.passwordDirectory();
}

void FrmOlvidoc::Form_Load()
{
    SecondaryWindow::Form_Load();
    m_store.emplace(GetWindows());
    m_fileRead = m_store->load();
    preg = m_store->question();
    // No text box stores a longer question; a line of megabytes from an edited file would take the
    // label seconds to lay out, so only its start is shown.
    lblpreg->setText(preg.left(LongestQuestionShown));
}

void FrmOlvidoc::cmdresp_Click()
{
    playClickSound(m_platform.sound, m_platform.system.programDirectory());
    // Without the file there is no answer to compare with: an empty one must not reveal anything.
    if (!m_fileRead) {
        m_platform.messages.error(this, unreadableFileText());
        return;
    }
    // An old file whose answer matches is rewritten in the new form here.
    std::optional<QString> contra;
    {
        const WaitCursor wait;
        contra = m_store->recoverPassword(txtresp->text());
    }
    if (contra)
        m_platform.messages.inform(this, QStringLiteral("Su contraseña es : ") + *contra);
    else
        m_platform.messages.error(this, QStringLiteral("La respuesta no es correcta"));
}

void FrmOlvidoc::cmdsalir_Click()
{
    playClickSound(m_platform.sound, m_platform.system.programDirectory());
    close();
}
