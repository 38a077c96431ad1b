#include "contacts/vcard.h"

#include "contacts/vcard_syntax.h"
#include "contacts/vcard_text.h"

#include <algorithm>

namespace {

// Letter case ignored: by hand in ASCII, which types are written in, by Qt beyond it.
bool equalIgnoringCase(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x == y)
            continue;
        if (x >= 0x80 || y >= 0x80)
            return a.compare(b, Qt::CaseInsensitive) == 0;
        const char16_t folded = x | 0x20;
        if (folded != (y | 0x20) || folded < u'a' || folded > u'z')
            return false;
    }
    return true;
}

} // namespace

QString VCardProperty::firstParameter(QByteArrayView wanted) const
{
    for (const auto &[key, text] : parameters) {
        if (VCardSyntax::sameName(key, wanted))
            return text;
    }
    return {};
}

QStringList VCardProperty::parameter(QByteArrayView wanted) const
{
    QStringList values;
    for (const auto &[key, text] : parameters) {
        if (VCardSyntax::sameName(key, wanted))
            values << text;
    }
    return values;
}

bool VCardProperty::hasType(QStringView type) const
{
    for (const auto &[key, text] : parameters) {
        if (VCardSyntax::sameName(key, "TYPE") && equalIgnoringCase(text, type))
            return true;
    }
    return false;
}

int VCardProperty::preference() const
{
    int best = 0;
    for (const auto &[key, text] : parameters) {
        int level = 0;
        if (VCardSyntax::sameName(key, "PREF")) {
            bool ok = false;
            level = std::clamp(text.toInt(&ok), 1, 100);
            if (!ok)
                level = 1;
        } else if (VCardSyntax::sameName(key, "TYPE") && equalIgnoringCase(text, u"PREF")) {
            level = 1;
        }
        if (level > 0 && (best == 0 || level < best))
            best = level;
    }
    return best;
}

QString VCardProperty::text() const
{
    // Without escapes the text is the value itself, shared rather than copied.
    return VCardText::hasBackslash(value) ? VCardText::unescaped(value) : value;
}

void VCardProperty::textInto(QString &out) const
{
    if (VCardText::hasBackslash(value))
        VCardText::unescapedInto(out, value);
    else
        out = value;
}

QList<QStringList> VCardProperty::components() const
{
    QList<QStringList> parts;
    for (QStringView component : VCardText::split(value, u';')) {
        QStringList items;
        for (QStringView item : VCardText::split(component, u','))
            items << VCardText::unescaped(item);
        parts << items;
    }
    return parts;
}

QString VCardProperty::component(int index, QStringView glue) const
{
    const VCardText::Pieces parts = VCardText::split(value, u';');
    return index < parts.size() ? VCardText::joinedItems(parts[index], glue) : QString();
}

QStringList VCardProperty::items() const
{
    QStringList items;
    for (QStringView item : VCardText::split(value, u','))
        items << VCardText::unescaped(item);
    return items;
}

QList<const VCardProperty *> VCard::all(QByteArrayView name) const
{
    QList<const VCardProperty *> found;
    for (const VCardProperty &property : properties()) {
        if (property.is(name))
            found << &property;
    }
    return found;
}

const VCardProperty *VCard::first(QByteArrayView name) const
{
    for (const VCardProperty &property : properties()) {
        if (property.is(name))
            return &property;
    }
    return nullptr;
}

QString VCard::labelOf(const VCardProperty &property) const
{
    if (property.group.isEmpty())
        return {};
    for (const VCardProperty &other : properties()) {
        if (other.is("X-ABLABEL") && VCardSyntax::equalsIgnoringCase(other.group, property.group)) {
            QString label = other.text();
            // Apple's own labels: "_$!<Mobile>!$_".
            if (label.startsWith(u"_$!<") && label.endsWith(u">!$_"))
                label = label.mid(4, label.size() - 8);
            return label;
        }
    }
    return {};
}
