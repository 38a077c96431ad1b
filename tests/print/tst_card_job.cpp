#include "card_fixtures.h"
#include "fake_platform.h"
#include "options/options_file.h"
#include "print/card_job.h"
#include "recording_surface.h"

#include <QDir>
#include <QPrinter>
#include <QTest>

#include <sys/stat.h>

using namespace ContactRecord;
using Drawn = Recording::Drawn;
using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

namespace {

const QString Notice = QStringLiteral("La impresion solo es para hojas A4");
const QString Script = QStringLiteral("NuptialScript");

// One line per call, positions to the thousandth of a centimetre.
QString describe(const Drawn &d)
{
    const auto cm = [](double v) { return QString::number(v, 'f', 3); };
    const auto font = [](const CardFont &f) {
        return QStringLiteral("%1 %2%3").arg(f.name).arg(f.size).arg(f.bold ? " bold" : "");
    };
    switch (d.kind) {
    case Drawn::Text:
        return QStringLiteral("text '%1' at %2,%3 in %4")
            .arg(d.text, cm(d.at.x()), cm(d.at.y()), font(d.font));
    case Drawn::TextWithLineEnd:
        return QStringLiteral("line '%1' at %2,%3 in %4")
            .arg(d.text, cm(d.at.x()), cm(d.at.y()), font(d.font));
    case Drawn::Picture:
        return QStringLiteral("picture %1x%2 into %3,%4 %5x%6")
            .arg(d.pictureSize.width())
            .arg(d.pictureSize.height())
            .arg(cm(d.rect.x()), cm(d.rect.y()), cm(d.rect.width()), cm(d.rect.height()));
    case Drawn::End:
        return QStringLiteral("end");
    }
    return {};
}

QStringList describe(const QList<Drawn> &drawn)
{
    QStringList lines;
    for (const Drawn &d : drawn)
        lines << describe(d);
    return lines;
}

Drawn text(const QString &s, double x, double y, const CardFont &f, bool endsLine)
{
    return {endsLine ? Drawn::TextWithLineEnd : Drawn::Text, s, QPointF(x, y), f, {}, {}};
}

// The card as it should come out with the recording metrics, worked out from the layout: the
// title centred by its width in the 10-point default font, rows every 14-point line plus 0.5 cm.
QList<Drawn> expectedCard(const Fields &f, std::optional<QSize> photo = {})
{
    const QString title = f[apellido] + " " + f[nombre];
    const double w = title.size() * RecordingSurface::charWidth(10.0);
    QList<Drawn> card {text(title, (16.0 - 2.0 * w) / 2.0, 2.0, {Script, 45.0, false}, true)};

    const double afterTitle = 2.0 + RecordingSurface::lineHeightOf(45.0);
    if (photo)
        card << Drawn {Drawn::Picture, {}, {}, {}, QRectF(6.2, afterTitle + 3.5, 8.0, 8.0), *photo};

    const double step = RecordingSurface::lineHeightOf(14.0) + 0.5;
    const auto column = [&](const QList<std::pair<QString, QString>> &rows, double labelX, double valueX) {
        for (int k = 1; k <= rows.size(); ++k) {
            const double y = 18.0 + (k - 1) * step;
            card << text(rows[k - 1].first, labelX, y, {Script, 14.0, true}, false)
                 << text(rows[k - 1].second, valueX, y, {Script, 14.0, false}, true);
        }
    };
    column({{"Nick :", f[nick]}, {"Edad :", f[edad]}, {"Localidad :", f[localidad]},
               {"Provincia :", f[provincia]}, {"País :", f[pais]}, {"Domicilio :", f[domicilio]},
               {"Teléfono :", f[telefono]}, {"Celular :", f[celular]}, {"E-Mail :", f[email]}},
        2.2, 5.5);
    column({{"Fecha De Alta :", f[fechaalta]}, {"Nacimiento :", f[fechanac]},
               {"Situación Civil :", f[estadocivil]}, {"Peso :", f[peso] + " Kgs"},
               {"Altura :", f[altura] + " Mts"}, {"Ocupación :", f[ocupacion]}},
        10.4, 15.0);
    card << Drawn {Drawn::End, {}, {}, {}, {}, {}};
    return card;
}

// A job on the fake desktop that draws on a recording surface.
struct Harness
{
    TestPlatform desktop;
    OptionsFile options {desktop.programDir()};
    MainWindowOptions mainOptions;
    Recording recording;
    int surfacesMade = 0;
    QPageSize::PageSizeId pageSize = QPageSize::Custom;

