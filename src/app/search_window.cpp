#include "app/search_window.h"

#include "app/main_window.h"
#include "contacts/contact_file.h"
#include "platform/accessible_names.h"
#include "platform/form_builder.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStringListModel>

FrmBuscar::FrmBuscar(Platform &platform, QWidget *mainWindow, const ContactListModel *list)
    : SecondaryWindow(
        mainWindow, OwnedWindow::DialogFlags, QStringLiteral("Buscar contacto"), Twips::size(6255, 5175))
    , m_platform(platform)
    , m_list(list)
{
    setObjectName(QStringLiteral("FrmBuscar"));

    const FormBuilder form(this);
    lblbuscar = form.label("lblbuscar", QStringLiteral("Buscar :"), {120, 120, 6015, 255});
    txtbuscar = form.textBox("txtbuscar", {120, 360, 6015, 285}, lblbuscar);
    m_texts = new QStringListModel(this);
    lstresultados = new QListView(this);
    lstresultados->setObjectName(QStringLiteral("lstresultados"));
    lstresultados->setGeometry(Twips::rect(120, 720, 6015, 3855));
    lstresultados->setModel(m_texts);
    lstresultados->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstresultados->setSelectionMode(QAbstractItemView::SingleSelection);
    lstresultados->setUniformItemSizes(true);
    lstresultados->setAccessibleName(QStringLiteral("Resultados"));
    lblcuenta = form.label("lblcuenta", QString(), {120, 4680, 6015, 255});
    lblcuenta->setFont(Twips::formFont());
    FormBuilder::tabOrder({txtbuscar, lstresultados});

    connect(txtbuscar, &QLineEdit::textChanged, this, &FrmBuscar::txtbuscar_Change);
    // Enter takes the current result, from the box as from the list; so does a double-click.
    connect(
        txtbuscar, &QLineEdit::returnPressed, this, [this] { choose(lstresultados->currentIndex().row()); });
    connect(lstresultados, &QListView::activated, this,
        [this](const QModelIndex &index) { choose(index.row()); });
    // The arrows move through the results while the typing goes on in the box.
    txtbuscar->installEventFilter(this);
    setClosedByEscape();
}

QString FrmBuscar::unreadableFileText()
{
    return QStringLiteral("No se pudo leer el archivo de contactos (data.orv). No es posible buscar.");
}

QString FrmBuscar::resultText(const ContactSearch::Result &result)
{
    // The list text is the key without the blank that ends it.
    const QString listText = result.key.endsWith(u' ') ? result.key.chopped(1) : result.key;
    const QString label = AccessibleNames::fromCaption(FrmPrincipal::fieldCaption(result.field));
    return listText + QStringLiteral(" — ") + label + QStringLiteral(": ") + result.text;
}

void FrmBuscar::Form_Load()
{
    SecondaryWindow::Form_Load();
    m_search = ContactSearch::fromFile(
        ContactFile(m_platform.system.programDirectory(), m_platform.attributes).path(), m_list);
    if (!m_search)
        m_platform.messages.error(this, unreadableFileText());
    txtbuscar->setFocus();
}

void FrmBuscar::txtbuscar_Change()
{
    ContactSearch::Results results;
    if (m_search)
        results = m_search->find(txtbuscar->text());
    m_shown = std::move(results.shown);
    QStringList texts;
    texts.reserve(qsizetype(m_shown.size()));
    for (const ContactSearch::Result &result : m_shown)
        texts << resultText(result);
    m_texts->setStringList(texts);
    if (!m_shown.empty())
        lstresultados->setCurrentIndex(m_texts->index(0));
    // An empty query is no search: no count either.
    const bool searched = m_search && !txtbuscar->text().trimmed().isEmpty();
    lblcuenta->setText(searched ? ContactSearch::countText(results.count) : QString());
}

bool FrmBuscar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtbuscar && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            QCoreApplication::sendEvent(lstresultados, event);
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmBuscar::choose(int shownRow)
{
    if (m_chosen || shownRow < 0 || shownRow >= int(m_shown.size()))
        return;
    m_chosen = true;
    const ContactSearch::Result chosen = m_shown[shownRow];
    // The main window is given back first: it asks about unsaved changes as the owner of its box.
    close();
    emit contactChosen(chosen.key, chosen.row);
}
