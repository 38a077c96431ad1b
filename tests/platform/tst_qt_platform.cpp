#include "fake_platform.h"
#include "platform/qt_platform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestQtPlatform : public QObject
{
    Q_OBJECT

private slots:
    void messageBoxSpeaksSpanish_data();
    void messageBoxSpeaksSpanish();
    void nameFiltersFromTheProgramsFilterText();
    void hiddenAttributeRoundTrip();
    void onlyOneInstanceHoldsTheLock();
    void systemAnswers();
};

void TestQtPlatform::messageBoxSpeaksSpanish_data()
{
    QTest::addColumn<MessageBoxes::Buttons>("buttons");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("press");
    QTest::addColumn<MessageBoxes::Answer>("answer");

    using B = MessageBoxes::Buttons;
    using A = MessageBoxes::Answer;
    QTest::newRow("ok") << B::Ok << QStringList{u"Aceptar"_qs} << u"Aceptar"_qs << A::Ok;
    QTest::newRow("ok cancel") << B::OkCancel << QStringList{u"Aceptar"_qs, u"Cancelar"_qs} << u"Cancelar"_qs
                               << A::Cancel;
    QTest::newRow("yes no") << B::YesNo << QStringList{u"No"_qs, u"Sí"_qs} << u"Sí"_qs << A::Yes;
    QTest::newRow("yes no cancel") << B::YesNoCancel << QStringList{u"Cancelar"_qs, u"No"_qs, u"Sí"_qs}
                                   << u"No"_qs << A::No;
}

void TestQtPlatform::messageBoxSpeaksSpanish()
{
    QFETCH(MessageBoxes::Buttons, buttons);
    QFETCH(QStringList, texts);
    QFETCH(QString, press);
    QFETCH(MessageBoxes::Answer, answer);

    QStringList seen;
    QString title;
    QString text;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        for (QAbstractButton *button : box->buttons()) {
            seen << button->text();
            if (button->text() == press)
                button->click();
        }
    });
    QtMessageBoxes boxes;
    const auto got = boxes.show(nullptr, u"¿Seguro?"_qs, u"Orvalia"_qs, MessageBoxes::Icon::Question, buttons);
    seen.sort();
    QCOMPARE(seen, texts);
    QCOMPARE(title, u"Orvalia"_qs);
    QCOMPARE(text, u"¿Seguro?"_qs);
    QCOMPARE(got, answer);
}

void TestQtPlatform::nameFiltersFromTheProgramsFilterText()
{
    const QString filter = u"JPEG (*.JPG;*.JPEG)|*.jpg;*.jpeg|Mapa de bits (*.bmp)|*.bmp"_qs;
    QCOMPARE(QtDialogs::nameFilters(filter),
             (QStringList{u"JPEG (*.JPG;*.JPEG) (*.jpg *.jpeg)"_qs, u"Mapa de bits (*.bmp) (*.bmp)"_qs}));
}

void TestQtPlatform::hiddenAttributeRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"data.orv"_qs);
    writeBytes(path, "x");
    QtFileAttributes attributes;
    attributes.setHidden(path);
    if (!QtFileAttributes::isHidden(path))
        QSKIP("this file system keeps no extended attributes");
    attributes.setNormal(path);
    QVERIFY(!QtFileAttributes::isHidden(path));
    attributes.setNormal(path); // already normal: no error
    QCOMPARE(readBytes(path), QByteArray("x"));
}

void TestQtPlatform::onlyOneInstanceHoldsTheLock()
{
    QTemporaryDir dir;
    QtSystem first(dir.path());
    QtSystem second(dir.path());
    QCOMPARE(first.lockSingleInstance(), System::InstanceLock::Taken);
    QCOMPARE(second.lockSingleInstance(), System::InstanceLock::HeldByAnother);
}

void TestQtPlatform::systemAnswers()
{
    QTemporaryDir dir;
    QtSystem system(dir.path());
    QCOMPARE(system.programDirectory(), dir.path());
    QVERIFY(!system.currentDateText().isEmpty());
    QVERIFY(!system.passwordDirectory().isEmpty());
    QVERIFY(!system.passwordDirectory().startsWith(dir.path()));
}

QTEST_MAIN(TestQtPlatform)
#include "tst_qt_platform.moc"
