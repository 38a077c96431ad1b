#include "password/frm_olvidoc.h"

#include "options/options_file.h"
#include "options/sound_cue.h"
#include "password/frm_contra.h"
#include "platform/accessible_names.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr qsizetype LongestQuestionShown = 32767;

QLabel *label(const char *name, const QString &text, bool bold, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(Twips::formFont(bold));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}
} // namespace

FrmOlvidoc::FrmOlvidoc(Platform &platform, QWidget *login)
    : QWidget(login, OwnedWindow::ToolFlags)
    , m_platform(platform)
    , m_login(login)
    , Label1(label("Label1",
                   QStringLiteral("Responda la pregunta que usted ingreso correctamente y se le dará su "
                                  "contraseña :"),
                   true, this))
    , Label2(label("Label2", QStringLiteral("Pregunta :"), true, this))
    , lblpreg(label("lblpreg", QString(), true, this))
    , Label3(label("Label3", QStringLiteral("Respuesta :"), true, this))
    , txtresp(new QLineEdit(this))
    , cmdresp(new QPushButton(QStringLiteral("Responder"), this))
    , cmdsalir(new QPushButton(QStringLiteral("Volver"), this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Qt leaves tool windows out of the last-window count; this one is a window of the program.
    setAttribute(Qt::WA_QuitOnClose);
    setWindowTitle(QStringLiteral("¿Olvidó su contraseña?"));
    setFont(Twips::formFont());
    setFixedSize(Twips::size(4680, 3285));

    Label1->setGeometry(Twips::rect(120, 120, 4455, 375));
    Label2->setGeometry(Twips::rect(120, 720, 4455, 255));
    lblpreg->setGeometry(Twips::rect(120, 1080, 4455, 375));
    lblpreg->setTextFormat(Qt::PlainText); // the question is the user's text, never markup
    Label3->setGeometry(Twips::rect(120, 1680, 4455, 255));
    txtresp->setObjectName(QStringLiteral("txtresp"));
    txtresp->setGeometry(Twips::rect(120, 1920, 4455, 285));
    cmdresp->setObjectName(QStringLiteral("cmdresp"));
    cmdresp->setGeometry(Twips::rect(120, 2400, 4455, 375));
    cmdsalir->setObjectName(QStringLiteral("cmdsalir"));
    cmdsalir->setGeometry(Twips::rect(120, 2880, 4455, 375));

    AccessibleNames::nameAfter(Label3, txtresp);

    setTabOrder(txtresp, cmdresp);
    setTabOrder(cmdresp, cmdsalir);

    connect(cmdresp, &QPushButton::clicked, this, &FrmOlvidoc::cmdresp_Click);
    connect(cmdsalir, &QPushButton::clicked, this, &FrmOlvidoc::cmdsalir_Click);
    OwnedWindow::setKeys(this, cmdresp, cmdsalir);

    OwnedWindow::centreOn(this, m_login);
    OwnedWindow::forwardActivation(this, m_login);

    Form_Load();
    // After the load: disabling the login took the focus out of this window too.
    txtresp->setFocus();
}

QString FrmOlvidoc::unreadableFileText()
{
    return QStringLiteral("No se puede leer el archivo de contraseña. No es posible recuperar la "
                          "contraseña.");
}

QString FrmOlvidoc::GetWindows() const
{
    return m_platform.system.passwordDirectory();
}

void FrmOlvidoc::clickSound()
{
    playSoundCue(m_platform.sound, ReadOptions(OptionsFile(m_platform.system.programDirectory())),
                 ClickSound);
}

void FrmOlvidoc::enableLogin()
{
    if (m_login)
        m_login->setEnabled(true);
}

void FrmOlvidoc::Form_Load()
{
    OwnedWindow::disableOwner(this, m_login);
    m_store.emplace(GetWindows());
    m_fileRead = m_store->load();
    preg = m_store->question();
    // No text box stores a longer question; a line of megabytes from an edited file would take the
    // label seconds to lay out, so only its start is shown.
    lblpreg->setText(preg.left(LongestQuestionShown));
}

void FrmOlvidoc::cmdresp_Click()
{
    clickSound();
    // Without the file there is no answer to compare with: an empty one must not reveal anything.
    if (!m_fileRead) {
        m_platform.messages.show(this, unreadableFileText(), QStringLiteral("Error"),
                                 MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
        return;
    }
    // An old file whose answer matches is rewritten in the new form here.
    std::optional<QString> contra;
    {
        const PasswordWindow::WaitCursor wait;
        contra = m_store->recoverPassword(txtresp->text());
    }
    if (contra)
        m_platform.messages.show(this, QStringLiteral("Su contraseña es : ") + *contra,
            QStringLiteral("Orvalia"), MessageBoxes::Icon::Information, MessageBoxes::Buttons::Ok);
    else
        m_platform.messages.show(this, QStringLiteral("La respuesta no es correcta"), QStringLiteral("Error"),
                                 MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
}

void FrmOlvidoc::cmdsalir_Click()
{
    clickSound();
    enableLogin();
    close();
}

void FrmOlvidoc::Form_Unload()
{
    enableLogin();
}

void FrmOlvidoc::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}
