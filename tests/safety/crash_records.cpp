#include "crash_records.h"

#include "platform/windows1252.h"

#include <QList>

using namespace ContactRecord;

namespace CrashRecords {

namespace {

quint64 mix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Letters the file keeps as they are, code page punctuation included; never the separator.
const QString Alphabet = u"abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 .,-/@ "
                         u"áéíóúñÑüÜçÇÃ€‰„“”–—™¿¡"_qs;

const QList<QString> Names
    = {u"Ana"_qs, u"José"_qs, u"Íñigo"_qs, u"Zoë"_qs, u"Eva"_qs, u"Raúl"_qs, u"Begoña"_qs, u"Luis"_qs};

QString text(quint64 &state, qsizetype length)
{
    QString result(length, Qt::Uninitialized);
    for (QChar &c : result) {
        state = mix(state);
        c = Alphabet.at(qsizetype(state % quint64(Alphabet.size())));
    }
    return result;
}

} // namespace

Fields fields(quint32 id, quint32 version)
{
    quint64 state = mix((quint64(id) << 32) | version);
    Fields f;
    f[apellido] = (version % 4 == 3 ? u"Ápellido"_qs : u"Apellido"_qs) + QString::number(id);
    f[nombre] = Names.at(id % Names.size());
    f[nick] = u"c%1v%2"_qs.arg(id).arg(version);
    const quint64 size = mix(state) % 64;
    for (int i = edad; i < FieldCount; ++i) {
        state = mix(state);
        qsizetype length = qsizetype(state % 24);
        if (size == 0 || (size < 8 && (i == domicilio || i == ocupacion)))
            length = 1000 + qsizetype(state % 31768);
        f[i] = text(state, length);
    }
    return f;
}

QString line(quint32 id, quint32 version)
{
    return lineOf(fields(id, version));
}

QByteArray bytes(quint32 id, quint32 version)
{
    return Windows1252::encode(line(id, version));
}

bool nickname(const QString &text, quint32 &id, quint32 &version)
{
    const qsizetype v = text.indexOf(u'v');
    if (!text.startsWith(u'c') || v < 0)
        return false;
    bool idOk = false;
    bool versionOk = false;
    id = text.mid(1, v - 1).toUInt(&idOk);
    version = text.mid(v + 1).toUInt(&versionOk);
    return idOk && versionOk;
}

bool identify(QStringView line, quint32 &id, quint32 &version)
{
    return nickname(fieldsOf(line)[nick], id, version) && line == CrashRecords::line(id, version);
}

QString optionValue(quint64 seq)
{
    return u"v%1"_qs.arg(seq);
}

PasswordValues passwordValues(quint64 seq)
{
    return {u"clave p%1"_qs.arg(seq), u"¿q%1?"_qs.arg(seq), u"respuesta a%1"_qs.arg(seq)};
}

QString newPassword(quint64 seq)
{
    return u"nueva n%1"_qs.arg(seq);
}

PasswordValues firstPasswordValues()
{
    return {u"clave"_qs, u"¿Color?"_qs, u"azul marino"_qs};
}

QString answerTo(const QString &question)
{
    if (question == firstPasswordValues().question)
        return firstPasswordValues().answer;
    return u"respuesta a"_qs + question.mid(2, question.size() - 3);
}

char stepPoint(TwinWriter::Step step, bool done)
{
    const int index = int(step) * 2 + (done ? 1 : 0);
    return StepPoints[index];
}

bool parse(QByteArrayView text, Entry &entry)
{
    const QList<QByteArray> words = text.toByteArray().split(' ');
    entry = Entry();
    if (words.isEmpty() || words.first().size() != 1)
        return false;
    entry.kind = words.first().at(0);
    bool ok = true;
    auto number = [&](int i) -> quint64 {
        bool good = false;
        const quint64 value = i < words.size() ? words.at(i).toULongLong(&good) : 0;
        ok = ok && good;
        return value;
    };
    switch (entry.kind) {
    case 'R':
        return words.size() == 1;
    case 's':
        if (words.size() != 2 || words.at(1).size() != 1
            || !QByteArrayView(StepPoints).contains(words.at(1).at(0)))
            return false;
        entry.op = words.at(1).at(0);
        return true;
    case 'E':
        entry.seq = number(1);
        entry.ok = number(2) == 1;
        return ok && words.size() == 3;
    case 'B':
        entry.seq = number(1);
        if (words.size() < 3 || words.at(2).size() != 1)
            return false;
        entry.op = words.at(2).at(0);
        switch (entry.op) {
        case 'A':
        case 'D':
            entry.id = quint32(number(3));
            entry.version = quint32(number(4));
            return ok && words.size() == 5;
        case 'M':
            entry.id = quint32(number(3));
            entry.version = quint32(number(4));
            entry.newVersion = quint32(number(5));
            return ok && words.size() == 6;
        case 'K':
        case 'S':
        case 'C':
            return ok && words.size() == 3;
        case 'U':
            entry.id = quint32(number(3));
            entry.token = number(4);
            return ok && words.size() == 5 && entry.id >= 1 && entry.id <= 8;
        case 'W':
        case 'P':
            entry.token = number(3);
            if (!ok || words.size() != 5)
                return false;
            entry.bytes = QByteArray::fromBase64(words.at(4), QByteArray::AbortOnBase64DecodingErrors);
            return !entry.bytes.isEmpty();
        }
        return false;
    }
    return false;
}

} // namespace CrashRecords
