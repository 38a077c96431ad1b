#include "card_fixtures.h"
#include "fake_platform.h"
#include "options/options_file.h"
#include "print/card_job.h"
#include "print/contact_card.h"
#include "print/printer_surface.h"

#include <QFontMetricsF>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace ContactRecord;

namespace {

constexpr double PointsPerCm = 72.0 / 2.54;

struct Word
{
    QString text;
    QRectF box; // points from the top-left of the page
};

struct PdfText
{
    QList<QSizeF> pages;
    QList<Word> words;

    std::optional<Word> word(const QString &text) const
    {
        for (const Word &w : words) {
            if (w.text == text)
                return w;
        }
        return std::nullopt;
    }
};

QString unescaped(QString text)
{
    return text.replace("&lt;", "<")
        .replace("&gt;", ">")
        .replace("&quot;", "\"")
        .replace("&apos;", "'")
        .replace("&amp;", "&");
}

// The words of a PDF with their boxes, as poppler's pdftotext sees them.
std::optional<PdfText> extractText(const QString &pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return std::nullopt;
    const QString html = QString::fromUtf8(process.readAllStandardOutput());

    PdfText result;
    static const QRegularExpression page(
        QStringLiteral(R"re(<page width="([-\d.]+)" height="([-\d.]+)">)re"));
    for (const QRegularExpressionMatch &m : page.globalMatch(html))
        result.pages << QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">([^<]*)</word>)re"));
    for (const QRegularExpressionMatch &m : word.globalMatch(html)) {
        const QPointF topLeft(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF bottomRight(m.captured(3).toDouble(), m.captured(4).toDouble());
        result.words.append({unescaped(m.captured(5)), QRectF(topLeft, bottomRight)});
    }
    return result;
}

// Prints a card through the real job and the QPainter surface into a PDF file.
struct PdfCard
{
    TestPlatform desktop;
    OptionsFile options {desktop.programDir()};
    MainWindowOptions mainOptions;
    QRectF printableArea; // points
    int resolution = 0;

    void print(const Fields &boxes, const QString &pdf)
    {
        CardJob job(desktop.platform, options, mainOptions);
        job.setSurfaceFactory([&](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printableArea = printer.pageLayout().paintRectPoints();
            resolution = printer.resolution();
            return std::make_unique<PrinterSurface>(printer);
        });
        desktop.messages.queueAnswer(MessageBoxes::Answer::Ok); // the A4 notice every print shows
        job.run(nullptr, boxes);
    }
};

// Widths and heights as the surface measures them, in points.
double measured(const CardFont &font, const QString &text, int resolution, bool lineHeight = false)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(resolution);
    const QFontMetricsF metrics(PrinterSurface::qtFont(font), &printer);
    return (lineHeight ? metrics.lineSpacing() : metrics.horizontalAdvance(text)) * 72.0 / resolution;
}

} // namespace

// The card through QPainter into a PDF, read back with poppler: the page, the texts and where
// they stand.
class TstPrinterSurface : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cardInPdf();
    void missingPhotoLeftOut();
    void refusedOutputEndsSilently();

private:
    QString pdfPath(const QString &name);

    QTemporaryDir m_dir;
};

void TstPrinterSurface::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed: the PDF of the card cannot be read back");
    QVERIFY(m_dir.isValid());
}

QString TstPrinterSurface::pdfPath(const QString &name)
{
    // Set ORVALIA_CARD_PDF_DIR to keep the cards for a look at them.
    const QString keep = qEnvironmentVariable("ORVALIA_CARD_PDF_DIR");
    return (keep.isEmpty() ? m_dir.path() : keep) + QLatin1Char('/') + name;
}