    // answers: to the boxes the job shows after the A4 notice, which every print shows.
    void run(const Fields &boxes, std::initializer_list<Answer> answers = {})
    {
        desktop.messages.queueAnswer(Answer::Ok);
        for (const Answer answer : answers)
            desktop.messages.queueAnswer(answer);
        CardJob job(desktop.platform, options, mainOptions);
        job.setSurfaceFactory([this](QPrinter &printer) {
            ++surfacesMade;
            pageSize = printer.pageLayout().pageSize().id();
            return std::make_unique<RecordingSurface>(recording);
        });
        job.run(nullptr, boxes);
    }

    QString photoPath(const QString &name) const { return desktop.programFile(name); }
};

} // namespace

class TstCardJob : public QObject
{
    Q_OBJECT

private slots:
    void everyItemInPlace();
    void titleCentredByPreTitleWidth_data();
    void titleCentredByPreTitleWidth();
    void noticeOnEveryClick();
    void emptyFormHasNothingToPrint();
    void onlyPhotoLocationPrints_data();
    void onlyPhotoLocationPrints();
    void longFieldQuestion_data();
    void longFieldQuestion();
    void cancelledDialogEndsSilently();
    void photoSetting_data();
    void photoSetting();
    void photoSettingReadAtPrinting_data();
    void photoSettingReadAtPrinting();
    void noPhotoLocation();
    void unreadablePhotoLeftOut_data();
    void unreadablePhotoLeftOut();
    void photoTurnedAsShown();
    void refusedDrawingEndsAtOnce_data();
    void refusedDrawingEndsAtOnce();
    void printsTheBoxesAsGiven();
};

void TstCardJob::everyItemInPlace()
{
    Harness h;
    writeOptions(h.desktop.programDir(), "0");
    const Fields contact = sampleContact();
    h.run(contact);

    QCOMPARE(describe(h.recording.drawn), describe(expectedCard(contact)));
    QCOMPARE(h.surfacesMade, 1);
    QCOMPARE(h.pageSize, QPageSize::A4);
    QCOMPARE(h.desktop.dialogs.printDialogs, 1);
    QCOMPARE(h.desktop.messages.shown.size(), 1);
    // Spot checks of the worked-out layout, in case the oracle above shares a slip with the code.
    QCOMPARE(describe(h.recording.drawn.first()), "line 'Gomez Ana' at 5.750,2.000 in NuptialScript 45");
    QCOMPARE(describe(h.recording.drawn.at(17)), "text 'E-Mail :' at 2.200,27.600 in NuptialScript 14 bold");
    QCOMPARE(describe(h.recording.drawn.at(26)), "line '70 Kgs' at 15.000,21.600 in NuptialScript 14");
    QCOMPARE(describe(h.recording.drawn.at(28)), "line '1.80 Mts' at 15.000,22.800 in NuptialScript 14");
}

void TstCardJob::titleCentredByPreTitleWidth_data()
{
    QTest::addColumn<QString>("surname");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("x");
    QTest::addColumn<bool>("longFields"); // the job asks first whether to go on

    // 0.25 cm a character in the 10-point font before the title's.
    // clang-format off
    QTest::newRow("w 3.0 cm") << "Fernandez"
                              << "Lu" << 5.0 << false;
    QTest::newRow("w 0.75 cm") << "R"
                               << "J" << 7.25 << false;
    QTest::newRow("w 8.0 cm") << "Aaaaaaaaaaaaaaaa"
                              << "Bbbbbbbbbbbbbbb" << 0.0 << true;
    QTest::newRow("w 10.0 cm, not clamped") << "Aaaaaaaaaaaaaaaaaaaa"
                                            << "Bbbbbbbbbbbbbbbbbbb" << -2.0 << true;
    // clang-format on
}

