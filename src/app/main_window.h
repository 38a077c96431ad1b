#pragma once

#include "contacts/contact_file.h"
#include "contacts/contact_record.h"
#include "options/options_file.h"
#include "platform/message_boxes.h"

#include <QMainWindow>
#include <QScopedValueRollback>
#include <array>
#include <functional>
#include <memory>

struct Platform;
class ContactListModel;
class PhotoBox;
class QAction;
class QImage;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QTimer;
class RecordSession;

// The main window: the contact list on the left, the 18 field boxes in the middle, the photo and
// the buttons on the right. It owns the record state of the shown contact and is the only writer
// of the contact file besides a restore.
//
// Construction runs Form_Load. When another instance of the program holds the single-instance
// lock, or the lock cannot be made at all (the user is told that the program cannot write in its
// folder), nothing else is loaded: anotherInstanceRunning() is true, show() does nothing and the
// program ends as soon as the event loop runs. The caller may simply construct and show().
//
// Leaving ("Salir", the menu or the close box) hides the window and ends the program
// ExitDelayMs later, so that the exit sound can play.
class FrmPrincipal : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int ExitDelayMs = 3000; // Timersalsonido
    static constexpr int UpdateCheckDelayMs = 1000; // timeractu, until a connection exists
    static const QString PhotoFilter;
    static const QString VCardFilter; // the import's and the export's dialogs
    // An import or export that looks like taking longer shows its progress, with "Cancelar".
    static constexpr int ProgressDelayMs = 500;

    explicit FrmPrincipal(Platform &platform, QWidget *parent = nullptr);
    ~FrmPrincipal() override;

    bool anotherInstanceRunning() const { return m_anotherInstance; }

    // The caption of field box txt(index), as its label shows it ("Apellido :").
    static QString fieldCaption(int index);

    // What ends the program; QCoreApplication::exit(0) unless replaced. Tests record it instead.
    void setProgramEnd(std::function<void()> end) { m_endProgram = std::move(end); }
    // Tests shorten it, so that the progress of a small import shows at once.
    void setProgressDelay(int ms) { m_progressDelayMs = ms; }

    // The record state: a contact read from the file is shown; its line as read; the boxes were
    // emptied with "Vaciar Cajas De Texto".
    int regmostrado() const;
    QString regoriginal() const;
    int cajasvacias() const;

    // The texts of txt(0) to txt(17).
    ContactRecord::Fields boxes() const;

    // Key filter of the field boxes: sets KeyAscii to 0 when the box refuses the character.
    void txt_KeyPress(int Index, int &KeyAscii) const;
    void txt_GotFocus(int Index);

    void setVisible(bool visible) override;

public slots:
    // data.orv was replaced by a restore: nothing is shown and the list is read again.
    void reloadContacts();
    // A contact found by the search window: key, and its row in a list read from the same file.
    void showFound(const QString &key, int row);

    void List1_Click();
    void Command1_Click(); // "Agregar"
    void Command2_Click(); // "Quitar"
    void cmdvaciar_Click(); // "Vaciar Cajas De Texto"
    void Command4_Click(); // "Salir"
    void Command5_Click(); // "Buscar Foto"
    void Command6_Click(); // "Abrir Foto"
    void Command7_Click(); // "Imprimir"
    void Command8_Click(); // "Borrar"
    void cmdoptions_Click();
    void cmdacerca_Click();
    void mnuimportar_Click(); // "Importar contactos..."
    void mnuexportar_Click(); // "Exportar contactos..."
    void mnusalir_Click();
    void mnuopciones_Click();
    void mnuacerca_Click();
    void mnubusactu_Click();
    void mnubuscar_Click(); // "Buscar contacto..."
    void mnumorqweb_Click();
    void timeractu_Timer();
    void Timersalsonido_Timer();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Check { Unchanged, Declined, Saved, Failed };

    void createControls();
    void createMenus();
    void connectHandlers();
    void Form_Load();
    void Form_Unload();
    void conmayu();
    void aropci();
    bool IsConnected();

    void clickSound();
    // Shows a window that belongs to this one, after the click.
    template <class Window> Window *openOwned(Window *window)
    {
        clickSound();
        window->show();
        return window;
    }

    // The list from the file; nothing shown afterwards.
    void buildList();
    // While the guard lives, selection changes of the list are the program's, not clicks.
    [[nodiscard]] QScopedValueRollback<bool> changingList()
    {
        return QScopedValueRollback<bool>(m_listChanging, true);
    }
    void reportList(ContactFile::Failure failure);
    QString selectedKey() const;
    int selectedRow() const;
    void selectRow(int row); // -1: none

    void setBoxText(int index, const QString &text);
    void clearBoxes();
    // Nothing shown: the boxes and the picture empty, "Quitar" and "Imprimir" disabled; "Borrar"
    // too, or as it was.
    enum class Borrar { Disabled, AsItWas };
    void clearForm(Borrar borrar);
    Check modificationCheck();
    void display(const QString &key);
    void showPhotoOfRecord(const QString &path);

    Platform &m_platform;
    OptionsFile m_optionsFile;
    MainWindowOptions m_options;
    ContactFile m_contacts;
    ContactListModel *m_model = nullptr;
    std::unique_ptr<RecordSession> m_session; // made by Form_Load, on the list
    std::function<void()> m_endProgram;

    // Where "Buscar Foto" opens: the folder of the photo chosen last; empty, the pictures folder.
    QString m_photoFolder;

    int m_progressDelayMs = ProgressDelayMs;

    bool m_anotherInstance = false;
    bool m_exiting = false;
    bool m_listChanging = false; // selection changes made by the program are no clicks

    QListView *List1 = nullptr;
    std::array<QLineEdit *, ContactRecord::FieldCount> txt {};
    PhotoBox *Image1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command6 = nullptr;
    QPushButton *Command7 = nullptr;
    QPushButton *Command8 = nullptr;
    QPushButton *cmdvaciar = nullptr;
    QPushButton *cmdoptions = nullptr;
    QPushButton *cmdacerca = nullptr;
    QTimer *Timersalsonido = nullptr;
    QTimer *timeractu = nullptr;

    QMenu *mnuarchi = nullptr;
    QMenu *mnuherra = nullptr;
    QMenu *mnuayuda = nullptr;
    QAction *mnuimportar = nullptr;
    QAction *mnuexportar = nullptr;
    QAction *mnusalir = nullptr;
    QAction *mnubuscar = nullptr;
    QAction *mnubusactu = nullptr;
    QAction *mnuopciones = nullptr;
    QAction *mnumorqweb = nullptr;
    QAction *mnuacerca = nullptr;
};
