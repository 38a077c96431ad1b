#include "print/contact_card.h"

#include "photo/photo_loader.h"
#include "print/card_surface.h"

#include <QStringList>
#include <algorithm>
#include <iterator>
#include <span>

using namespace ContactRecord;

namespace ContactCard {

namespace {

struct LongFieldName
{
    Field field;
    const char16_t *name;
};

// The warning names differ from the printed labels in places ("Pais" without its accent).
constexpr LongFieldName LongFieldNames[] = {
    {nick, u"Nick"},
    {localidad, u"Localidad"},
    {provincia, u"Provincia"},
    {pais, u"Pais"},
    {domicilio, u"Domicilio"},
    {telefono, u"Teléfono"},
    {celular, u"Celular"},
    {email, u"E-Mail"},
    {fechaalta, u"Fecha De Alta"},
    {fechanac, u"Nacimiento"},
    {estadocivil, u"Situación Civil"},
    {ocupacion, u"Ocupación"},
};

struct Row
{
    const char16_t *label;
    Field field;
    const char16_t *suffix;
};

// The left column's nine rows, then the right column's six.
constexpr Row Rows[] = {
    {u"Nick :", nick, u""},
    {u"Edad :", edad, u""},
    {u"Localidad :", localidad, u""},
    {u"Provincia :", provincia, u""},
    {u"País :", pais, u""},
    {u"Domicilio :", domicilio, u""},
    {u"Teléfono :", telefono, u""},
    {u"Celular :", celular, u""},
    {u"E-Mail :", email, u""},
    {u"Fecha De Alta :", fechaalta, u""},
    {u"Nacimiento :", fechanac, u""},
    {u"Situación Civil :", estadocivil, u""},
    {u"Peso :", peso, u" Kgs"},
    {u"Altura :", altura, u" Mts"},
    {u"Ocupación :", ocupacion, u""},
};
constexpr std::span<const Row> LeftRows(Rows, 9);
constexpr std::span<const Row> RightRows(Rows + 9, std::size(Rows) - 9);

// Characters as the user sees them: a pair of surrogates is one.
qsizetype characters(const QString &text)
{
    return text.toUcs4().size();
}

bool printColumn(
    CardSurface &surface, std::span<const Row> rows, double labelX, double valueX, const Fields &fields)
{
    for (std::size_t k = 0; k < rows.size(); ++k) {
        surface.setX(labelX);
        surface.setY(k == 0 ? ColumnsTop : surface.y() + RowGap);
        surface.setFontSize(RowSize);
        surface.setFontBold(true);
        if (!surface.print(QString::fromUtf16(rows[k].label)))
            return false;
        surface.setFontSize(RowSize);
        surface.setFontName(ScriptFont);
        surface.setFontBold(false);
        surface.setX(valueX);
        if (!surface.printLine(fields[rows[k].field] + QString::fromUtf16(rows[k].suffix)))
            return false;
    }
    return true;
}

} // namespace

QString title(const Fields &fields)
{
    return fields[apellido] + QLatin1Char(' ') + fields[nombre];
}

LongFields longFields(const Fields &fields)
{
    QStringList names;
    if (characters(title(fields)) > TitleLimit)
        names << QStringLiteral("Apellido Y Nombre");
    for (const LongFieldName &entry : LongFieldNames) {
        if (characters(fields[entry.field]) > FieldLimit)
            names << QString::fromUtf16(entry.name);
    }
    return {names.join(QStringLiteral("; ")), int(names.size())};
}

QString longFieldsQuestion(const QString &list)
{
    return QStringLiteral("Los siguientes campos pueden no llegar a imprimirse correctamente debido a que "
                          "son datos demasiado largos : ")
        + list + QChar(13) + QStringLiteral("¿Desea continuar?");
}

bool isBlank(const Fields &fields)
{
    return std::all_of(fields.begin(), fields.end(), [](const QString &field) { return field.isEmpty(); });
}

bool photoOptionOn(const QString &printPhoto)
{
    if (printPhoto.trimmed().isEmpty())
        return false;
    bool isNumber = false;
    const double value = printPhoto.toDouble(&isNumber);
    return isNumber && value != 0.0;
}

QImage loadPhoto(const QString &path)
{
    // As the display loads it, through the photo loader: nothing that is not a regular file is
    // opened, and a photo taken sideways comes out turned the way it is shown.
    return PhotoLoader::load(path).image;
}

double titleX(double measuredWidth)
{
    return (16.0 - 2.0 * measuredWidth) / 2.0;
}

bool printTitle(CardSurface &surface, const QString &title)
{
    surface.setX(titleX(surface.textWidth(title)));
    surface.setY(TitleY);
    surface.setFontSize(TitleSize);
    surface.setFontName(ScriptFont);
    return surface.printLine(title);
}

QRectF photoRect(double yAfterTitle)
{
    return QRectF(PhotoX, yAfterTitle + PhotoGap, PhotoSide, PhotoSide);
}

bool printPhoto(CardSurface &surface, const QImage &picture)
{
    return surface.drawPicture(picture, photoRect(surface.y()));
}

bool printColumns(CardSurface &surface, const Fields &fields)
{
    return printColumn(surface, LeftRows, LeftLabelX, LeftValueX, fields)
        && printColumn(surface, RightRows, RightLabelX, RightValueX, fields);
}

} // namespace ContactCard
