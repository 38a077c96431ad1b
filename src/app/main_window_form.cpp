// The main window's form: its controls at their places, its menus and what each one calls, and
// what its field boxes take.

#include "app/field_validator.h"
#include "app/main_window.h"
#include "contacts/contact_list_model.h"
#include "contacts/field_rules.h"
#include "photo/photo_box.h"
#include "platform/form_builder.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <limits>

using namespace ContactRecord;
using Place = FormBuilder::Place;

namespace {

// txt(0) to txt(17), in twips.
constexpr std::array<Place, FieldCount> BoxPlaces {{
    {3000, 240, 3975, 285},
    {3000, 840, 1575, 285},
    {5400, 840, 1575, 285},
    {3000, 1440, 3975, 285},
    {3000, 2040, 1575, 285},
    {5400, 2040, 1575, 285},
    {3000, 2640, 3975, 285},
    {3000, 3240, 3975, 285},
    {3000, 3840, 1575, 285},
    {5400, 3840, 1575, 285},
    {3000, 4440, 3975, 285},
    {3000, 5040, 3975, 285},
    {3000, 5640, 3975, 285},
    {3000, 6240, 3975, 285},
    {3000, 6840, 1455, 285},
    {5160, 6840, 1455, 285},
    {3000, 7440, 3975, 285},
    {7080, 4080, 3495, 285},
}};

// The field labels stand 240 twips above their boxes, as wide as the box; the photo's is narrower.
const std::array<const char *, FieldCount> LabelTexts {
    "Apellido :",
    "Nombre :",
    "Nick :",
    "Edad :",
    "Localidad :",
    "Provincia :",
    "País :",
    "Domicilio :",
    "Telefono :",
    "Celular :",
    "E-Mail :",
    "Fecha De Alta :",
    "Fecha De Nacimiento :",
    "Situacion Civil :",
    "Peso :",
    "Altura :",
    "Ocupacion :",
    "Ubicación De La Foto :",
};
constexpr int LabelHeight = 255;
constexpr int PhotoLabelWidth = 2055;

} // namespace

QString FrmPrincipal::fieldCaption(int index)
{
    return QString::fromUtf8(LabelTexts.at(index));
}

