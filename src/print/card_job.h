#pragma once

#include "contacts/contact_record.h"

#include <functional>
#include <memory>

class CardSurface;
class OptionsFile;
class QPrinter;
class QWidget;
struct MainWindowOptions;
struct Platform;

// "Imprimir": prints the contact of the main window's boxes as one card on an A4 sheet. The boxes
// are taken as they stand, saved or not. The caller has already played the click sound.
class CardJob
{
public:
    // Makes the surface the card is drawn on for the printer the user chose.
    using SurfaceFactory = std::function<std::unique_ptr<CardSurface>(QPrinter &)>;

    CardJob(Platform &platform, const OptionsFile &options, MainWindowOptions &mainOptions);

    // Runs to its end: the A4 notice, the question about long fields, the print dialog and the
    // card. A cancelled dialog ends it silently; any other failure ends the document with what
    // was drawn so far and shows nothing.
    void run(QWidget *parent, const ContactRecord::Fields &boxes);

    void setSurfaceFactory(SurfaceFactory factory);

private:
    bool confirmLongFields(QWidget *parent, const ContactRecord::Fields &boxes);
    bool printCard(CardSurface &surface, const ContactRecord::Fields &boxes);

    Platform &m_platform;
    const OptionsFile &m_options;
    MainWindowOptions &m_mainOptions;
    SurfaceFactory m_makeSurface;
};