void TstPrinterSurface::cardInPdf()
{
    PdfCard card;
    writeOptions(card.desktop.programDir(), "1");
    Fields contact = sampleContact();
    contact[ubicacionfoto] = writePhoto(card.desktop.programFile("foto.jpg"), QSize(300, 200));
    const QString pdf = pdfPath("card.pdf");
    card.print(contact, pdf);

    const std::optional<PdfText> text = extractText(pdf);
    QVERIFY2(text, "pdftotext could not read the card");
    QCOMPARE(text->pages.size(), 1);
    QVERIFY2(qAbs(text->pages[0].width() - 595.28) < 0.5 && qAbs(text->pages[0].height() - 841.89) < 0.5,
        "the page is not A4");

    const QPointF origin = card.printableArea.topLeft();
    const auto xOf = [&](double cm) { return origin.x() + cm * PointsPerCm; };
    const auto yOf = [&](double cm) { return origin.y() + cm * PointsPerCm; };

    // The title, centred by its width in the printer's font before the script one.
    const QString title = "Gomez Ana";
    const double w = measured(PrinterSurface::defaultFont(), title, card.resolution) / PointsPerCm;
    const std::optional<Word> surname = text->word("Gomez");
    QVERIFY2(surname, "the title is missing");
    QVERIFY(text->word("Ana"));
    QVERIFY2(qAbs(surname->box.left() - xOf(ContactCard::titleX(w))) < 1.5,
        qPrintable(QStringLiteral("title at %1 pt").arg(surname->box.left())));
    QVERIFY(qAbs(surname->box.top() - yOf(2.0)) < 3.0);

    // Labels and values: each pair on one line, rows one 14-point script line plus 0.5 cm apart.
    const double step
        = measured({ContactCard::ScriptFont, 14.0, false}, {}, card.resolution, true) + 0.5 * PointsPerCm;
    const QList<QList<std::pair<QString, QString>>> columns = {
        {{"Nick", "Anita"}, {"Edad", "034"}, {"Localidad", "Rosario"}, {"Provincia", "Cordoba"},
            {"País", "Argentina"}, {"Domicilio", "Mitre"}, {"Teléfono", "341-555"}, {"Celular", "15-555"},
            {"E-Mail", "ana@correo.example"}},
        {{"Fecha", "07/12/2026"}, {"Nacimiento", "3-5-1990"}, {"Situación", "Casada"}, {"Peso", "70"},
            {"Altura", "1.80"}, {"Ocupación", "Docente"}},
    };
    const double labelX[] = {2.2, 10.4};
    const double valueX[] = {5.5, 15.0};
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < columns[c].size(); ++k) {
            const auto &[labelText, valueText] = columns[c][k];
            const std::optional<Word> label = text->word(labelText);
            const std::optional<Word> value = text->word(valueText);
            QVERIFY2(label && value, qPrintable(labelText + " / " + valueText + " missing"));
            const QString where = QStringLiteral("%1 at %2,%3; %4 at %5,%6")
                                      .arg(labelText)
                                      .arg(label->box.left())
                                      .arg(label->box.top())
                                      .arg(valueText)
                                      .arg(value->box.left())
                                      .arg(value->box.top());
            QVERIFY2(qAbs(label->box.left() - xOf(labelX[c])) < 1.5, qPrintable(where));
            QVERIFY2(qAbs(value->box.left() - xOf(valueX[c])) < 1.5, qPrintable(where));
            QVERIFY2(qAbs(label->box.top() - value->box.top()) < 0.5, qPrintable(where));
            QVERIFY2(qAbs(label->box.top() - (yOf(18.0) + k * step)) < 3.0, qPrintable(where));
        }
    }
    QVERIFY(text->word("Kgs"));
    QVERIFY(text->word("Mts"));

    if (QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty())
        return;
    QProcess images;
    images.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    QVERIFY(images.waitForFinished(60000));
    const QStringList rows
        = QString::fromUtf8(images.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    // Two header lines, then one line per picture: page, number, type, width, height, ...
    QCOMPARE(rows.size(), 3);
    const QStringList columnsOfPicture = rows[2].simplified().split(' ');
    QCOMPARE(columnsOfPicture.value(3), "300");
    QCOMPARE(columnsOfPicture.value(4), "200");
}

void TstPrinterSurface::missingPhotoLeftOut()
{
    PdfCard card;
    writeOptions(card.desktop.programDir(), "1");
    Fields contact = sampleContact();
    contact[ubicacionfoto] = card.desktop.programFile("borrada.jpg");
    const QString pdf = pdfPath("without-photo.pdf");
    card.print(contact, pdf);

    const std::optional<PdfText> text = extractText(pdf);
    QVERIFY2(text, "pdftotext could not read the card");
    QCOMPARE(text->pages.size(), 1);
    // The title and every row, the last one included.
    for (const char *word :
        {"Gomez", "Ana", "Nick", "Anita", "E-Mail", "ana@correo.example", "Ocupación", "Docente"})
        QVERIFY2(text->word(QString::fromUtf8(word)), word);
    QCOMPARE(card.desktop.messages.shown.size(), 1);

    if (QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty())
        return;
    QProcess images;
    images.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    QVERIFY(images.waitForFinished(60000));
    // The two header lines alone: no picture.
    QCOMPARE(QString::fromUtf8(images.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).size(), 2);
}

void TstPrinterSurface::refusedOutputEndsSilently()
{
    PdfCard card;
    const QString pdf = m_dir.filePath(QStringLiteral("no-such-folder/card.pdf"));
    card.print(sampleContact(), pdf);

    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(card.desktop.dialogs.printDialogs, 1);
    QCOMPARE(card.desktop.messages.shown.size(), 1);
}

int runPrinterSurfaceTests(int argc, char **argv)
{
    TstPrinterSurface test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_printer_surface.moc"
