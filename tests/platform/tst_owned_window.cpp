#include "platform/accessible_names.h"
#include "platform/owned_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {

// A secondary window as the program builds them: a box, an accepting and a cancelling button and
// a check box, owned by a main window.
struct Secondary
{
    explicit Secondary(QWidget *owner, Qt::WindowFlags flags = OwnedWindow::DialogFlags)
        : window(new QWidget(owner, flags))
        , box(new QLineEdit(window))
        , other(new QCheckBox(QStringLiteral("Otra"), window))
        , accept(new QPushButton(QStringLiteral("Aceptar"), window))
        , cancel(new QPushButton(QStringLiteral("Cancelar"), window))
        , accepted(accept, &QPushButton::clicked)
        , cancelled(cancel, &QPushButton::clicked)
    {
        window->resize(300, 200);
        box->setGeometry(10, 10, 200, 20);
        other->setGeometry(10, 40, 200, 20);
        accept->setGeometry(10, 80, 90, 25);
        cancel->setGeometry(110, 80, 90, 25);
        accept->setAutoDefault(false);
        cancel->setAutoDefault(false);
        OwnedWindow::setKeys(window, accept, cancel);
    }

    QWidget *window;
    QLineEdit *box;
    QCheckBox *other;
    QPushButton *accept;
    QPushButton *cancel;
    QSignalSpy accepted;
    QSignalSpy cancelled;
};

} // namespace

class TestOwnedWindow : public QObject
{
    Q_OBJECT

private slots:
    void flags();
    void disablingTheOwnerKeepsTheWindowUsable();
    void centredOnTheShownOwner();
    void centredOnTheScreenWithoutAShownOwner();
    void keptInsideTheScreen();
    void keys_data();
    void keys();
    void keysOfDisabledButtonsDoNothing();
    void activatingTheDisabledOwnerActivatesTheWindow();
    void namesAfterLabels_data();
    void namesAfterLabels();
};

void TestOwnedWindow::flags()
{
    QWidget owner;
    QWidget dialog(&owner, OwnedWindow::DialogFlags);
    QWidget tool(&owner, OwnedWindow::ToolFlags);
    QVERIFY(dialog.isWindow());
    QCOMPARE(dialog.windowType(), Qt::Dialog);
    QCOMPARE(tool.windowType(), Qt::Tool);
    for (const QWidget *window : {&dialog, &tool}) {
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    }
}

void TestOwnedWindow::disablingTheOwnerKeepsTheWindowUsable()
{
    QWidget owner;
    auto *ownerButton = new QPushButton(&owner);
    Secondary secondary(&owner);
    secondary.other->setEnabled(false); // the window's own choice
    QWidget grandchild(secondary.window, OwnedWindow::ToolFlags);

    OwnedWindow::disableOwner(secondary.window, &owner);
    QVERIFY(!owner.isEnabled());
    QVERIFY(!ownerButton->isEnabled());
    QVERIFY(secondary.window->isEnabled());
    QVERIFY(secondary.box->isEnabled());
    QVERIFY(secondary.accept->isEnabled());
    QVERIFY(!secondary.other->isEnabled());

    // A window of the secondary one disables both owners and stays usable itself.
    OwnedWindow::disableOwner(&grandchild, secondary.window);
    QVERIFY(!secondary.window->isEnabled());
    QVERIFY(grandchild.isEnabled());
    // Given back, the secondary window is usable again while its own owner stays disabled.
    secondary.window->setEnabled(true);
    QVERIFY(secondary.box->isEnabled());
    QVERIFY(!secondary.other->isEnabled());
    QVERIFY(!owner.isEnabled());
    owner.setEnabled(true);
    QVERIFY(ownerButton->isEnabled());

    OwnedWindow::disableOwner(secondary.window, nullptr); // no owner: nothing to do
    QVERIFY(secondary.window->isEnabled());
}

void TestOwnedWindow::centredOnTheShownOwner()
{
    QWidget owner;
    owner.setGeometry(40, 60, 600, 400);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QWidget window(&owner, OwnedWindow::DialogFlags);
    window.resize(201, 101);
    OwnedWindow::centreOn(&window, &owner);
    QCOMPARE(window.size(), QSize(201, 101));
    QVERIFY((window.geometry().center() - owner.geometry().center()).manhattanLength() <= 1);
    // A control of the owner stands for its window.
    auto *control = new QPushButton(&owner);
    control->setGeometry(0, 0, 30, 20);
    OwnedWindow::centreOn(&window, control);
    QVERIFY((window.geometry().center() - owner.geometry().center()).manhattanLength() <= 1);
}

void TestOwnedWindow::centredOnTheScreenWithoutAShownOwner()
{
    QWidget hidden;
    hidden.setGeometry(0, 0, 100, 100);
    QWidget window;
    window.resize(300, 200);
    for (QWidget *owner : {&hidden, static_cast<QWidget *>(nullptr)}) {
        OwnedWindow::centreOn(&window, owner);
        const QRect screen = window.screen()->availableGeometry();
        QVERIFY((window.geometry().center() - screen.center()).manhattanLength() <= 1);
    }
}

