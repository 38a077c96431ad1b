#include "print/card_job.h"

#include "options/options_file.h"
#include "platform/platform.h"
#include "print/card_surface.h"
#include "print/contact_card.h"
#include "print/printer_surface.h"

#include <QPageSize>
#include <QPrinter>

using namespace ContactRecord;

CardJob::CardJob(Platform &platform, const OptionsFile &options, MainWindowOptions &mainOptions)
    : m_platform(platform)
    , m_options(options)
    , m_mainOptions(mainOptions)
    , m_makeSurface([](QPrinter &printer) { return std::make_unique<PrinterSurface>(printer); })
{ }

void CardJob::setSurfaceFactory(SurfaceFactory factory)
{
    m_makeSurface = std::move(factory);
}

void CardJob::run(QWidget *parent, const Fields &boxes)
{
    m_platform.messages.inform(parent, QStringLiteral("La impresion solo es para hojas A4"));

    if (!confirmLongFields(parent, boxes))
        return;

    // A printer that refuses A4 ends the job before anything is drawn. The surface measures in
    // centimetres itself.
    QPrinter printer(QPrinter::HighResolution);
    if (!printer.setPageSize(QPageSize(QPageSize::A4)))
        return;

    if (ContactCard::isBlank(boxes)) {
        m_platform.messages.error(
            parent, QStringLiteral("No hay nada para imprimir"), MessageBoxes::Icon::None);
        return;
    }

    if (!m_platform.dialogs.choosePrinter(parent, printer))
        return;

    const std::unique_ptr<CardSurface> surface = m_makeSurface(printer);
    if (!surface)
        return;
    // Whatever was drawn before a failure still goes out.
    if (!printCard(*surface, boxes))
        surface->endDocument();
}

bool CardJob::confirmLongFields(QWidget *parent, const Fields &boxes)
{
    const ContactCard::LongFields longFields = ContactCard::longFields(boxes);
    if (longFields.count == 0)
        return true;
    return m_platform.messages.show(parent, ContactCard::longFieldsQuestion(longFields.list),
               MessageBoxes::ProductTitle, MessageBoxes::Icon::Information, MessageBoxes::Buttons::YesNo)
        == MessageBoxes::Answer::Yes;
}

bool CardJob::printCard(CardSurface &surface, const Fields &boxes)
{
    if (!ContactCard::printTitle(surface, ContactCard::title(boxes)))
        return false;

    // The photo setting is read again right before it is needed.
    m_mainOptions.read(m_options);
    if (ContactCard::photoOptionOn(m_mainOptions.PrintPhoto) && !boxes[ubicacionfoto].isEmpty()) {
        // A photo that is gone or no picture is left out, and the card prints without it: the
        // display has told the user already.
        const QImage photo = ContactCard::loadPhoto(boxes[ubicacionfoto]);
        if (!photo.isNull() && !ContactCard::printPhoto(surface, photo))
            return false;
    }

    return ContactCard::printColumns(surface, boxes) && surface.endDocument();
}
