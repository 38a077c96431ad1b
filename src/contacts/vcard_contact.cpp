#include "contacts/vcard_contact.h"

#include "contacts/vcard.h"
#include "contacts/vcard_text.h"

#include <QFileInfo>
#include <QUrl>
#include <QVarLengthArray>

#include <algorithm>
#include <optional>

using namespace ContactRecord;

namespace {

// Two texts joined by a blank, or the one that is not empty as it is.
QString joinedNames(const QString &first, const QString &second)
{
    if (first.isEmpty() || second.isEmpty())
        return first.isEmpty() ? second : first;
    const QString a = first.trimmed();
    const QString b = second.trimmed();
    return a.isEmpty() || b.isEmpty() ? a + b : a + u' ' + b;
}

bool isMobile(const VCard &card, const VCardProperty &tel)
{
    for (const char16_t *type : {u"CELL", u"MOBILE", u"IPHONE"}) {
        if (tel.hasType(type))
            return true;
    }
    if (tel.group.isEmpty())
        return false;
    const QString label = card.labelOf(tel).toLower();
    for (const char16_t *word : {u"mobile", u"móvil", u"movil", u"celular", u"cell"}) {
        if (label.contains(word))
            return true;
    }
    return false;
}

bool isFaxOrPager(const VCardProperty &tel)
{
    return (tel.hasType(u"FAX") || tel.hasType(u"PAGER") || tel.hasType(u"MODEM")) && !tel.hasType(u"VOICE");
}

// Whether a value is an address ("tel:+34...", "mailto:ana@...") rather than text: as the
// property says, or in a 4.0 card, where it is the rule.
bool isAddress(const VCard &card, const VCardProperty &property)
{
    return property.firstParameter("VALUE").compare(u"uri", Qt::CaseInsensitive) == 0
        || card.version == "4.0";
}

QString telephoneText(const VCard &card, const VCardProperty &tel)
{
    QString text = tel.text();
    if (isAddress(card, tel) && text.startsWith(u"tel:", Qt::CaseInsensitive))
        text = QUrl::fromPercentEncoding(text.mid(4).toUtf8());
    return text;
}

// Splits a formatted name: the last word is the surname, the rest the name.
std::pair<QString, QString> splitFormattedName(const QString &formatted)
{
    const QStringList words = formatted.simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    return {words.back(), words.mid(0, words.size() - 1).join(u' ')};
}

void mapName(const VCard &card, VCardContact &contact)
{
    QString &surname = contact.fields[apellido];
    QString &name = contact.fields[nombre];
    if (const VCardProperty *n = card.first("N")) {
        const VCardText::Pieces parts = VCardText::split(n->value, u';');
        if (!parts.isEmpty())
            VCardText::joinedItemsInto(surname, parts[0], u" ");
        // The given names, and the additional ones after them.
        if (parts.size() > 1)
            VCardText::joinedItemsInto(name, parts[1], u" ");
        if (parts.size() > 2) {
            const QString additional = VCardText::joinedItems(parts[2], u" ");
            if (!additional.isEmpty())
                name = joinedNames(name, additional);
        }
    }
    if (surname.isEmpty() || name.isEmpty()) {
        const VCardProperty *fn = card.first("FN");
        auto [fnSurname, fnName] = splitFormattedName(fn ? fn->text() : QString());
        const bool fromN = !surname.isEmpty() || !name.isEmpty();
        if (!fromN || (!fnSurname.isEmpty() && !fnName.isEmpty())) {
            surname = std::move(fnSurname);
            name = std::move(fnName);
        }
    }
    contact.hasName = !surname.isEmpty() || !name.isEmpty();
    if (contact.hasName && (surname.isEmpty() || name.isEmpty())) {
        contact.nameCompleted = true;
        if (surname.isEmpty())
            surname = QStringLiteral("-");
        else
            name = QStringLiteral("-");
    }
}

void mapAddress(const VCard &card, VCardContact &contact)
{
    const VCardProperty *chosen = nullptr;
    for (const VCardProperty &address : card.properties()) {
        if (!address.is("ADR"))
            continue;
        if (!chosen)
            chosen = &address;
        if (address.hasType(u"HOME")) {
            chosen = &address;
            break;
        }
    }
    if (!chosen)
        return;
    const VCardText::Pieces parts = VCardText::split(chosen->value, u';');
    // The post office box, the extended address and the postal code have no field.
    const std::pair<int, qsizetype> places[] = {{domicilio, 2}, {localidad, 3}, {provincia, 4}, {pais, 6}};
    for (const auto &[field, part] : places) {
        if (part < parts.size())
            VCardText::joinedItemsInto(contact.fields[field], parts[part], u", ");
    }
}

// A number or address with its text, read once.
struct Entry
{
    const VCardProperty *property;
    QString text;
};

// The properties of that name whose text is not empty, preferred ones first, card order
// otherwise.
QVarLengthArray<Entry, 4> entries(
    const VCard &card, QByteArrayView name, QString (*textOf)(const VCard &, const VCardProperty &))
{
    QVarLengthArray<Entry, 4> found;
    for (const VCardProperty &property : card.properties()) {
        if (!property.is(name))
            continue;
        QString text = textOf(card, property);
        if (!text.isEmpty())
            found.append({&property, std::move(text)});
    }
    // A card has few of them: sorted in place, each moved back past those it is preferred to,
    // so that equals keep their order (std::stable_sort would ask for memory every time).
    const auto rank = [](const Entry &entry) {
        const int preference = entry.property->preference();
        return preference == 0 ? 101 : preference;
    };
    for (qsizetype i = 1; i < found.size(); ++i) {
        for (qsizetype j = i; j > 0 && rank(found[j]) < rank(found[j - 1]); --j)
            std::swap(found[j], found[j - 1]);
    }
    return found;
}

void mapTelephones(const VCard &card, VCardContact &contact)
{
    QVarLengthArray<const Entry *, 4> mobiles;
    QVarLengthArray<const Entry *, 4> landlines;
    QVarLengthArray<const Entry *, 4> others;
    const auto tels = entries(card, "TEL", telephoneText);
    for (const Entry &tel : tels) {
        if (isMobile(card, *tel.property))
            mobiles.append(&tel);
        else if (isFaxOrPager(*tel.property))
            others.append(&tel);
        else
            landlines.append(&tel);
    }
    landlines.append(others.begin(), others.size());
    if (landlines.isEmpty() && mobiles.size() > 1) {
        landlines.append(mobiles[1]);
        mobiles.remove(1);
    }
    if (!mobiles.isEmpty())
        contact.fields[celular] = mobiles.front()->text;
    if (!landlines.isEmpty())
        contact.fields[telefono] = landlines.front()->text;
    if (mobiles.size() > 1 || landlines.size() > 1)
        contact.extrasLeftOut = true;
}

QString emailText(const VCard &card, const VCardProperty &email)
{
    QString address = email.text();
    if (isAddress(card, email) && address.startsWith(u"mailto:", Qt::CaseInsensitive))
        address = address.mid(7);
    return address;
}

void mapEmail(const VCard &card, VCardContact &contact)
{
    const auto emails = entries(card, "EMAIL", emailText);
    if (emails.isEmpty())
        return;
    contact.fields[email] = emails.front().text;
    if (emails.size() > 1)
        contact.extrasLeftOut = true;
}

void mapOccupation(const VCard &card, VCardContact &contact)
{
    for (const char *name : {"TITLE", "ROLE"}) {
        for (const VCardProperty &property : card.properties()) {
            if (!property.is(name))
                continue;
            const QString text = property.text();
            if (!text.isEmpty()) {
                contact.fields[ocupacion] = text;
                return;
            }
        }
    }
    for (const VCardProperty &org : card.properties()) {
        if (!org.is("ORG"))
            continue;
        // The organisation and its units: "Hospital Clínico, Pediatría".
        QStringList units;
        for (QStringView unit : VCardText::split(org.value, u';')) {
            const QString text = VCardText::joinedItems(unit, u", ");
            if (!text.trimmed().isEmpty())
                units << (units.isEmpty() ? text : text.trimmed());
        }
        if (units.size() > 1)
            units.front() = units.front().trimmed();
        const QString text = units.join(u", ");
        if (!text.isEmpty()) {
            contact.fields[ocupacion] = text;
            return;
        }
    }
}

// "data:image/jpeg;base64,/9j/..." to its bytes.
std::optional<QByteArray> dataAddress(const QString &value)
{
    if (!value.startsWith(u"data:", Qt::CaseInsensitive))
        return std::nullopt;
    const qsizetype comma = value.indexOf(u',');
    if (comma < 0)
        return QByteArray();
    const QString header = value.mid(5, comma - 5);
    const QByteArray data = value.mid(comma + 1).toLatin1();
    if (header.endsWith(u";base64", Qt::CaseInsensitive)) {
        QByteArray compact = data;
        compact.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
        auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
        return decoded ? decoded.decoded : QByteArray();
    }
    return QByteArray::fromPercentEncoding(data);
}

void mapPhoto(const VCard &card, VCardContact &contact)
{
    const QList<const VCardProperty *> photos = card.all("PHOTO");
    for (const VCardProperty *photo : photos) {
        if (photo->isBinary) {
            if (!photo->damaged && !photo->binary.isEmpty()) {
                contact.photo = photo->binary;
                return;
            }
            continue;
        }
        const QString value = photo->value.trimmed();
        if (value.isEmpty())
            continue;
        if (const std::optional<QByteArray> data = dataAddress(value)) {
            if (!data->isEmpty()) {
                contact.photo = *data;
                return;
            }
            continue;
        }
        const QUrl url(value);
        if (url.isLocalFile()) {
            const QString path = url.toLocalFile();
            if (QFileInfo(path).isFile()) {
                contact.fields[ubicacionfoto] = path;
                return;
            }
            continue;
        }
        // Base64 that does not say so: "PHOTO;TYPE=JPEG:/9j/4AAQ...".
        if (url.scheme().isEmpty()) {
            auto decoded
                = QByteArray::fromBase64Encoding(value.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            if (decoded && !decoded.decoded.isEmpty()) {
                contact.photo = decoded.decoded;
                return;
            }
        }
        // A web address: never fetched.
    }
    contact.photoLeftOut = !photos.isEmpty();
}

// The text of that property into the field, which stays empty without it; whether it is there.
bool orvaliaText(const VCard &card, const char *name, QString &field)
{
    const VCardProperty *property = card.first(name);
    if (property)
        property->textInto(field);
    return property != nullptr;
}

} // namespace

void VCardContact::clear()
{
    for (QString &field : fields) {
        if (field.isDetached())
            field.resize(0); // its memory stays for the next card
        else
            field = QString();
    }
    photo.clear();
    hasName = false;
    nameCompleted = false;
    extrasLeftOut = false;
    photoLeftOut = false;
}

void contactOf(const VCard &card, const VCardDates &dates, const QString &today, VCardContact &contact)
{
    contact.clear();
    mapName(card, contact);
    if (const VCardProperty *nickname = card.first("NICKNAME"))
        VCardText::joinedItemsInto(contact.fields[nick], nickname->value, u", ");
    mapAddress(card, contact);
    mapTelephones(card, contact);
    mapEmail(card, contact);
    mapOccupation(card, contact);
    mapPhoto(card, contact);

    ContactRecord::Fields &fields = contact.fields;
    orvaliaText(card, VCardOrvalia::Age, fields[edad]);
    if (!orvaliaText(card, VCardOrvalia::RegistrationDate, fields[fechaalta]))
        fields[fechaalta] = today;
    if (!orvaliaText(card, VCardOrvalia::BirthDate, fields[fechanac])) {
        if (const VCardProperty *bday = card.first("BDAY"))
            fields[fechanac] = dates.fromBday(*bday);
    }
    orvaliaText(card, VCardOrvalia::CivilStatus, fields[estadocivil]);
    orvaliaText(card, VCardOrvalia::Weight, fields[peso]);
    orvaliaText(card, VCardOrvalia::Height, fields[altura]);
}

QList<QByteArray> mappedProperties()
{
    return {"N", "FN", "NICKNAME", "ADR", "TEL", "EMAIL", "BDAY", "TITLE", "ROLE", "ORG", "PHOTO",
        "X-ABLABEL", VCardOrvalia::Age, VCardOrvalia::RegistrationDate, VCardOrvalia::BirthDate,
        VCardOrvalia::CivilStatus, VCardOrvalia::Weight, VCardOrvalia::Height};
}
