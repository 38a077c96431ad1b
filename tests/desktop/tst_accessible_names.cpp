// What a screen reader finds in the program's windows, read as it reads them: through QAccessible.
#include "app/main_window.h"
#include "fake_platform.h"
#include "options/frm_options.h"
#include "password/frm_cam_cont.h"
#include "password/frm_contra.h"
#include "password/frm_contra_pri.h"
#include "password/frm_olvidoc.h"
#include "window_driver.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPointer>
#include <QTest>

namespace {

QString accessibleName(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

// The widget that labels this one, as a screen reader learns it.
QObject *labelledBy(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    if (!iface)
        return nullptr;
    const auto relations = iface->relations(QAccessible::Label);
    return relations.isEmpty() ? nullptr : relations.constFirst().first->object();
}

const QStringList DefaultOptions {"1", "1", "0", "0", "0", "0", "0", "1"};

} // namespace

class TestAccessibleNames : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fieldBoxes_data();
    void fieldBoxes();
    void noUnnamedTextField();
    void listAndPhoto();
    void menus();
    void passwordBoxes_data();
    void passwordBoxes();

private:
    FrmPrincipal *openMain();

    std::unique_ptr<TestPlatform> m_desktop;
};

void TestAccessibleNames::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    QFile options(m_desktop->programFile(u"Agenda.opt"_qs));
    QVERIFY(options.open(QIODevice::WriteOnly));
    options.write(cp1252Lines(DefaultOptions));
}

void TestAccessibleNames::cleanup()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *widget : QApplication::topLevelWidgets())
        windows << widget;
    for (const QPointer<QWidget> &window : windows)
        delete window.data();
    m_desktop.reset();
}

FrmPrincipal *TestAccessibleNames::openMain()
{
    auto *window = new FrmPrincipal(m_desktop->platform);
    window->show();
    return window;
}

void TestAccessibleNames::fieldBoxes_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    const char *names[] = {"Apellido", "Nombre", "Nick", "Edad", "Localidad", "Provincia", "País",
        "Domicilio", "Telefono", "Celular", "E-Mail", "Fecha De Alta", "Fecha De Nacimiento",
        "Situacion Civil", "Peso", "Altura", "Ocupacion", "Ubicación De La Foto"};
    for (int i = 0; i < 18; ++i)
        QTest::newRow(names[i]) << i << QString::fromUtf8(names[i]);
}

// Each box is called as its label reads, without the colon, and the label is its label.
void TestAccessibleNames::fieldBoxes()
{
    QFETCH(int, index);
    QFETCH(QString, name);

    FrmPrincipal *window = openMain();
    auto *box = control<QLineEdit>(window, qPrintable(QStringLiteral("txt_%1").arg(index)));
    QCOMPARE(accessibleName(box), name);
    auto *label = qobject_cast<QLabel *>(labelledBy(box));
    QVERIFY(label);
    QCOMPARE(label->text(), name + QStringLiteral(" :"));
    QCOMPARE(label->buddy(), box);
}

void TestAccessibleNames::noUnnamedTextField()
{
    FrmPrincipal *window = openMain();
    QStringList unnamed;
    const QList<QLineEdit *> boxes = window->findChildren<QLineEdit *>();
    for (QLineEdit *box : boxes) {
        if (box->isVisible() && accessibleName(box).isEmpty())
            unnamed << box->objectName();
    }
    QCOMPARE(boxes.size(), 18);
    QCOMPARE(unnamed, QStringList());
}

void TestAccessibleNames::listAndPhoto()
{
    FrmPrincipal *window = openMain();
    QCOMPARE(accessibleName(control<QListView>(window, "List1")), QStringLiteral("Contactos"));
    QCOMPARE(accessibleName(control<QLabel>(window, "Image1")), QStringLiteral("Foto"));
}

// The menus read as they are shown; the access key is not read as part of the name.
void TestAccessibleNames::menus()
{
    FrmPrincipal *window = openMain();
    QStringList names;
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(window->menuBar());
    QVERIFY(bar);
    for (int i = 0; i < bar->childCount(); ++i)
        names << bar->child(i)->text(QAccessible::Name);
    QCOMPARE(names, QStringList({u"Archivo"_qs, u"Herramientas"_qs, u"Ayuda"_qs}));
}

using WindowMaker = std::function<QWidget *(TestPlatform &, QWidget *main, QWidget *options)>;
Q_DECLARE_METATYPE(WindowMaker)

void TestAccessibleNames::passwordBoxes_data()
{
    QTest::addColumn<WindowMaker>("make");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("name");

    const WindowMaker contra = [](TestPlatform &desk, QWidget *main, QWidget *options) -> QWidget * {
        return new FrmContra(desk.platform, options, main);
    };
    const WindowMaker camCont = [](TestPlatform &desk, QWidget *main, QWidget *options) -> QWidget * {
        return new FrmCamCont(desk.platform, options, main);
    };
    const WindowMaker login = [](TestPlatform &desk, QWidget *, QWidget *) -> QWidget * {
        return new FrmContraPri(desk.platform);
    };
    const WindowMaker forgotten = [](TestPlatform &desk, QWidget *, QWidget *) -> QWidget * {
        auto *loginWindow = new FrmContraPri(desk.platform);
        loginWindow->show();
        return new FrmOlvidoc(desk.platform, loginWindow);
    };
    QTest::newRow("set: password") << contra << u"txtcontra"_qs << u"Contraseña"_qs;
    QTest::newRow("set: again") << contra << u"txtrecontra"_qs << u"Re-tipee contraseña"_qs;
    QTest::newRow("set: question") << contra << u"txtpreg"_qs << u"Pregunta secreta"_qs;
    QTest::newRow("set: answer") << contra << u"txtresp"_qs << u"Respuesta secreta"_qs;
    QTest::newRow("change: old") << camCont << u"txtconant"_qs << u"Contraseña antigua"_qs;
    QTest::newRow("change: new") << camCont << u"txtnuecon"_qs << u"Nueva contraseña"_qs;
    QTest::newRow("change: again") << camCont << u"txtnuerecon"_qs << u"Retipear nueva contraseña"_qs;
    QTest::newRow("login") << login << u"txtcontra"_qs << u"Inserte contraseña para continuar"_qs;
    QTest::newRow("forgotten: answer") << forgotten << u"txtresp"_qs << u"Respuesta"_qs;
}

void TestAccessibleNames::passwordBoxes()
{
    QFETCH(WindowMaker, make);
    QFETCH(QString, box);
    QFETCH(QString, name);

    QWidget main;
    QWidget options;
    QWidget *window = make(*m_desktop, &main, &options);
    window->show();
    auto *edit = window->findChild<QLineEdit *>(box);
    QVERIFY(edit);
    QCOMPARE(accessibleName(edit), name);
    auto *label = qobject_cast<QLabel *>(labelledBy(edit));
    QVERIFY(label);
    QCOMPARE(label->text(), name + QStringLiteral(" :"));
    delete window;
}

QTEST_MAIN(TestAccessibleNames)
#include "tst_accessible_names.moc"
