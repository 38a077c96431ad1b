#include "contacts/contact_search.h"

#include "contacts/contact_record.h"
#include "contacts/contact_search_record.h"
#include "contacts/search_folding.h"
#include "platform/windows1252.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>
#include <utility>

using ContactSearchRecord::FirstMark;
using ContactSearchRecord::Separator;
using SearchFolding::findFolded;
using SearchFolding::Unmatchable;

namespace {

constexpr QLatin1StringView NumberCharacters("0123456789+-.()/");

} // namespace

QString ContactSearch::countText(qsizetype count)
{
    if (count == 0)
        return QStringLiteral("Ningún contacto");
    if (count == 1)
        return QStringLiteral("1 contacto");
    return QStringLiteral("%1 contactos").arg(count);
}

std::vector<ContactSearch::Word> ContactSearch::wordsOf(const QString &query)
{
    // Blanks and control characters part the words.
    QStringList pieces;
    QString piece;
    for (const QChar c : query) {
        if (c.isSpace() || c.category() == QChar::Other_Control) {
            if (!piece.isEmpty())
                pieces.append(std::exchange(piece, {}));
        } else {
            piece += c;
        }
    }
    if (!piece.isEmpty())
        pieces.append(piece);

    const auto isNumberPiece = [](const QString &p) {
        return std::all_of(p.cbegin(), p.cend(), [](QChar c) { return NumberCharacters.contains(c); });
    };
    std::vector<Word> words;
    for (qsizetype i = 0; i < pieces.size();) {
        // A run of pieces of digits and signs is one number when it holds a digit; a sign alone
        // ("-") is a word like any other.
        qsizetype runEnd = i;
        QByteArray numberDigits;
        while (runEnd < pieces.size() && isNumberPiece(pieces[runEnd])) {
            for (const QChar c : pieces[runEnd]) {
                if (c.isDigit())
                    numberDigits += char(c.unicode());
            }
            ++runEnd;
        }
        if (!numberDigits.isEmpty()) {
            words.push_back({numberDigits, true});
            i = runEnd;
            continue;
        }
        for (runEnd = std::max(runEnd, i + 1); i < runEnd; ++i) {
            QByteArray folded;
            folded.reserve(pieces[i].size());
            for (const QChar c : pieces[i])
                folded += SearchFolding::foldedByte(c);
            words.push_back({folded, false});
        }
    }
    return words;
}

bool ContactSearch::contains(quint32 contact, const QByteArray &needle) const
{
    const char *begin = m_text.constData() + m_starts[contact];
    const char *end = m_text.constData() + m_starts[contact + 1];
    return findFolded(begin, end, needle) != end;
}

std::vector<quint32> ContactSearch::scanAll(const QByteArray &needle) const
{
    std::vector<quint32> found;
    const char *base = m_text.constData();
    const char *end = base + m_starts.back();
    quint32 contact = 0;
    for (const char *at = base; (at = findFolded(at, end, needle)) != end;) {
        const auto offset = quint32(at - base);
        contact = quint32(std::upper_bound(m_starts.cbegin() + contact, m_starts.cend(), offset)
                      - m_starts.cbegin())
            - 1;
        found.push_back(contact);
        at = base + m_starts[contact + 1];
    }
    return found;
}

