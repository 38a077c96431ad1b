// The forms' font: "MS Sans Serif", or where it is missing a family of the widths of the Windows
// sans-serif fonts, in which the captions fit at 8.25 points without being shrunk. One does not:
// "Proteger agenda mediante contraseña" needs 187 pixels in Liberation Sans and its check box
// leaves 181 beside the box, so it alone is set smaller.
#include "app/main_window.h"
#include "fake_platform.h"
#include "options/frm_options.h"
#include "password/frm_cam_cont.h"
#include "password/frm_contra.h"
#include "password/frm_contra_pri.h"
#include "password/frm_olvidoc.h"
#include "platform/twips.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

class TestFormFont : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void familiesInOrder();
    void noCaptionShrinks_data();
    void noCaptionShrinks();

private:
    TestPlatform m_desk;
    QString m_installed; // the first of the form's families this machine has
};

void TestFormFont::initTestCase()
{
    const QStringList installed = QFontDatabase::families();
    for (const QString &family : Twips::formFamilies()) {
        if (installed.contains(family)) {
            m_installed = family;
            break;
        }
    }
    writeBytes(m_desk.programFile(u"Agenda.opt"_qs), cp1252Lines({"1", "1", "0", "0", "0", "0", "0", "1"}));
}

void TestFormFont::cleanup()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *widget : QApplication::topLevelWidgets())
        windows << widget;
    for (const QPointer<QWidget> &window : windows)
        delete window.data();
}

void TestFormFont::familiesInOrder()
{
    QCOMPARE(Twips::formFamilies().constFirst(), u"MS Sans Serif"_qs);
    QVERIFY(Twips::formFamilies().contains(u"Liberation Sans"_qs));
    const QFont font = Twips::formFont(true);
    QCOMPARE(font.pointSizeF(), 8.25);
    QVERIFY(font.bold());
    if (m_installed.isEmpty())
        QSKIP("none of the form's families is installed here");
    QCOMPARE(QFontInfo(font).family(), m_installed);
}

using Maker = std::function<QWidget *(TestPlatform &)>;
Q_DECLARE_METATYPE(Maker)

void TestFormFont::noCaptionShrinks_data()
{
    QTest::addColumn<Maker>("make");
    QTest::addColumn<QStringList>("smaller"); // the captions set below 8.25 points to fit
    QTest::newRow("Opciones") << Maker([](TestPlatform &desk) -> QWidget * {
        return new FrmOptions(desk.platform, nullptr);
    }) << QStringList {u"Check2"_qs};
    QTest::newRow("Proteger mediante contraseña") << Maker([](TestPlatform &desk) -> QWidget * {
        return new FrmContra(desk.platform, nullptr, nullptr);
    }) << QStringList();
    QTest::newRow("Cambiar contraseña") << Maker([](TestPlatform &desk) -> QWidget * {
        return new FrmCamCont(desk.platform, nullptr, nullptr);
    }) << QStringList();
    QTest::newRow("Protección") << Maker([](TestPlatform &desk) -> QWidget * {
        return new FrmContraPri(desk.platform);
    }) << QStringList();
    QTest::newRow("¿Olvidó su contraseña?")
        << Maker([](TestPlatform &desk) -> QWidget * { return new FrmOlvidoc(desk.platform, nullptr); })
        << QStringList();
    QTest::newRow("main window") << Maker([](TestPlatform &desk) -> QWidget * {
        return new FrmPrincipal(desk.platform);
    }) << QStringList();
}

void TestFormFont::noCaptionShrinks()
{
    QFETCH(Maker, make);
    QFETCH(QStringList, smaller);
    if (m_installed.isEmpty())
        QSKIP("none of the form's families is installed here");
    QWidget *window = make(m_desk);
    window->show();
    QStringList shrunk;
    QStringList cut;
    const QList<QWidget *> controls = window->findChildren<QWidget *>();
    for (QWidget *control : controls) {
        auto *label = qobject_cast<QLabel *>(control);
        auto *button = qobject_cast<QAbstractButton *>(control);
        if ((!label && !button) || control->width() == 0)
            continue;
        if (control->font().pointSizeF() != 8.25)
            shrunk << control->objectName();
        // Single-line captions are whole; a button needs its text and a little room.
        const QString text = label ? label->text() : button->text();
        if (label && !label->wordWrap() && label->sizeHint().width() > label->width())
            cut << label->objectName();
        else if (qobject_cast<QCheckBox *>(control) && control->sizeHint().width() > control->width())
            cut << control->objectName();
        else if (qobject_cast<QPushButton *>(control)
            && control->fontMetrics().horizontalAdvance(text) + 8 > control->width())
            cut << control->objectName();
    }
    shrunk.sort();
    QCOMPARE(shrunk, smaller);
    QCOMPARE(cut, QStringList());
}

QTEST_MAIN(TestFormFont)
#include "tst_form_font.moc"
