#include "admin/UnitOchistkaTablitsBazi.h"

#include "core/AppEvents.h"
#include "core/Error.h"
#include "core/FieldButton.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "db/Backup.h"
#include "db/Connection.h"

#include <QDateTime>
#include <QProgressDialog>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace admin {

namespace {

constexpr int kKopiyaShare = 900;   // of the progress bar's 1000 steps

} // namespace

TOchistkaTablitsBaziForm::TOchistkaTablitsBaziForm(QWidget *parent)
    : QDialog(parent), FDConnection(std::make_unique<db::Connection>())
{
    setObjectName(QStringLiteral("OchistkaTablitsBaziForm"));
    setWindowTitle(QStringLiteral("Очистка таблиц базы"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    struct Knopka
    {
        const char *name;
        QString caption;
        QString confirmation;
        QStringList tables;
    };
    const QList<Knopka> knopki = {
        {"ClearOrg", QStringLiteral("Очистить организации"),
         QStringLiteral("Записи организаций будут безвозвратно удалены! Удалить?"), {"Org"}},
        {"ClearPodr", QStringLiteral("Очистить подразделения"),
         QStringLiteral("Записи подразделений будут безвозвратно удалены! Удалить?"), {"Podr"}},
        {"ClearDolj", QStringLiteral("Очистить должности"),
         QStringLiteral("Записи должностей будут безвозвратно удалены! Удалить?"), {"Dolj"}},
        {"ClearUsers", QStringLiteral("Очистить сотрудники"),
         QStringLiteral("Записи сотрудников будут безвозвратно удалены! Удалить?"), {"Users"}},
        {"ClearPitanie", QStringLiteral("Очистить питание"),
         QStringLiteral("Записи питания будут безвозвратно удалены! Удалить?"), {"SpisokDoc"}},
        {"ClearVse", QStringLiteral("Очистить все таблицы"),
         QStringLiteral("Записи всех таблиц будут безвозвратно удалены! Удалить?"),
         {"Dolj", "Org", "SpisokDoc", "Podr", "Users"}},
    };
    auto *layout = new QVBoxLayout(this);
    for (const Knopka &k : knopki) {
        QPushButton *b = core::makeButton(k.name, k.caption, this);
        b->setMinimumHeight(30);
        connect(b, &QPushButton::clicked, this,
                [this, confirmation = k.confirmation, tables = k.tables] { Ochistka(confirmation, tables); });
        layout->addWidget(b);
        if (k.tables.size() > 1) {
            QFont bold = b->font();
            bold.setBold(true);
            b->setFont(bold);
        }
    }
    ClearOrg = findChild<QPushButton *>(QStringLiteral("ClearOrg"));
    layout->addSpacing(8);
    QPushButton *zakrit = core::makeButton("ButtonZakritiye", QStringLiteral("Закрыть"), this);
    zakrit->setMinimumHeight(30);
    connect(zakrit, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(zakrit);
    setMinimumWidth(300);
}

TOchistkaTablitsBaziForm::~TOchistkaTablitsBaziForm() = default;

void TOchistkaTablitsBaziForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    ClearOrg->setFocus(Qt::OtherFocusReason);
    try {
        FDConnection->openConfigured();
    } catch (const std::exception &e) {
        core::showError(e, true);
    }
}

void TOchistkaTablitsBaziForm::done(int result)
{
    try {
        FDConnection->close();
    } catch (...) {
    }
    QDialog::done(result);
}

void TOchistkaTablitsBaziForm::Ochistka(const QString &confirmation, const QStringList &tables)
{
    if (core::ask(confirmation, core::Buttons::OkCancel, core::Icon::Warning) != core::Answer::Ok)
        return;

    QProgressDialog progress(QStringLiteral("Сохранение копии базы данных..."), QString(), 0, 1000, this);
    progress.setWindowTitle(windowTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setCancelButton(nullptr);
    progress.setMinimumDuration(0);
    progress.setValue(0);

    QString kopiya;
    try {
        const QDateTime now = QDateTime::currentDateTime();
        kopiya = FDConnection->path().isEmpty()
                     ? db::imyaKopiiBazy(core::pv().Nastroyki.PutKFayluBD, now)
                     : db::imyaKopiiBazy(*FDConnection, now);
        db::kopiyaBazy(*FDConnection, kopiya, [&progress](int done, int total) {
            if (total > 0)
                progress.setValue(int(qint64(kKopiyaShare) * done / total));
        });
    } catch (const core::Error &e) {
        progress.reset();
        core::showMessage(e.message() + QStringLiteral("\r\nБез копии удаление не выполнено."),
                          core::Icon::Error);
        return;
    }
    m_kopiya = kopiya;

    bool cleared = false;
    for (int i = 0; i < tables.size(); ++i) {
        progress.setLabelText(QStringLiteral("Удаление записей таблицы ") + tables[i] + QStringLiteral("..."));
        progress.setValue(kKopiyaShare + (1000 - kKopiyaShare) * i / int(tables.size()));
        cleared = OchistkaTablitsy(tables[i]) || cleared;
    }
    progress.reset();
    if (cleared)
        emit core::AppEvents::instance().tablesCleared();
    core::showMessage(QStringLiteral("Удаление завершено.\r\nКопия базы данных до удаления: ")
                      + (FDConnection->isServer()
                             ? QStringLiteral("схема ") + kopiya + QStringLiteral(" на сервере баз данных")
                             : kopiya));
}

bool TOchistkaTablitsBaziForm::OchistkaTablitsy(const QString &table)
{
    try {
        // The SELECT fails for a missing table before anything is deleted.
        db::Transaction tx(*FDConnection);
        FDConnection->exec(QStringLiteral("SELECT * from ") + table + QStringLiteral(" WHERE 1 = 0"));
        FDConnection->exec(QStringLiteral("DELETE * from ") + table);
        tx.commit();
        return true;
    } catch (const std::exception &e) {
        core::showError(e, true);
        return false;
    }
}

} // namespace admin
