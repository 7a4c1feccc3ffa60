#pragma once
#include "GLSettings.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <memory>

class QCalendarWidget;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class TRadioGroup;
class TZastavkaForm;
class TOtchetForm;

namespace db {
class Connection;
class RecordSet;
} // namespace db

namespace reader {
class TMainCRForm;
}

namespace scanner {
class ScannerController;
}

namespace staff {
class TPhotoForm;
}

namespace app {
class DatabaseLink;
class JournalView;
class MealRegistration;
} // namespace app

// The main window: meal registration and the journal of the chosen day. It
// owns the journal and employee connections for the whole run; the logic of
// registration and of the journal grid lives in app::MealRegistration and
// app::JournalView, which this window feeds and shows.
class TGLForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TGLForm(QWidget *parent = nullptr);   // FormCreate
    ~TGLForm() override;

    // The windows that live for the whole run, created after this one.
    void setReaderWindow(reader::TMainCRForm *reader);
    void setPhotoWindow(staff::TPhotoForm *photo);
    void setReportWindow(TOtchetForm *report);

    app::MealRegistration &registration() { return *m_registration; }
    scanner::ScannerController &scannerController() { return *m_scanner; }
    db::RecordSet *journal() const { return FDQuery1; }
    db::RecordSet *users() const { return FDQueryUsers; }
    bool isConnected() const { return m_connected; }

    // Events and operations of the window, public so that the program's
    // other parts (reader, scanner) and tests can reach them.
    void FormShow();
    void FormActivate();
    bool FormCloseQuery();
    void GL_ZavershenieRaboti();
    bool PodklucheniyeKBD();
    void ObrabotkaIzmeneniyaVidaPitaniya();
    void ObrabotkaShtrichKoda();
    void SrabotkaSchitivatelyaGL(const QString &kartaScht);
    void ComPortRxChar(const QString &text);
    void FokusirovatKnopkuDobavlenie();
    void PokazVStatusBare(const QString &message);

    // Photo window routines.
    void OtrisovkaFormiPhoto();
    void ZakritiyeFormiPhoto();
    bool FormaPhotoOtkrita() const;

signals:
    // The window has closed after the operator confirmed it: the program ends.
    void finished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenu();
    void wireLogic();
    void applyMealTypeToControls(int index);
    void applyWindowSize(const app::GLFormSettings &s);
    void applyColumnWidths();
    void writeMainSettings();
    void closeSplash();
    bool waitWhileLocked(const QString &path);

    void DobavlenieClick();
    void UdalenieClick();
    bool vibratSotrudnika();
    void reloadEmployees();

    // Menu.
    void N3Click();   // Справочники / Сотрудники
    void N4Click();   // Справочники / Должности
    void N5Click();   // Справочники / Подразделения
    void N6Click();   // Справочники / Организации
    void N8Click();   // Сервис / Настройки
    void otkritAdminTools();
    void obnovitZhurnalPoNastroykam();
    void N9Click();   // Сервис / Безопасность
    void N10Click();  // Сервис / Загрузка питающихся из Excel
    void N12Click();  // Отчёты / Основной отчёт
    void N14Click();  // Справка / Информация

    // Controls, named as the window's components.
    QCalendarWidget *MonthCalendar1 = nullptr;
    TRadioGroup *VidPitaniya = nullptr;
    QLineEdit *EditOtbor = nullptr;
    QPushButton *PoiskPoFIOButton = nullptr;
    QPushButton *CLFIOButton = nullptr;
    QLabel *LabelKolVo = nullptr;
    QCheckBox *CheckBoxUspeh = nullptr;
    QCheckBox *CheckBoxUzseEL = nullptr;
    QCheckBox *CheckBoxNeProshla = nullptr;
    QPushButton *ButtonUspeh = nullptr;
    QPushButton *ButtonUzseEL = nullptr;
    QPushButton *ButtonNeProshla = nullptr;
    QTableView *DBGrid1 = nullptr;
    QLineEdit *GLEditShtrKod = nullptr;
    QPushButton *ButtonVvodShtrKoda = nullptr;
    QPushButton *Dobavlenie = nullptr;
    QPushButton *Udalenie = nullptr;
    QLabel *LabelDoubleVP = nullptr;
    QPushButton *ButtonOtmenitNeZaprParolVTekSess = nullptr;

    // The two connections and their queries.
    std::unique_ptr<db::Connection> FDConnection1;
    std::unique_ptr<db::Connection> FDConnectionUsers;
    db::RecordSet *FDQuery1 = nullptr;
    db::RecordSet *FDQueryUsers = nullptr;

    app::JournalView *m_journalView = nullptr;
    app::MealRegistration *m_registration = nullptr;
    app::DatabaseLink *m_link = nullptr;
    scanner::ScannerController *m_scanner = nullptr;

    QPointer<TZastavkaForm> m_splash;
    QPointer<reader::TMainCRForm> m_reader;
    QPointer<staff::TPhotoForm> m_photo;
    QPointer<TOtchetForm> m_report;

    QList<int> m_columnWidths = QList<int>(app::kJournalColumnCount, app::kDefaultColumnWidth);
    bool m_shown = false;
    bool m_connected = false;
    bool m_closing = false;
};
