// The search window on the fake desktop, with the real main window behind it.

#include "app/search_window.h"
#include "contacts/contact_record.h"
#include "tst_main_window_fixture.h"
#include "window_driver.h"

#include <QMenuBar>
#include <QPointer>
#include <QStringListModel>

#include <sys/stat.h>

using namespace ContactRecord;

namespace {

const QString ModifiedQuestion
    = u"Los datos han sido modificados. ¿Desea guardar el registro con los nuevos datos?"_qs;

void processDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestSearchWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void ctrlFOpensItOverTheDisabledMainWindow();
    void typingCountsAndLists();
    void enterShowsTheContactAsAClickWould();
    void choosingWithUnsavedChangesAsksFirst_data();
    void choosingWithUnsavedChangesAsksFirst();
    void escapeChangesNothing();
    void unreadableFileShowsNothing();
    void noKeystrokeReadsTheFile();

private:
    FrmBuscar *openSearch();
    QLineEdit *query(FrmBuscar *search) const { return control<QLineEdit>(search, "txtbuscar"); }
    QListView *results(FrmBuscar *search) const { return control<QListView>(search, "lstresultados"); }
    QStringList shownResults(FrmBuscar *search) const
    {
        return static_cast<QStringListModel *>(results(search)->model())->stringList();
    }
    QString count(FrmBuscar *search) const { return control<QLabel>(search, "lblcuenta")->text(); }

    std::unique_ptr<MainWindowFixture> f;
};

void TestSearchWindow::init()
{
    f = std::make_unique<MainWindowFixture>();
    f->writeOptions(optionLines());
    f->writeContacts({
        rec(u"Peña"_qs, u"Ana"_qs, {{telefono, u"0176 12345678"_qs}, {localidad, u"Rosario"_qs}}),
        rec(u"Álvarez"_qs, u"Luis"_qs, {{celular, u"(0341) 555-1234"_qs}, {localidad, u"Rosario"_qs}}),
        rec(u"Gómez"_qs, u"Rosa"_qs, {{email, u"rosa@correo.example"_qs}}),
        rec(u"Zapata"_qs, u"Emilio"_qs, {{localidad, u"Córdoba"_qs}}),
    });
    f->open();
}

void TestSearchWindow::cleanup()
{
    f.reset();
}

FrmBuscar *TestSearchWindow::openSearch()
{
    // The shortcut belongs to the main window: it works while that window is the active one.
    f->window->activateWindow();
    if (!QTest::qWaitForWindowActive(f->window.get()))
        return nullptr;
    QTest::keyClick(f->window.get(), Qt::Key_F, Qt::ControlModifier);
    return openWindow<FrmBuscar>();
}

void TestSearchWindow::ctrlFOpensItOverTheDisabledMainWindow()
{
    f->desk.sound.played.clear();
    FrmBuscar *search = openSearch();
    QVERIFY(search);
    QCOMPARE(search->windowTitle(), u"Buscar contacto"_qs);
    QCOMPARE(search->parentWidget(), f->window.get());
    QVERIFY(!f->window->isEnabled());
    QVERIFY(search->isEnabled());
    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs});
    QVERIFY(query(search)->hasFocus() || QApplication::focusWidget() == nullptr);
    QCOMPARE(query(search)->accessibleName(), u"Buscar"_qs);
    // An empty query: no results, no count, no error.
    QVERIFY(shownResults(search).isEmpty());
    QCOMPARE(count(search), QString());
    QVERIFY(f->desk.messages.shown.isEmpty());
    search->close();
    QVERIFY(f->window->isEnabled());
}

void TestSearchWindow::typingCountsAndLists()
{
    FrmBuscar *search = openSearch();
    QVERIFY(search);
    QTest::keyClicks(query(search), u"rosario"_qs);
    QCOMPARE(shownResults(search),
        QStringList({u"Álvarez Luis — Localidad: Rosario"_qs, u"Peña Ana — Localidad: Rosario"_qs}));
    QCOMPARE(count(search), u"2 contactos"_qs);

    // Several words, each in some field; accents and case do not count.
    query(search)->clear();
    QTest::keyClicks(query(search), u"ROSARIO pena"_qs);
    QCOMPARE(shownResults(search), QStringList {u"Peña Ana — Localidad: Rosario"_qs});
    QCOMPARE(count(search), u"1 contacto"_qs);

    // A number with another spacing is found by its digits.
    query(search)->clear();
    QTest::keyClicks(query(search), u"0176-1234"_qs);
    QCOMPARE(shownResults(search), QStringList {u"Peña Ana — Telefono: 0176 12345678"_qs});
    query(search)->clear();
    QTest::keyClicks(query(search), u"341555"_qs);
    QCOMPARE(shownResults(search), QStringList {u"Álvarez Luis — Celular: (0341) 555-1234"_qs});

    query(search)->clear();
    QTest::keyClicks(query(search), u"Mendoza"_qs);
    QVERIFY(shownResults(search).isEmpty());
    QCOMPARE(count(search), u"Ningún contacto"_qs);
    QVERIFY(f->desk.messages.shown.isEmpty());
}