void FrmPrincipal::createControls()
{
    // The controls keep their places whatever the size of the window: no layout.
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    const FormBuilder form(client);

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
        const QByteArray labelName
            = i == ubicacionfoto ? QByteArray("Label6") : "lbl_" + QByteArray::number(i);
        QLabel *label = form.label(labelName.constData(), fieldCaption(i),
            {box.left, box.top - 240, i == ubicacionfoto ? PhotoLabelWidth : box.width, LabelHeight});
        QLineEdit *edit = form.textBox(("txt_" + QByteArray::number(i)).constData(), box, label);
        edit->setMaxLength(std::numeric_limits<int>::max());
        edit->setValidator(new FieldValidator(i, edit));
        edit->installEventFilter(this);
        txt[i] = edit;
    }
    form.label("lblkgs", QStringLiteral("Kgs"), {4485, 6930, 375, LabelHeight});
    form.label("lblmts", QStringLiteral("Mts"), {6675, 6930, 375, LabelHeight});

    Command8 = form.button("Command8", QStringLiteral("Borrar"), {10680, 4080, 1095, 255});
    Command5 = form.button("Command5", QStringLiteral("Buscar Foto"), {7080, 4560, 4695, 375});
    Command6 = form.button("Command6", QStringLiteral("Abrir Foto"), {7080, 4920, 4695, 375});
    Command1 = form.button("Command1", QStringLiteral("Agregar"), {7080, 5640, 2295, 375});
    cmdvaciar = form.button("cmdvaciar", QStringLiteral("Vaciar Cajas De Texto"), {9480, 5640, 2295, 375});
    Command2 = form.button("Command2", QStringLiteral("Quitar"), {7080, 6120, 2295, 375});
    Command7 = form.button("Command7", QStringLiteral("Imprimir"), {9480, 6120, 2295, 375});
    cmdoptions = form.button("cmdoptions", QStringLiteral("Opciones..."), {7080, 6840, 2295, 375});
    cmdacerca = form.button("cmdacerca", QStringLiteral("Acerca De..."), {9480, 6840, 2295, 375});
    Command4 = form.button("Command4", QStringLiteral("Salir"), {7080, 7320, 4695, 375});
    Command8->setEnabled(false);
    Command2->setEnabled(false);
    Command7->setEnabled(false);

    Image1 = new PhotoBox(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(Twips::rect(7080, 120, 4695, 3615));
    Image1->setAccessibleName(QStringLiteral("Foto"));

    // One pixel high, from the left of the buttons to the window's right edge.
    for (const auto &[name, top] : {std::pair("Line1", 5460), std::pair("Line2", 6660)}) {
        QFrame *line = form.line(name, {7080, top, 11760 - 7080, Twips::PerPixel}, QFrame::Plain);
        line->setLineWidth(1);
    }

    // Tab order: the list, the boxes, then the buttons top to bottom.
    QList<QWidget *> order {List1};
    for (QLineEdit *box : txt)
        order << box;
    order << Command8 << Command5 << Command6 << Command1 << cmdvaciar << Command2 << Command7 << cmdoptions
          << cmdacerca << Command4;
    FormBuilder::tabOrder(order);
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
    const auto menu = [this](const char *name, const QString &caption) {
        QMenu *added = menuBar()->addMenu(caption);
        added->setObjectName(QLatin1String(name));
        return added;
    };
    const auto entry
        = [this](QMenu *into, const char *name, const QString &caption, void (FrmPrincipal::*handler)()) {
              QAction *action = into->addAction(caption);
              action->setObjectName(QLatin1String(name));
              connect(action, &QAction::triggered, this, handler);
              return action;
          };
    mnuarchi = menu("mnuarchi", QStringLiteral("&Archivo"));
    mnuimportar = entry(
        mnuarchi, "mnuimportar", QStringLiteral("&Importar contactos..."), &FrmPrincipal::mnuimportar_Click);
    mnuexportar = entry(
        mnuarchi, "mnuexportar", QStringLiteral("&Exportar contactos..."), &FrmPrincipal::mnuexportar_Click);
    mnuarchi->addSeparator()->setObjectName(QStringLiteral("mnuguion3"));
    mnusalir = entry(mnuarchi, "mnusalir", QStringLiteral("&Salir"), &FrmPrincipal::mnusalir_Click);

    mnuherra = menu("mnuherra", QStringLiteral("&Herramientas"));
    mnubuscar
        = entry(mnuherra, "mnubuscar", QStringLiteral("Buscar &contacto..."), &FrmPrincipal::mnubuscar_Click);
    mnubuscar->setShortcut(QKeySequence::Find);
    mnuherra->addSeparator()->setObjectName(QStringLiteral("mnuguion4"));
    mnubusactu = entry(mnuherra, "mnubusactu", QStringLiteral("&Buscar actualizaciones..."),
        &FrmPrincipal::mnubusactu_Click);
    mnuherra->addSeparator()->setObjectName(QStringLiteral("mnuguion"));
    mnuopciones
        = entry(mnuherra, "mnuopciones", QStringLiteral("&Opciones..."), &FrmPrincipal::mnuopciones_Click);

    mnuayuda = menu("mnuayuda", QStringLiteral("Ay&uda"));
    mnumorqweb = entry(mnuayuda, "mnumorqweb", QStringLiteral("&Morq Technologies En La WEB"),
        &FrmPrincipal::mnumorqweb_Click);
    mnuayuda->addSeparator()->setObjectName(QStringLiteral("mnuguion2"));
    mnuacerca = entry(mnuayuda, "mnuacerca", QStringLiteral("&Acerca De..."), &FrmPrincipal::mnuacerca_Click);
}

void FrmPrincipal::connectHandlers()
{
    connect(List1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this](const QItemSelection &selected) {
            if (!m_listChanging && !selected.isEmpty())
                List1_Click();
        });
    const std::pair<QPushButton *, void (FrmPrincipal::*)()> buttons[] = {
        {Command1, &FrmPrincipal::Command1_Click},
        {Command2, &FrmPrincipal::Command2_Click},
        {cmdvaciar, &FrmPrincipal::cmdvaciar_Click},
        {Command4, &FrmPrincipal::Command4_Click},
        {Command5, &FrmPrincipal::Command5_Click},
        {Command6, &FrmPrincipal::Command6_Click},
        {Command7, &FrmPrincipal::Command7_Click},
        {Command8, &FrmPrincipal::Command8_Click},
        {cmdoptions, &FrmPrincipal::cmdoptions_Click},
        {cmdacerca, &FrmPrincipal::cmdacerca_Click},
    };
    for (const auto &[button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, handler);
    connect(timeractu, &QTimer::timeout, this, &FrmPrincipal::timeractu_Timer);
    connect(Timersalsonido, &QTimer::timeout, this, &FrmPrincipal::Timersalsonido_Timer);
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
