#include "password/frm_contra.h"

#include "options/options_file.h"
#include "options/sound_cue.h"
#include "password/password_store.h"
#include "platform/accessible_names.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/text_file.h"
#include "platform/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

namespace {

class StorableTextValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &) const override
    {
        for (const QChar c : std::as_const(input)) {
            if (c == u'\r' || c == u'\n' || !Windows1252::canEncode(c))
                return Invalid;
        }
        return Acceptable;
    }
};

} // namespace

void PasswordWindow::setUp(QWidget *window, QWidget *owner, const QString &caption, QSize clientSize)
{
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(caption);
    window->setFont(Twips::formFont());
    window->setFixedSize(clientSize);
    OwnedWindow::centreOn(window, owner);
    OwnedWindow::forwardActivation(window, owner);
}

QLabel *PasswordWindow::label(QWidget *window, const char *name, const QString &caption, QRect geometry,
                              bool wrap)
{
    auto *label = new QLabel(caption, window);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setFont(Twips::formFont(/*bold=*/true));
    if (wrap) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    Twips::shrinkToFit(label);
    return label;
}

QPushButton *PasswordWindow::button(QWidget *window, const char *name, const QString &caption, QRect geometry)
{
    auto *button = new QPushButton(caption, window);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QLineEdit *PasswordWindow::textBox(
    QWidget *window, QLabel *label, const char *name, QRect geometry, bool masked)
{
    auto *box = new QLineEdit(window);
    box->setObjectName(QLatin1String(name));
    AccessibleNames::nameAfter(label, box);
    box->setGeometry(geometry);
    box->setValidator(new StorableTextValidator(box));
    if (masked) {
        box->setEchoMode(QLineEdit::Password);
        box->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    }
    return box;
}

PasswordWindow::WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

PasswordWindow::WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

FrmContra::FrmContra(Platform &platform, QWidget *optionsWindow, QWidget *mainWindow)
    : QWidget(optionsWindow, OwnedWindow::ToolFlags)
    , m_platform(platform)
    , m_optionsWindow(optionsWindow)
    , m_mainWindow(mainWindow)
{
    using PasswordWindow::label;
    using PasswordWindow::textBox;
    using Twips::rect;
    PasswordWindow::setUp(this, optionsWindow, QStringLiteral("Orvalia - Proteger mediante contraseña"),
        Twips::size(4680, 4545));

    Label1 = label(this, "Label1", QStringLiteral("Contraseña :"), rect(120, 120, 4455, 255));
    txtcontra = textBox(this, Label1, "txtcontra", rect(120, 360, 4455, 285), /*masked=*/true);
    Label2 = label(this, "Label2", QStringLiteral("Re-tipee contraseña :"), rect(120, 720, 4455, 255));
    txtrecontra = textBox(this, Label2, "txtrecontra", rect(120, 960, 4455, 285), /*masked=*/true);

    auto *Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line1->setGeometry(rect(120, 1440 - 15, 4560 - 120, 30));

    Label3 = label(this, "Label3", QStringLiteral("Pregunta secreta :"), rect(120, 1680, 4455, 255));
    txtpreg = textBox(this, Label3, "txtpreg", rect(120, 1920, 4455, 285), /*masked=*/false);
    Label4 = label(this, "Label4", QStringLiteral("Respuesta secreta :"), rect(120, 2400, 4455, 255));
    txtresp = textBox(this, Label4, "txtresp", rect(120, 2640, 4455, 285), /*masked=*/false);
    cmdaccept
        = PasswordWindow::button(this, "cmdaccept", QStringLiteral("Aceptar"), rect(120, 3120, 2175, 375));
    cmdcancel
        = PasswordWindow::button(this, "cmdcancel", QStringLiteral("Cancelar"), rect(2400, 3120, 2175, 375));
    Label5 = label(this, "Label5",
        QStringLiteral("En caso de que olvide su contraseña, usted tendrá la opción de que Orvalia le "
                       "haga la pregunta secreta que usted tipeo y si la contesta bien (\"Respuesta "
                       "secreta\"), el sistema le mostrará su contraseña."),
        rect(120, 3720, 4455, 855), /*wrap=*/true);

    setTabOrder(txtcontra, txtrecontra);
    setTabOrder(txtrecontra, txtpreg);
    setTabOrder(txtpreg, txtresp);
    setTabOrder(txtresp, cmdaccept);
    setTabOrder(cmdaccept, cmdcancel);

    connect(cmdaccept, &QPushButton::clicked, this, &FrmContra::cmdaccept_Click);
    connect(cmdcancel, &QPushButton::clicked, this, &FrmContra::cmdcancel_Click);
    OwnedWindow::setKeys(this, cmdaccept, cmdcancel);
    Form_Load();
}

QString FrmContra::GetWindows() const
{
    return m_platform.system.passwordDirectory();
}

void FrmContra::Form_Load()
{
    OwnedWindow::disableOwner(this, m_optionsWindow);
    OwnedWindow::disableOwner(this, m_mainWindow);
}

void FrmContra::cmdaccept_Click()
{
    clickSound();
    if (txtcontra->text().isEmpty() || txtrecontra->text().isEmpty() || txtpreg->text().isEmpty()
        || txtresp->text().isEmpty()) {
        refuse(QStringLiteral("Se deben completar todos los datos"));
        return;
    }
    // Exact text: letter case and blanks count.
    if (txtcontra->text() != txtrecontra->text()) {
        refuse(QStringLiteral("Las contraseñas no coinciden"));
        return;
    }
    // The password file first: protection must not be switched on without a password to ask for.
    PasswordStore store(GetWindows());
    const PasswordFile &passwordFile = store.file();
    // A file that is there but cannot be kept aside could not be put back after a failure below.
    const std::optional<QByteArray> previous = passwordFile.saved();
    bool written = false;
    if (previous || !passwordFile.present()) {
        const PasswordWindow::WaitCursor wait;
        written = store.create(txtcontra->text(), txtpreg->text(), txtresp->text());
    }
    if (!written) {
        m_platform.messages.show(this,
            QStringLiteral("No se pudo guardar la contraseña en el archivo de contraseña. "
                           "La protección no ha sido activada."),
            QStringLiteral("Error"), MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
        return;
    }
    const OptionsFile options(m_platform.system.programDirectory());
    if (!options.updateLine(OptionsFile::PasswordProtection, QStringLiteral("1"))) {
        // The password in force must not change while protection is reported as not activated.
        passwordFile.putBack(previous);
        m_platform.messages.show(this,
            QStringLiteral("No se pudo guardar la opción de protección. "
                           "La protección no ha sido activada."),
            QStringLiteral("Error"), MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
        return;
    }
    aceptado = true;
    close();
}

void FrmContra::cmdcancel_Click()
{
    clickSound();
    if (m_optionsWindow)
        m_optionsWindow->setEnabled(true);
    emit closedWithoutPassword();
    close();
}

void FrmContra::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void FrmContra::Form_Unload()
{
    // The main window stays disabled: the options window, still open, enables it when it closes.
    if (m_optionsWindow)
        m_optionsWindow->setEnabled(true);
    if (!aceptado)
        emit closedWithoutPassword();
}

void FrmContra::clickSound()
{
    playSoundCue(
        m_platform.sound, ReadOptions(OptionsFile(m_platform.system.programDirectory())), ClickSound);
}

void FrmContra::refuse(const QString &text)
{
    m_platform.messages.show(this, text, QStringLiteral("Error"), MessageBoxes::Icon::Information,
                             MessageBoxes::Buttons::Ok);
}