void TestSearchWindow::enterShowsTheContactAsAClickWould()
{
    QPointer<FrmBuscar> search = openSearch();
    QVERIFY(search);
    QTest::keyClicks(query(search), u"rosario"_qs);
    // Down moves to the second result while the typing stays in the box.
    QTest::keyClick(query(search), Qt::Key_Down);
    QTest::keyClick(query(search), Qt::Key_Return);
    processDeletes();
    QVERIFY(!search);
    QVERIFY(f->window->isEnabled());
    QCOMPARE(f->box(apellido)->text(), u"Peña"_qs);
    QCOMPARE(f->box(telefono)->text(), u"0176 12345678"_qs);
    QCOMPARE(f->list()->model()->index(f->selectedRow(), 0).data().toString(), u"Peña Ana "_qs);
    QVERIFY(f->button("Command2")->isEnabled());
    QVERIFY(f->button("Command7")->isEnabled());
    QCOMPARE(f->window->regmostrado(), 1);

    // A double-click on a result does the same.
    search = openSearch();
    QTest::keyClicks(query(search), u"cordoba"_qs);
    const QModelIndex first = results(search)->model()->index(0, 0);
    // As the desktop delivers one: a click, then the second press as a double-click.
    const QPoint on = results(search)->visualRect(first).center();
    QTest::mouseClick(results(search)->viewport(), Qt::LeftButton, {}, on);
    QVERIFY(search);
    QTest::mouseDClick(results(search)->viewport(), Qt::LeftButton, {}, on);
    processDeletes();
    QVERIFY(!search);
    QCOMPARE(f->box(apellido)->text(), u"Zapata"_qs);
    QVERIFY(f->desk.messages.shown.isEmpty());
}

void TestSearchWindow::choosingWithUnsavedChangesAsksFirst_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("storedPhone");
    QTest::newRow("saved") << Answer::Yes << u"999"_qs;
    QTest::newRow("declined") << Answer::No << u"0176 12345678"_qs;
}

// The edits of the contact on show are never lost without the question.
void TestSearchWindow::choosingWithUnsavedChangesAsksFirst()
{
    QFETCH(Answer, answer);
    QFETCH(QString, storedPhone);
    f->clickEntry(u"Peña Ana "_qs);
    f->retype(telefono, u"999"_qs);
    FrmBuscar *search = openSearch();
    QVERIFY(search);
    QTest::keyClicks(query(search), u"emilio"_qs);
    f->desk.messages.queueAnswer(answer);
    QTest::keyClick(query(search), Qt::Key_Return);
    QCOMPARE(f->desk.messages.shown.size(), 1);
    QCOMPARE(f->desk.messages.shown.constFirst().text, ModifiedQuestion);
    QCOMPARE(f->desk.messages.shown.constFirst().buttons, Buttons::YesNo);
    QVERIFY(f->contactBytes().contains(storedPhone.toLatin1()));
    // Asked or saved, the chosen contact is on show afterwards.
    QCOMPARE(f->box(apellido)->text(), u"Zapata"_qs);
    QCOMPARE(f->list()->model()->index(f->selectedRow(), 0).data().toString(), u"Zapata Emilio "_qs);
}

void TestSearchWindow::escapeChangesNothing()
{
    f->clickEntry(u"Gómez Rosa "_qs);
    f->retype(nick, u"Rosi"_qs);
    const int selected = f->selectedRow();
    const QByteArray stored = f->contactBytes();
    QPointer<FrmBuscar> search = openSearch();
    QTest::keyClicks(query(search), u"zapata"_qs);
    QTest::keyClick(query(search), Qt::Key_Escape);
    processDeletes();
    QVERIFY(!search);
    QVERIFY(f->window->isEnabled());
    QCOMPARE(f->box(nick)->text(), u"Rosi"_qs);
    QCOMPARE(f->selectedRow(), selected);
    QCOMPARE(f->contactBytes(), stored);
    QVERIFY(f->desk.messages.shown.isEmpty());
}

// A contact file that cannot be read (here a FIFO, which must not block the window) is said once,
// and the window shows nothing rather than results from before.
void TestSearchWindow::unreadableFileShowsNothing()
{
    QVERIFY(QFile::remove(f->dataPath()));
    QVERIFY(::mkfifo(QFile::encodeName(f->dataPath()).constData(), 0600) == 0);
    f->desk.messages.queueAnswer(Answer::Ok);
    FrmBuscar *search = openSearch();
    QVERIFY(search);
    QCOMPARE(f->desk.messages.shown.size(), 1);
    QCOMPARE(f->desk.messages.shown.constFirst().text, FrmBuscar::unreadableFileText());
    QCOMPARE(f->desk.messages.shown.constFirst().title, u"Error"_qs);
    QCOMPARE(f->desk.messages.shown.constFirst().icon, Icon::Error);
    QTest::keyClicks(query(search), u"rosario"_qs);
    QVERIFY(shownResults(search).isEmpty());
    QCOMPARE(count(search), QString());
}

// What the window found when it opened is what it searches: typing never goes back to the file.
void TestSearchWindow::noKeystrokeReadsTheFile()
{
    FrmBuscar *search = openSearch();
    QVERIFY(search);
    f->writeContacts({rec(u"Nuevo"_qs, u"Contacto"_qs, {{localidad, u"Rosario"_qs}})});
    QTest::keyClicks(query(search), u"rosario"_qs);
    QCOMPARE(count(search), u"2 contactos"_qs);
    // Chosen now, the contact is shown from the file as it stands: it is gone, and nothing is.
    QTest::keyClick(query(search), Qt::Key_Return);
    QVERIFY(f->window->isEnabled());
    QVERIFY(f->boxesEmpty());
    QCOMPARE(f->window->regmostrado(), 0);
}

QTEST_MAIN(TestSearchWindow)
#include "tst_search_window.moc"