ContactSearch::Results ContactSearch::find(const QString &query)
{
    std::vector<Word> words = wordsOf(query);
    const bool unmatchable = std::any_of(
        words.cbegin(), words.cend(), [](const Word &w) { return w.needle.contains(Unmatchable); });
    // Whether every contact that holds word also holds earlier (a word of the previous query).
    const auto implies = [](const Word &word, const Word &earlier) {
        return word.number == earlier.number && word.needle.contains(earlier.needle);
    };
    const bool narrows
        = !m_lastWords.empty() && std::all_of(m_lastWords.cbegin(), m_lastWords.cend(), [&](const Word &e) {
              return std::any_of(words.cbegin(), words.cend(), [&](const Word &w) { return implies(w, e); });
          });
    // The matches in file order, which is their order in memory: a look at each goes forward.
    std::vector<quint32> matches;
    std::vector<const QByteArray *> needles;
    if (words.empty() || unmatchable) {
        // nothing
    } else if (narrows) {
        // Every match is among the previous ones; words the previous query had are held already.
        for (const Word &w : words) {
            if (std::none_of(m_lastWords.cbegin(), m_lastWords.cend(),
                    [&](const Word &e) { return e.number == w.number && e.needle == w.needle; }))
                needles.push_back(&w.needle);
        }
        matches = needles.empty() ? m_lastMatches : filter(m_lastMatches, needles);
    } else {
        // The longest word, usually the rarest, through the whole text; the others in its matches.
        const auto anchor = std::max_element(words.cbegin(), words.cend(),
            [](const Word &a, const Word &b) { return a.needle.size() < b.needle.size(); });
        for (const Word &w : words) {
            if (&w != &*anchor)
                needles.push_back(&w.needle);
        }
        matches = filter(scanAll(anchor->needle), needles);
    }

    // The first rows of the list among the matches.
    std::vector<quint64> rows((m_order.size() + 63) / 64);
    for (const quint32 contact : matches)
        rows[m_rows[contact] / 64] |= quint64(1) << (m_rows[contact] % 64);
    Results results;
    results.count = qsizetype(matches.size());
    results.shown.reserve(std::min<std::size_t>(matches.size(), MaxResults));
    for (std::size_t chunk = 0; chunk < rows.size() && results.shown.size() < MaxResults; ++chunk) {
        for (quint64 bits = rows[chunk]; bits && results.shown.size() < MaxResults; bits &= bits - 1)
            results.shown.push_back(resultFor(m_order[chunk * 64 + std::countr_zero(bits)], words));
    }
    m_lastWords = std::move(words);
    m_lastMatches = std::move(matches);
    return results;
}

std::vector<quint32> ContactSearch::filter(
    const std::vector<quint32> &contacts, std::vector<const QByteArray *> needles) const
{
    if (needles.empty())
        return contacts;
    std::vector<quint32> kept;
    if (contacts.size() > m_order.size() / 4) {
        // Among many contacts one pass through the whole text is quicker than a look at each.
        const auto longest = std::max_element(needles.begin(), needles.end(),
            [](const QByteArray *a, const QByteArray *b) { return a->size() < b->size(); });
        const std::vector<quint32> found = scanAll(**longest);
        needles.erase(longest);
        std::set_intersection(
            contacts.cbegin(), contacts.cend(), found.cbegin(), found.cend(), std::back_inserter(kept));
        return filter(kept, std::move(needles));
    }
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        // The records are far apart when the contacts are few: the next ones are fetched meanwhile.
        if (i + 4 < contacts.size())
            __builtin_prefetch(m_text.constData() + m_starts[contacts[i + 4]]);
        if (std::all_of(needles.cbegin(), needles.cend(),
                [&](const QByteArray *n) { return contains(contacts[i], *n); }))
            kept.push_back(contacts[i]);
    }
    return kept;
}

ContactSearch::Result ContactSearch::resultFor(quint32 contact, const std::vector<Word> &words) const
{
    const char *begin = m_text.constData() + m_starts[contact];
    const char *end = m_text.constData() + m_starts[contact + 1];
    // Where each field ends: its separator.
    std::array<const char *, ContactRecord::FieldCount> fieldEnds;
    const char *at = begin;
    for (const char *&fieldEnd : fieldEnds) {
        fieldEnd = static_cast<const char *>(std::memchr(at, Separator, end - at));
        at = fieldEnd + 1;
    }
    const char *digitsBegin = at;
    const auto fieldAt = [&](const char *position) {
        if (position < digitsBegin)
            return int(std::upper_bound(fieldEnds.cbegin(), fieldEnds.cend(), position) - fieldEnds.cbegin());
        while (quint8(*position) >= FirstMark + ContactRecord::FieldCount)
            ++position;
        return int(quint8(*position) - FirstMark);
    };
    quint32 fields = 0;
    for (const Word &word : words) {
        for (const char *found = begin; (found = findFolded(found, end, word.needle)) != end; ++found)
            fields |= 1u << fieldAt(found);
    }
    const quint32 beyondKey = fields & ~quint32(3);
    const int field
        = std::min(std::countr_zero(beyondKey ? beyondKey : fields), ContactRecord::FieldCount - 1);
    const char *fieldBegin = field == 0 ? begin : fieldEnds[field - 1] + 1;

    Result result;
    result.key = Windows1252::decode(QByteArrayView(begin, fieldEnds[0])) + u' '
        + Windows1252::decode(QByteArrayView(fieldEnds[0] + 1, fieldEnds[1])) + u' ';
    result.row = int(m_rows[contact]);
    result.field = field;
    result.text = Windows1252::decode(QByteArrayView(fieldBegin, fieldEnds[field]));
    result.fields = fields;
    return result;
}