void TstCardJob::titleCentredByPreTitleWidth()
{
    QFETCH(QString, surname);
    QFETCH(QString, name);
    QFETCH(double, x);
    QFETCH(bool, longFields);

    Harness h;
    Fields contact = sampleContact();
    contact[apellido] = surname;
    contact[nombre] = name;
    if (longFields)
        h.run(contact, {Answer::Yes});
    else
        h.run(contact);

    QVERIFY(!h.recording.drawn.isEmpty());
    const Drawn title = h.recording.drawn.first();
    QCOMPARE(title.text, surname + " " + name);
    QVERIFY2(qAbs(title.at.x() - x) < 1e-9, qPrintable(QString::number(title.at.x())));
    QCOMPARE(title.at.y(), 2.0);
}

void TstCardJob::noticeOnEveryClick()
{
    Harness h;
    h.run(sampleContact());
    h.run(sampleContact());

    QCOMPARE(h.desktop.messages.shown.size(), 2);
    for (const FakeMessageBoxes::Shown &shown : h.desktop.messages.shown) {
        QCOMPARE(shown.text, Notice);
        QCOMPARE(shown.title, "Orvalia");
        QCOMPARE(shown.icon, Icon::Information);
        QCOMPARE(shown.buttons, Buttons::Ok);
    }
    QCOMPARE(h.surfacesMade, 2);
    QCOMPARE(h.recording.ends(), 2);
}

void TstCardJob::emptyFormHasNothingToPrint()
{
    Harness h;
    h.run(Fields {}, {Answer::Ok});

    const QList<FakeMessageBoxes::Shown> &shown = h.desktop.messages.shown;
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].text, Notice);
    QCOMPARE(shown[1].text, "No hay nada para imprimir");
    QCOMPARE(shown[1].title, "Error");
    QCOMPARE(shown[1].icon, Icon::None);
    QCOMPARE(shown[1].buttons, Buttons::Ok);
    QCOMPARE(h.desktop.dialogs.printDialogs, 0);
    QCOMPARE(h.surfacesMade, 0);
}

void TstCardJob::onlyPhotoLocationPrints_data()
{
    QTest::addColumn<QString>("printPhoto");
    QTest::addColumn<bool>("withPhoto");
    // clang-format off
    QTest::newRow("photo on") << "1" << true;
    QTest::newRow("photo off") << "0" << false;
    // clang-format on
}

void TstCardJob::onlyPhotoLocationPrints()
{
    QFETCH(QString, printPhoto);
    QFETCH(bool, withPhoto);

    Harness h;
    writeOptions(h.desktop.programDir(), printPhoto);
    Fields boxes;
    boxes[ubicacionfoto] = writePhoto(h.photoPath("foto.jpg"), QSize(40, 30));
    h.run(boxes);

    QCOMPARE(h.desktop.messages.shown.size(), 1);
    QCOMPARE(describe(h.recording.drawn),
        describe(expectedCard(boxes, withPhoto ? std::optional(QSize(40, 30)) : std::nullopt)));
    QCOMPARE(h.recording.drawn.first().text, " ");
}

void TstCardJob::longFieldQuestion_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::newRow("yes prints") << Answer::Yes;
    QTest::newRow("no prints nothing") << Answer::No;
}

