#include "sample_contacts.h"

#include "contacts/contact_record.h"
#include "platform/windows1252.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

#include <array>
#include <numeric>

namespace SampleContacts {

namespace {

template <std::size_t N> using List = std::array<const char16_t *, N>;

// clang-format off
constexpr List<120> Surnames = {
    u"García",    u"Rodríguez", u"González",  u"Fernández", u"López",     u"Martínez",  u"Sánchez",
    u"Pérez",     u"Gómez",     u"Martín",    u"Jiménez",   u"Ruiz",      u"Hernández", u"Díaz",
    u"Moreno",    u"Muñoz",     u"Álvarez",   u"Romero",    u"Alonso",    u"Gutiérrez", u"Navarro",
    u"Torres",    u"Domínguez", u"Vázquez",   u"Ramos",     u"Gil",       u"Ramírez",   u"Serrano",
    u"Blanco",    u"Molina",    u"Morales",   u"Suárez",    u"Ortega",    u"Delgado",   u"Castro",
    u"Ortiz",     u"Rubio",     u"Marín",     u"Sanz",      u"Núñez",     u"Iglesias",  u"Medina",
    u"Garrido",   u"Cortés",    u"Castillo",  u"Santos",    u"Lozano",    u"Guerrero",  u"Cano",
    u"Prieto",    u"Méndez",    u"Cruz",      u"Calvo",     u"Gallego",   u"Vidal",     u"León",
    u"Márquez",   u"Herrera",   u"Peña",      u"Flores",    u"Cabrera",   u"Campos",    u"Vega",
    u"Fuentes",   u"Carrasco",  u"Díez",      u"Caballero", u"Reyes",     u"Nieto",     u"Aguilar",
    u"Pascual",   u"Santana",   u"Herrero",   u"Lorenzo",   u"Montero",   u"Hidalgo",   u"Giménez",
    u"Ibáñez",    u"Ferrer",    u"Durán",     u"Santiago",  u"Benítez",   u"Mora",      u"Vicente",
    u"Vargas",    u"Arias",     u"Carmona",   u"Crespo",    u"Román",     u"Pastor",    u"Soto",
    u"Sáez",      u"Velasco",   u"Moya",      u"Soler",     u"Parra",     u"Esteban",   u"Bravo",
    u"Gallardo",  u"Rojas",     u"Quispe",    u"Mamani",    u"Chávez",    u"Villanueva", u"Espinoza",
    u"Mendoza",   u"Salazar",   u"Acosta",    u"Aguirre",   u"Pineda",    u"Valenzuela", u"Zúñiga",
    u"Figueroa",  u"Cárdenas",  u"Quintero",  u"Sepúlveda", u"Bustamante", u"Echeverría", u"Ocampo",
    u"Maldonado",
};

// Alternately a man's and a woman's name.
constexpr List<100> Names = {
    u"José",      u"María",     u"Juan",      u"Ana",       u"Luis",      u"Carmen",    u"Carlos",
    u"Lucía",     u"Javier",    u"Sofía",     u"Miguel",    u"Valentina", u"Ángel",     u"Camila",
    u"Jesús",     u"Isabel",    u"Francisco", u"Elena",     u"Andrés",    u"Paula",     u"Sebastián",
    u"Martina",   u"Mateo",     u"Daniela",   u"Diego",     u"Gabriela",  u"Alejandro", u"Verónica",
    u"Fernando",  u"Natalia",   u"Raúl",      u"Mónica",    u"Rubén",     u"Patricia",  u"Óscar",
    u"Claudia",   u"Iván",      u"Rocío",     u"Tomás",     u"Inés",      u"Joaquín",   u"Julia",
    u"Ramón",     u"Beatriz",   u"Emilio",    u"Silvia",    u"Gonzalo",   u"Marta",     u"Héctor",
    u"Lorena",    u"Agustín",   u"Florencia", u"Nicolás",   u"Ximena",    u"Santiago",  u"Renata",
    u"Matías",    u"Josefina",  u"Facundo",   u"Agustina",  u"Rodrigo",   u"Antonella", u"Esteban",
    u"Guadalupe", u"Hugo",      u"Fernanda",  u"Ignacio",   u"Catalina",  u"Pablo",     u"Victoria",
    u"Álvaro",    u"Adriana",   u"Sergio",    u"Pilar",     u"Jorge",     u"Rosa",      u"Manuel",
    u"Teresa",    u"Víctor",    u"Alicia",    u"Eduardo",   u"Mercedes",  u"Felipe",    u"Soledad",
    u"Mauricio",  u"Luciana",   u"Cristóbal", u"Milagros",  u"Benjamín",  u"Belén",     u"Gustavo",
    u"Dolores",   u"Ricardo",   u"Amparo",    u"Emiliano",  u"Noemí",     u"Leonardo",  u"Consuelo",
    u"Germán",    u"Ángela",
};

constexpr List<24> Nicks = {
    u"Pepe",  u"Juanjo", u"Nacho", u"Lucho", u"Chelo", u"Maite", u"Pili",  u"Paco",
    u"Quique", u"Charo", u"Lola",  u"Toño",  u"Chema", u"Manolo", u"Tito", u"Nena",
    u"Flaco", u"Rubia",  u"Chino", u"Pato",  u"Coco",  u"Kike",  u"Moni",  u"Beto",
};

struct Place
{
    const char16_t *town, *province, *country;
};

constexpr std::array<Place, 48> Places = {{
    {u"Madrid", u"Madrid", u"España"},
    {u"Barcelona", u"Barcelona", u"España"},
    {u"Sevilla", u"Sevilla", u"España"},
    {u"Málaga", u"Málaga", u"España"},
    {u"Córdoba", u"Córdoba", u"España"},
    {u"Cádiz", u"Cádiz", u"España"},
    {u"Valencia", u"Valencia", u"España"},
    {u"Zaragoza", u"Zaragoza", u"España"},
    {u"Bilbao", u"Vizcaya", u"España"},
    {u"Gijón", u"Asturias", u"España"},
    {u"León", u"León", u"España"},
    {u"Logroño", u"La Rioja", u"España"},
    {u"Pamplona", u"Navarra", u"España"},
    {u"Palma", u"Baleares", u"España"},
    {u"Ávila", u"Ávila", u"España"},
    {u"Cartagena", u"Murcia", u"España"},
    {u"Buenos Aires", u"Buenos Aires", u"Argentina"},
    {u"Córdoba", u"Córdoba", u"Argentina"},
    {u"Rosario", u"Santa Fe", u"Argentina"},
    {u"Mendoza", u"Mendoza", u"Argentina"},
    {u"Neuquén", u"Neuquén", u"Argentina"},
    {u"Mar del Plata", u"Buenos Aires", u"Argentina"},
    {u"Guadalajara", u"Jalisco", u"México"},
    {u"Monterrey", u"Nuevo León", u"México"},
    {u"Puebla", u"Puebla", u"México"},
    {u"Mérida", u"Yucatán", u"México"},
    {u"Querétaro", u"Querétaro", u"México"},
    {u"Bogotá", u"Cundinamarca", u"Colombia"},
    {u"Medellín", u"Antioquia", u"Colombia"},
    {u"Cali", u"Valle del Cauca", u"Colombia"},
    {u"Santiago", u"Metropolitana", u"Chile"},
    {u"Valparaíso", u"Valparaíso", u"Chile"},
    {u"Concepción", u"Biobío", u"Chile"},
    {u"Lima", u"Lima", u"Perú"},
    {u"Arequipa", u"Arequipa", u"Perú"},
    {u"Cusco", u"Cusco", u"Perú"},
    {u"Montevideo", u"Montevideo", u"Uruguay"},
    {u"Salto", u"Salto", u"Uruguay"},
    {u"Caracas", u"Distrito Capital", u"Venezuela"},
    {u"Maracaibo", u"Zulia", u"Venezuela"},
    {u"Quito", u"Pichincha", u"Ecuador"},
    {u"Guayaquil", u"Guayas", u"Ecuador"},
    {u"La Paz", u"La Paz", u"Bolivia"},
    {u"Asunción", u"Central", u"Paraguay"},
    {u"San José", u"San José", u"Costa Rica"},
    {u"La Habana", u"La Habana", u"Cuba"},
    {u"Santo Domingo", u"Distrito Nacional", u"Rep. Dominicana"},
    {u"Antigua", u"Sacatepéquez", u"Guatemala"},
}};

constexpr List<20> Streets = {
    u"Calle Mayor",       u"Av. Constitución", u"Calle San Martín", u"Av. Rivadavia",  u"Calle Alcalá",
    u"Paseo Reforma",     u"Av. Libertador",   u"Calle Real",       u"Av. Corrientes", u"Calle del Sol",
    u"Jr. de la Unión",   u"Calle Larga",      u"Av. 18 de Julio",  u"Calle de la Paz", u"Av. Bolívar",
    u"Calle Cervantes",   u"Av. de Mayo",      u"Calle Ancha",      u"Av. Colón",      u"Calle Núñez",
};

constexpr List<20> Jobs = {
    u"Ingeniero",   u"Abogada",      u"Médico",     u"Profesora",  u"Contador",   u"Enfermera",
    u"Arquitecto",  u"Comerciante",  u"Electricista", u"Periodista", u"Diseñadora", u"Farmacéutico",
    u"Maestra",     u"Jubilado",     u"Estudiante", u"Panadero",   u"Veterinaria", u"Técnico",
    u"Psicóloga",   u"Carpintero",
};

constexpr List<6> Domains = {u"gmail.com", u"hotmail.com", u"yahoo.es", u"outlook.com", u"correo.ar",
                             u"live.com.mx"};

// clang-format on

constexpr int PhotoCount = 8;

// A well-mixed number for each (index, purpose), so that line(index) needs no shared state.
quint64 mix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

class Dice
{
public:
    explicit Dice(qint64 index)
        : m_state(mix(quint64(index)))
    { }
    quint64 roll(quint64 sides)
    {
        m_state = mix(m_state);
        return m_state % sides;
    }
    template <std::size_t N> const char16_t *pick(const List<N> &list) { return list[roll(N)]; }

private:
    quint64 m_state;
};

constexpr qint64 KeyCount = qint64(Surnames.size()) * qint64(Surnames.size()) * qint64(Names.size());
// Spreads consecutive indexes over the whole key space; coprime to KeyCount.
constexpr qint64 KeyStride = 1'000'003;
static_assert(std::gcd(KeyStride, KeyCount) == 1);

QString unaccented(QStringView text)
{
    QString plain;
    for (QChar c : text) {
        if (c.decompositionTag() == QChar::Canonical)
            c = c.decomposition().front();
        plain += c.toLower();
    }
    return plain;
}

QString digits(Dice &dice, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar(u'0' + int(dice.roll(10)));
    return text;
}

QString date(Dice &dice, int fromYear, int years)
{
    return QStringLiteral("%1/%2/%3")
        .arg(dice.roll(28) + 1, 2, 10, QChar(u'0'))
        .arg(dice.roll(12) + 1, 2, 10, QChar(u'0'))
        .arg(fromYear + int(dice.roll(years)));
}

QString photoPath(const QString &photoDirectory, int number)
{
    return QStringLiteral("%1/%2.jpg").arg(photoDirectory).arg(number);
}

QString compose(const ContactRecord::Fields &fields)
{
    QString line;
    for (const QString &field : fields) {
        line += field;
        line += ContactRecord::Separator;
    }
    return line;
}

ContactRecord::Fields fieldsFor(
    Dice &dice, const QString &surname, int nameIndex, const QString &photoDirectory)
{
    using namespace ContactRecord;
    const bool woman = nameIndex % 2 == 1;
    const QString name = QString::fromUtf16(Names[nameIndex]);
    const Place &place = Places[dice.roll(Places.size())];
    Fields f;
    f[apellido] = surname;
    f[nombre] = name;
    f[nick] = QString::fromUtf16(dice.pick(Nicks));
    f[edad] = QString::number(18 + dice.roll(70));
    f[localidad] = QString::fromUtf16(place.town);
    f[provincia] = QString::fromUtf16(place.province);
    f[pais] = QString::fromUtf16(place.country);
    f[domicilio]
        = QStringLiteral("%1 %2").arg(QString::fromUtf16(dice.pick(Streets))).arg(dice.roll(2500) + 1);
    if (dice.roll(4) == 0) // a flat
        f[domicilio] += QStringLiteral(", %1º %2").arg(dice.roll(9) + 1).arg(QChar(u'A' + int(dice.roll(6))));
    f[telefono] = digits(dice, 4) + u'-' + digits(dice, 4);
    f[celular] = digits(dice, 3) + u'-' + digits(dice, 3) + u'-' + digits(dice, 3);
    f[email] = unaccented(name).left(1) + unaccented(surname.section(u' ', 0, 0))
        + QString::number(dice.roll(100)) + u'@' + QString::fromUtf16(dice.pick(Domains));
    f[fechaalta] = date(dice, 2004, 20);
    f[fechanac] = date(dice, 1940, 65);
    static constexpr List<4> Men = {u"Soltero", u"Casado", u"Divorciado", u"Viudo"};
    static constexpr List<4> Women = {u"Soltera", u"Casada", u"Divorciada", u"Viuda"};
    f[estadocivil] = QString::fromUtf16(woman ? dice.pick(Women) : dice.pick(Men));
    f[peso] = QStringLiteral("%1,%2").arg(50 + dice.roll(50)).arg(dice.roll(10));
    f[altura] = QStringLiteral("1,%1").arg(50 + dice.roll(45));
    f[ocupacion] = QString::fromUtf16(dice.pick(Jobs));
    f[ubicacionfoto] = photoPath(photoDirectory, int(dice.roll(PhotoCount)));
    return f;
}

bool writePhotos(const QString &photoDirectory)
{
    if (!QDir().mkpath(photoDirectory))
        return false;
    for (int i = 0; i < PhotoCount; ++i) {
        // A small portrait-sized picture, as a scanned or phone photo cut down would be.
        QImage image(240, 320, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 45, 90, 200));
        QPainter painter(&image);
        painter.setBrush(QColor::fromHsv(i * 45, 160, 120));
        painter.drawEllipse(60, 50, 120, 150);
        painter.drawRoundedRect(30, 210, 180, 140, 40, 40);
        painter.end();
        if (!image.save(photoPath(photoDirectory, i), "JPG", 85))
            return false;
    }
    return true;
}

} // namespace

