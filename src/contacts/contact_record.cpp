#include "contacts/contact_record.h"

#include "platform/windows1252.h"

namespace ContactRecord {

namespace {

// The field that starts at from, and where the next one starts (past the separator), or the end
// of the line when there is no further separator.
QStringView nextField(QStringView line, qsizetype &from)
{
    const qsizetype separator = line.indexOf(Separator, from);
    const qsizetype end = separator < 0 ? line.size() : separator;
    const QStringView field = line.mid(from, end - from);
    from = separator < 0 ? line.size() : separator + 1;
    return field;
}

} // namespace

QString keyOf(QStringView line)
{
    qsizetype from = 0;
    const QStringView surname = nextField(line, from);
    const QStringView name = nextField(line, from);
    QString key;
    key.reserve(surname.size() + name.size() + 2);
    key += surname;
    key += u' ';
    key += name;
    key += u' ';
    return key;
}

Fields fieldsOf(QStringView line)
{
    Fields fields;
    qsizetype from = 0;
    for (QString &field : fields)
        field = nextField(line, from).toString();
    return fields;
}

bool isStorable(QChar c)
{
    if (c.unicode() < 0x80)
        return c != u'\r' && c != u'\n';
    return c != Separator && Windows1252::canEncode(c);
}

QString storable(const QString &field)
{
    QString text = field;
    text.removeIf([](QChar c) { return !isStorable(c); });
    return text;
}

QString lineOf(const Fields &fields)
{
    QString line;
    for (const QString &field : fields) {
        line += storable(field);
        line += Separator;
    }
    return line;
}

QString capitalized(const QString &field)
{
    if (field.isEmpty())
        return field;
    QString text = field;
    const QString first = text.left(1).toUpper();
    // A first character whose upper case is not one character ("ß") is left as it is.
    if (first.size() == 1 && isStorable(first.front()))
        text[0] = first.front();
    return text;
}

} // namespace ContactRecord