void TstCardJob::longFieldQuestion()
{
    QFETCH(Answer, answer);

    Harness h;
    Fields contact = sampleContact();
    contact[nick] = QString(19, 'n');
    contact[email] = QString(19, 'e');
    contact[edad] = QString(40, '9'); // no limit
    h.run(contact, {answer});

    const QList<FakeMessageBoxes::Shown> &shown = h.desktop.messages.shown;
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].text, Notice);
    QCOMPARE(shown[1].text,
        "Los siguientes campos pueden no llegar a imprimirse correctamente debido a que son "
        "datos demasiado largos : Nick; E-Mail\r¿Desea continuar?");
    QCOMPARE(shown[1].title, "Orvalia");
    QCOMPARE(shown[1].icon, Icon::Information);
    QCOMPARE(shown[1].buttons, Buttons::YesNo);
    if (answer == Answer::Yes) {
        QCOMPARE(describe(h.recording.drawn), describe(expectedCard(contact)));
    } else {
        QCOMPARE(h.desktop.dialogs.printDialogs, 0);
        QCOMPARE(h.surfacesMade, 0);
    }
}

void TstCardJob::cancelledDialogEndsSilently()
{
    Harness h;
    h.desktop.dialogs.printerAccepted = false;
    h.run(sampleContact());

    QCOMPARE(h.desktop.dialogs.printDialogs, 1);
    QCOMPARE(h.desktop.messages.shown.size(), 1);
    QCOMPARE(h.surfacesMade, 0);
}

void TstCardJob::photoSetting_data()
{
    QTest::addColumn<QString>("printPhoto");
    QTest::addColumn<bool>("withPhoto");

    // clang-format off
    QTest::newRow("1") << "1" << true;
    QTest::newRow("00") << "00" << false;
    QTest::newRow("empty") << "" << false;
    // clang-format on
}

void TstCardJob::photoSetting()
{
    QFETCH(QString, printPhoto);
    QFETCH(bool, withPhoto);

    Harness h;
    writeOptions(h.desktop.programDir(), printPhoto);
    Fields contact = sampleContact();
    contact[ubicacionfoto] = writePhoto(h.photoPath("foto.jpg"), QSize(64, 48));
    h.run(contact);

    const QList<Drawn> expected
        = expectedCard(contact, withPhoto ? std::optional(QSize(64, 48)) : std::nullopt);
    QCOMPARE(describe(h.recording.drawn), describe(expected));
    QCOMPARE(h.desktop.messages.shown.size(), 1);
    if (withPhoto)
        QCOMPARE(describe(h.recording.drawn.at(1)), "picture 64x48 into 6.200,7.750 8.000x8.000");
}

void TstCardJob::photoSettingReadAtPrinting_data()
{
    QTest::addColumn<QString>("inFile"); // null: no options file
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("withPhoto");

    // clang-format off
    QTest::newRow("turned off since the last read") << "0" << "1" << false;
    QTest::newRow("turned on since the last read") << "1" << "0" << true;
    QTest::newRow("unreadable file, never read") << QString() << QString() << false;
    QTest::newRow("unreadable file keeps the last value") << QString() << "1" << true;
    // clang-format on
}

void TstCardJob::photoSettingReadAtPrinting()
{
    QFETCH(QString, inFile);
    QFETCH(QString, before);
    QFETCH(bool, withPhoto);

    Harness h;
    if (!inFile.isNull())
        writeOptions(h.desktop.programDir(), inFile);
    h.mainOptions.PrintPhoto = before;
    Fields contact = sampleContact();
    contact[ubicacionfoto] = writePhoto(h.photoPath("foto.bmp"), QSize(20, 20), "BMP");
    h.run(contact);

    QCOMPARE(h.recording.pictures(), withPhoto ? 1 : 0);
    QCOMPARE(h.mainOptions.PrintPhoto, inFile.isNull() ? before : inFile);
}

void TstCardJob::noPhotoLocation()
{
    Harness h;
    writeOptions(h.desktop.programDir(), "1");
    const Fields contact = sampleContact();
    h.run(contact);

    QCOMPARE(describe(h.recording.drawn), describe(expectedCard(contact)));
    QCOMPARE(h.desktop.messages.shown.size(), 1);
}

void TstCardJob::unreadablePhotoLeftOut_data()
{
    QTest::addColumn<QString>("kind");
    // clang-format off
    QTest::newRow("deleted") << "deleted";
    QTest::newRow("not a picture") << "text";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("missing folder") << "missing folder";
    QTest::newRow("a FIFO") << "fifo";
    // clang-format on
}