void TestOwnedWindow::keptInsideTheScreen()
{
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    QWidget owner;
    owner.setGeometry(screen.right() - 100, screen.bottom() - 80, 100, 80);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QWidget window(&owner, OwnedWindow::DialogFlags);
    window.resize(400, 300);
    OwnedWindow::centreOn(&window, &owner);
    QVERIFY2(screen.contains(window.geometry()),
        qPrintable(QStringLiteral("%1,%2").arg(window.x()).arg(window.y())));

    // Larger than the screen: its top-left corner stays on it.
    owner.move(screen.topLeft());
    window.resize(screen.width() + 50, screen.height() + 50);
    OwnedWindow::centreOn(&window, &owner);
    QCOMPARE(window.geometry().topLeft(), screen.topLeft());
}

void TestOwnedWindow::keys_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("accepts");
    QTest::addColumn<int>("cancels");

    QTest::newRow("Enter in the box") << "box" << int(Qt::Key_Return) << Qt::KeyboardModifiers() << 1 << 0;
    QTest::newRow("keypad Enter in the box")
        << "box" << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << 1 << 0;
    QTest::newRow("Enter on the check box")
        << "other" << int(Qt::Key_Return) << Qt::KeyboardModifiers() << 1 << 0;
    QTest::newRow("Enter on Cancelar presses it")
        << "cancel" << int(Qt::Key_Return) << Qt::KeyboardModifiers() << 0 << 1;
    QTest::newRow("Escape in the box") << "box" << int(Qt::Key_Escape) << Qt::KeyboardModifiers() << 0 << 1;
    QTest::newRow("Escape on Aceptar")
        << "accept" << int(Qt::Key_Escape) << Qt::KeyboardModifiers() << 0 << 1;
    QTest::newRow("Ctrl+Enter") << "box" << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ControlModifier)
                                << 0 << 0;
    QTest::newRow("another key") << "box" << int(Qt::Key_F1) << Qt::KeyboardModifiers() << 0 << 0;
}

void TestOwnedWindow::keys()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, accepts);
    QFETCH(int, cancels);

    QWidget owner;
    Secondary secondary(&owner);
    secondary.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(secondary.window));
    QWidget *target = focus == u"box" ? static_cast<QWidget *>(secondary.box)
        : focus == u"other"           ? static_cast<QWidget *>(secondary.other)
        : focus == u"accept"          ? static_cast<QWidget *>(secondary.accept)
                                      : static_cast<QWidget *>(secondary.cancel);
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key), modifiers);
    QCOMPARE(secondary.accepted.size(), accepts);
    QCOMPARE(secondary.cancelled.size(), cancels);
    // The check box was not toggled by Enter, the box kept its text.
    QVERIFY(!secondary.other->isChecked());
}

void TestOwnedWindow::keysOfDisabledButtonsDoNothing()
{
    QWidget owner;
    Secondary secondary(&owner);
    secondary.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(secondary.window));
    secondary.accept->setEnabled(false);
    secondary.cancel->hide();
    secondary.box->setFocus();
    QTest::keyClick(secondary.box, Qt::Key_Return);
    QTest::keyClick(secondary.box, Qt::Key_Escape);
    QCOMPARE(secondary.accepted.size(), 0);
    QCOMPARE(secondary.cancelled.size(), 0);

    // Held down, Enter presses once.
    secondary.accept->setEnabled(true);
    QTest::sendKeyEvent(QTest::Press, secondary.box, Qt::Key_Return, QString(), Qt::NoModifier);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), /*autorep=*/true);
    QApplication::sendEvent(secondary.box, &repeat);
    QCOMPARE(secondary.accepted.size(), 1);
}

void TestOwnedWindow::activatingTheDisabledOwnerActivatesTheWindow()
{
    QWidget owner;
    owner.resize(400, 300);
    owner.show();
    QVERIFY(QTest::qWaitForWindowActive(&owner));
    QWidget window(&owner, OwnedWindow::DialogFlags);
    window.resize(200, 100);
    OwnedWindow::forwardActivation(&window, &owner);
    window.show();
    QTRY_COMPARE(QApplication::activeWindow(), &window);

    // Enabled, the owner keeps its activation.
    owner.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &owner);
    QTest::qWait(20);
    QCOMPARE(QApplication::activeWindow(), &owner);

    // Disabled, it hands it on.
    window.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &window);
    OwnedWindow::disableOwner(&window, &owner);
    owner.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &window);

    // Hidden, the window takes nothing.
    window.hide();
    owner.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &owner);
    QTest::qWait(20);
    QCOMPARE(QApplication::activeWindow(), &owner);
}

void TestOwnedWindow::namesAfterLabels_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("name");
    QTest::newRow("colon after a blank") << "Fecha De Alta :"
                                         << "Fecha De Alta";
    QTest::newRow("colon alone") << "Respuesta:"
                                 << "Respuesta";
    QTest::newRow("accents") << "Ubicación De La Foto :"
                             << "Ubicación De La Foto";
    QTest::newRow("no colon") << "Kgs"
                              << "Kgs";
    QTest::newRow("colon inside") << "Hora: minutos"
                                  << "Hora: minutos";
}

void TestOwnedWindow::namesAfterLabels()
{
    QFETCH(QString, caption);
    QFETCH(QString, name);
    QWidget form;
    auto *label = new QLabel(caption, &form);
    auto *box = new QLineEdit(&form);
    AccessibleNames::nameAfter(label, box);
    QCOMPARE(box->accessibleName(), name);
    QCOMPARE(label->buddy(), box);
    QCOMPARE(label->text(), caption);
}

QTEST_MAIN(TestOwnedWindow)
#include "tst_owned_window.moc"
