#include "print/contact_card.h"

#include <QTest>

using namespace ContactRecord;

// The pure parts of the card: the long-field list, the question, the blank test and the photo
// setting.
class TstContactCard : public QObject
{
    Q_OBJECT

private slots:
    void longFields_data();
    void longFields();
    void longFieldsQuestion();
    void isBlank_data();
    void isBlank();
    void photoOptionOn_data();
    void photoOptionOn();
};

void TstContactCard::longFields_data()
{
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<QStringList>("lengths"); // "n" fills the field at the same position with n characters
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("count");

    const QString n18 = QStringLiteral("18"), n19 = QStringLiteral("19");
    QTest::newRow("nothing long") << QList<int> {} << QStringList {} << QString() << 0;
    QTest::newRow("title 31 with the space") << QList<int> {apellido, nombre} << QStringList {"15", "15"}
                                             << QStringLiteral("Apellido Y Nombre") << 1;
    QTest::newRow("title 30 with the space")
        << QList<int> {apellido, nombre} << QStringList {"15", "14"} << QString() << 0;
    QTest::newRow("surname alone 31")
        << QList<int> {apellido} << QStringList {"30"} << QStringLiteral("Apellido Y Nombre") << 1;

    const QList<std::pair<int, QString>> named = {
        {nick, "Nick"},
        {localidad, "Localidad"},
        {provincia, "Provincia"},
        {pais, "Pais"},
        {domicilio, "Domicilio"},
        {telefono, "Teléfono"},
        {celular, "Celular"},
        {email, "E-Mail"},
        {fechaalta, "Fecha De Alta"},
        {fechanac, "Nacimiento"},
        {estadocivil, "Situación Civil"},
        {ocupacion, "Ocupación"},
    };
    for (const auto &[index, name] : named) {
        QTest::addRow("%d at 18", index) << QList<int> {index} << QStringList {n18} << QString() << 0;
        QTest::addRow("%d at 19", index) << QList<int> {index} << QStringList {n19} << name << 1;
    }
    for (int unlimited : {edad, peso, altura, ubicacionfoto})
        QTest::addRow("%d has no limit", unlimited)
            << QList<int> {unlimited} << QStringList {"200"} << QString() << 0;

    QTest::newRow("nick and e-mail begin with Nick")
        << QList<int> {nick, email} << QStringList {n19, n19} << QStringLiteral("Nick; E-Mail") << 2;
    QTest::newRow("title first") << QList<int> {ocupacion, apellido, nombre} << QStringList {n19, "20", "20"}
                                 << QStringLiteral("Apellido Y Nombre; Ocupación") << 2;

    QList<int> all;
    QStringList lengths;
    for (int index = 0; index < FieldCount; ++index) {
        all << index;
        lengths << n19;
    }
    QTest::newRow("everything long")
        << all << lengths
        << QStringLiteral(
               "Apellido Y Nombre; Nick; Localidad; Provincia; Pais; Domicilio; Teléfono; Celular; "
               "E-Mail; Fecha De Alta; Nacimiento; Situación Civil; Ocupación")
        << 13;
}

void TstContactCard::longFields()
{
    QFETCH(QList<int>, indices);
    QFETCH(QStringList, lengths);
    QFETCH(QString, list);
    QFETCH(int, count);

    Fields fields;
    for (qsizetype i = 0; i < indices.size(); ++i)
        fields[indices[i]] = QString(lengths[i].toInt(), QChar(u'ñ'));

    const ContactCard::LongFields result = ContactCard::longFields(fields);
    QCOMPARE(result.list, list);
    QCOMPARE(result.count, count);
}

void TstContactCard::longFieldsQuestion()
{
    QCOMPARE(ContactCard::longFieldsQuestion(QStringLiteral("Nick; E-Mail")),
        QStringLiteral("Los siguientes campos pueden no llegar a imprimirse correctamente debido a que son "
                       "datos demasiado largos : Nick; E-Mail\r¿Desea continuar?"));
}

void TstContactCard::isBlank_data()
{
    QTest::addColumn<int>("filled");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("blank");

    QTest::newRow("all empty") << -1 << QString() << true;
    for (int index = 0; index < FieldCount; ++index)
        QTest::addRow("field %d", index) << index << QStringLiteral("x") << false;
    QTest::newRow("a blank is text") << int(domicilio) << QStringLiteral(" ") << false;
}

void TstContactCard::isBlank()
{
    QFETCH(int, filled);
    QFETCH(QString, text);
    QFETCH(bool, blank);

    Fields fields;
    if (filled >= 0)
        fields[filled] = text;
    QCOMPARE(ContactCard::isBlank(fields), blank);
}

void TstContactCard::photoOptionOn_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("on");

    QTest::newRow("1") << QStringLiteral("1") << true;
    QTest::newRow("2") << QStringLiteral("2") << true;
    QTest::newRow("-1") << QStringLiteral("-1") << true;
    QTest::newRow("blank 1") << QStringLiteral(" 1") << true;
    QTest::newRow("0") << QStringLiteral("0") << false;
    QTest::newRow("00") << QStringLiteral("00") << false;
    QTest::newRow("0.0") << QStringLiteral("0.0") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("blank") << QStringLiteral(" ") << false;
    QTest::newRow("no number") << QStringLiteral("si") << false;
}

void TstContactCard::photoOptionOn()
{
    QFETCH(QString, value);
    QFETCH(bool, on);
    QCOMPARE(ContactCard::photoOptionOn(value), on);
}

int runContactCardTests(int argc, char **argv)
{
    TstContactCard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_contact_card.moc"