// The photo is left out and everything else prints; the display has told the user already, so no
// word here. A FIFO is never opened, so nothing waits for a writer that never comes.
void TstCardJob::unreadablePhotoLeftOut()
{
    QFETCH(QString, kind);

    Harness h;
    writeOptions(h.desktop.programDir(), "1");
    Fields contact = sampleContact();
    QString path = h.photoPath("foto.jpg");
    if (kind == "deleted") {
        writePhoto(path, QSize(10, 10));
        QVERIFY(QFile::remove(path));
    } else if (kind == "text") {
        writeBytes(path, "Gomez Ana, no es una foto\r\n");
    } else if (kind == "folder") {
        QVERIFY(QDir(h.desktop.programDir()).mkdir("foto.jpg"));
    } else if (kind == "fifo") {
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    } else {
        path = h.photoPath("no/existe/foto.jpg");
    }
    contact[ubicacionfoto] = path;
    h.run(contact);

    QCOMPARE(describe(h.recording.drawn), describe(expectedCard(contact)));
    QCOMPARE(h.desktop.messages.shown.size(), 1);
}

// A JPEG whose EXIF data says the camera was held upright: printed turned, as the display shows it.
void TstCardJob::photoTurnedAsShown()
{
    Harness h;
    writeOptions(h.desktop.programDir(), "1");
    const QString path = writePhoto(h.photoPath("movil.jpg"), QSize(40, 20));
    QByteArray jpeg = readBytes(path);
    QVERIFY(jpeg.startsWith("\xFF\xD8"));
    // APP1 "Exif", big-endian TIFF with one entry: orientation (0x0112) 6, turned a quarter right.
    const QByteArray exif = QByteArray::fromHex("FFE10022"
                                                "457869660000"
                                                "4D4D002A00000008"
                                                "0001"
                                                "011200030000000100060000"
                                                "00000000");
    jpeg.insert(2, exif);
    writeBytes(path, jpeg);
    Fields contact = sampleContact();
    contact[ubicacionfoto] = path;
    h.run(contact);

    QCOMPARE(describe(h.recording.drawn), describe(expectedCard(contact, QSize(20, 40))));
}

void TstCardJob::refusedDrawingEndsAtOnce_data()
{
    QTest::addColumn<int>("refuseAt");
    QTest::newRow("the title") << 0;
    QTest::newRow("the picture") << 1;
    QTest::newRow("a label") << 6;
    QTest::newRow("the last value") << 31;
}

void TstCardJob::refusedDrawingEndsAtOnce()
{
    QFETCH(int, refuseAt);

    Harness h;
    writeOptions(h.desktop.programDir(), "1");
    Fields contact = sampleContact();
    // A PNG under another name: pictures are recognised by their content.
    contact[ubicacionfoto] = writePhoto(h.photoPath("foto.gif"), QSize(12, 12), "PNG");
    h.recording.refuseAt = refuseAt;
    h.run(contact);

    QStringList expected = describe(expectedCard(contact, QSize(12, 12))).mid(0, refuseAt);
    expected << "end";
    QCOMPARE(describe(h.recording.drawn), expected);
    QCOMPARE(h.desktop.messages.shown.size(), 1);
}

void TstCardJob::printsTheBoxesAsGiven()
{
    Harness h;
    const Fields stored = sampleContact();
    writeBytes(h.desktop.programFile("data.orv"), cp1252Lines({lineOf(stored)}));
    Fields edited = stored;
    edited[apellido] = "Gómez";
    edited[telefono] = "341-999";
    h.run(edited);

    const QStringList texts = h.recording.texts();
    QCOMPARE(texts.first(), "Gómez Ana");
    QVERIFY(texts.contains("341-999"));
    QVERIFY(!texts.contains("341-555"));
}

int runCardJobTests(int argc, char **argv)
{
    TstCardJob test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_card_job.moc"
