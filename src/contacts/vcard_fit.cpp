#include "contacts/vcard_fit.h"

#include "contacts/contact_record.h"
#include "platform/windows1252.h"

#include <QList>

#include <algorithm>
#include <utility>

using ContactRecord::isStorable;

namespace VCardFit {

namespace {

bool isMark(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing;
}

// The character without its accents, when what is left can be stored.
QString withoutAccents(char32_t c, QString::NormalizationForm form)
{
    const QString decomposed = QString::fromUcs4(&c, 1).normalized(form);
    QString out;
    for (char32_t part : decomposed.toUcs4()) {
        if (isMark(part))
            continue;
        const QString text = QString::fromUcs4(&part, 1);
        if (text.size() != 1 || !isStorable(text.front()))
            return {};
        out += text;
    }
    return out;
}

// Letters with a stroke, which Unicode does not decompose, and what they are without it.
constexpr std::pair<char32_t, char> Strokeless[] = {
    {U'ł', 'l'},
    {U'Ł', 'L'},
    {U'đ', 'd'},
    {U'Đ', 'D'},
    {U'ħ', 'h'},
    {U'Ħ', 'H'},
    {U'ı', 'i'},
    {U'ŧ', 't'},
    {U'Ŧ', 'T'},
};

QString strokeless(char32_t c)
{
    for (const auto &[stroked, plain] : Strokeless) {
        if (stroked == c)
            return QString(QLatin1Char(plain));
    }
    return {};
}

} // namespace

char *storedAsItIs(QStringView text, char *out)
{
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x80 && code != u'\r' && code != u'\n') {
            *out++ = char(code); // most are ASCII
        } else if (code >= 0x80 && isStorable(c)) {
            out = Windows1252::encodeInto(QStringView(&c, 1), out);
        } else {
            return nullptr;
        }
    }
    return out;
}

QString fitted(const QString &text, bool *changed)
{
    const auto storable = [](QChar c) {
        return c.unicode() < 0x80 ? c != u'\r' && c != u'\n' : isStorable(c); // most are ASCII
    };
    if (std::all_of(text.cbegin(), text.cend(), storable)) {
        // Nothing to do: no character of the code page composes with another.
        if (changed)
            *changed = false;
        return text;
    }
    const QString composed = text.normalized(QString::NormalizationForm_C);
    QString out;
    out.reserve(composed.size());
    for (qsizetype i = 0; i < composed.size(); ++i) {
        const QChar c = composed[i];
        if (c == u'\r' || c == u'\n' || c == QChar(0x85) || c == QChar(0x2028) || c == QChar(0x2029)) {
            if (c == u'\r' && i + 1 < composed.size() && composed[i + 1] == u'\n')
                ++i;
            out += u' ';
            continue;
        }
        if (isStorable(c)) {
            out += c;
            continue;
        }
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < composed.size() && composed[i + 1].isLowSurrogate())
            code = QChar::surrogateToUcs4(c, composed[++i]);
        if (isMark(code))
            continue; // an accent with no letter to sit on
        QString replacement = withoutAccents(code, QString::NormalizationForm_D);
        if (replacement.isEmpty())
            replacement = withoutAccents(code, QString::NormalizationForm_KD);
        if (replacement.isEmpty())
            replacement = strokeless(code);
        out += replacement.isEmpty() ? QStringLiteral("?") : replacement;
    }
    if (changed)
        *changed = out != composed;
    return out;
}

} // namespace VCardFit