qint64 capacity()
{
    return KeyCount;
}

QString line(qint64 index, const QString &photoDirectory)
{
    const qint64 key = (index * KeyStride) % KeyCount;
    const qint64 first = key % qint64(Surnames.size());
    const qint64 second = (key / qint64(Surnames.size())) % qint64(Surnames.size());
    const int nameIndex = int(key / (qint64(Surnames.size()) * qint64(Surnames.size())));
    const QString surname = QString::fromUtf16(Surnames[first]) + u' ' + QString::fromUtf16(Surnames[second]);
    Dice dice(index);
    return compose(fieldsFor(dice, surname, nameIndex, photoDirectory));
}

QString newcomer(int variant, const QString &photoDirectory)
{
    // No generated surname is a single word, so this key is new.
    Dice dice(-1 - qint64(variant));
    ContactRecord::Fields f = fieldsFor(dice, QStringLiteral("Zubizarreta"), 3, photoDirectory);
    f[ContactRecord::nick] = QStringLiteral("Nuevo %1").arg(variant);
    return compose(f);
}

qint64 writeFile(const QString &path, const QString &photoDirectory, qint64 count)
{
    if (count > capacity() || !writePhotos(photoDirectory))
        return -1;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    QByteArray block;
    qint64 written = 0;
    for (qint64 i = 0; i < count; ++i) {
        block += Windows1252::encode(line(i, photoDirectory));
        block += "\r\n";
        if (block.size() >= (1 << 20) || i + 1 == count) {
            if (file.write(block) != block.size())
                return -1;
            written += block.size();
            block.clear();
        }
    }
    file.close();
    return file.error() == QFileDevice::NoError ? written : -1;
}

} // namespace SampleContacts
