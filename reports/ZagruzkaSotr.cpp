#include "reports/ZagruzkaSotr.h"

#include "core/AppEvents.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/SoundService.h"
#include "db/Connection.h"
#include "reports/ZagruzkaIzExcel.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace reports {

namespace {

const char *const kPodskazki[] = {
    "На что обратить внимание:",
    "Загрузка осуществляется из файла Excel.",
    "- Только с первого листа.",
    "- Первая колонка, только Ф.И.О.",
    "- Вторая колонка, только табельный номер.",
    "- Третья колонка, только номер карты.",
    "- Четвёртая колонка, только должность.",
    "- Пятая колонка, только структурное подразделение.",
    "- Шестая колонка, только организация.",
    "- Седьмая колонка, только ИТР (Если ИТР, то 1, если нет, то ничего.)",
    "Никаких наименований колонок быть не должно, только данные.",
    "Со второй по шестую колонку, ячейки могут быть частично заполнеными, либо пустыми. ",
    "В первой колонке, первое незаполненное значение считается концом списка. ",
    "Принцип действия:",
    "Загружает данные, полностью не совпадающие с имеющимися в базе.",
    "То есть, полных однофамильцев (\"имёнцев\") не загрузит.",
    "Допускает совпадения номеров карт и табельных номеров.",
};

} // namespace

TZagruzkaSotrForm::TZagruzkaSotrForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ZagruzkaSotrForm"));
    setWindowTitle(QStringLiteral("Загрузка питающихся из Excel в базу."));

    auto *layout = new QVBoxLayout(this);
    int n = 0;
    for (const char *text : kPodskazki) {
        auto *label = new QLabel(QString::fromUtf8(text), this);
        label->setObjectName(QStringLiteral("Label%1").arg(++n));
        label->setWordWrap(true);
        if (n == 1 || n == 14) {
            QFont f = label->font();
            f.setBold(true);
            label->setFont(f);
        }
        layout->addWidget(label);
    }
    layout->addSpacing(8);
    auto *fileLabel = new QLabel(QStringLiteral("Файл Excel."), this);
    fileLabel->setObjectName(QStringLiteral("LabelFailExcel"));
    layout->addWidget(fileLabel);

    // The progress bar takes the place of the file field during an import.
    auto *fileRow = new QGridLayout;
    EditFilExcel = new QLineEdit(this);
    EditFilExcel->setObjectName(QStringLiteral("EditFilExcel"));
    EditFilExcel->setEnabled(false);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->hide();
    ButtonViborFaila = new QPushButton(QStringLiteral("..."), this);
    ButtonViborFaila->setObjectName(QStringLiteral("ButtonViborFaila"));
    ButtonViborFaila->setFixedWidth(32);
    fileRow->addWidget(EditFilExcel, 0, 0);
    fileRow->addWidget(ProgressBar1, 0, 0);
    fileRow->addWidget(ButtonViborFaila, 0, 1);
    layout->addLayout(fileRow);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    ZagruzitButton = new QPushButton(QStringLiteral("Загрузить"), this);
    ZagruzitButton->setObjectName(QStringLiteral("ZagruzitButton"));
    Zakrit = new QPushButton(QStringLiteral("Закрыть"), this);
    Zakrit->setObjectName(QStringLiteral("Zakrit"));
    buttons->addWidget(ZagruzitButton);
    buttons->addWidget(Zakrit);
    layout->addLayout(buttons);

    connect(ButtonViborFaila, &QPushButton::clicked, this, &TZagruzkaSotrForm::ButtonViborFailaClick);
    connect(ZagruzitButton, &QPushButton::clicked, this, &TZagruzkaSotrForm::ZagruzitButtonClick);
    connect(Zakrit, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(520);
}

TZagruzkaSotrForm::~TZagruzkaSotrForm() = default;

void TZagruzkaSotrForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TZagruzkaSotrForm::FormShow()
{
    const auto &n = core::pv().Nastroyki;
    try {
        auto c = std::make_unique<db::Connection>();
        c->open(n.PutKFayluBD, n.BDLogin, n.BDPass);
        // The four tables the import reads and writes must be there.
        for (const char *table : {"Users", "Org", "Podr", "Dolj"})
            c->fields(QString::fromLatin1(table));
        FDConnection1 = std::move(c);
    } catch (const std::exception &e) {
        core::showError(e, true);
    }
}

void TZagruzkaSotrForm::ButtonViborFailaClick()
{
    QFileDialog dialog(this, QString(), QString(), QStringLiteral("Файлы Excel (*.xls *.xlsx)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (core::execModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        EditFilExcel->setText(dialog.selectedFiles().constFirst());
}

void TZagruzkaSotrForm::ZagruzitButtonClick()
{
    // Every press ends the window, whatever the answer and the outcome.
    const auto finish = [this] { done(1); };
    if (core::ask(QStringLiteral("Начать загрузку?"), core::Buttons::OkCancel) != core::Answer::Ok)
        return finish();
    if (EditFilExcel->text().isEmpty()) {
        core::beep(core::Beep::Default);
        core::showMessage(QStringLiteral("Файл Excel не выбран!"));
        return finish();
    }

    ItogZagruzki itog;
    if (!FDConnection1) {
        itog.oshibka = core::errorText(QStringLiteral("EDatabaseError"),
                                       QStringLiteral("Нет подключения к базе данных"), true);
    } else {
        ProgressBar1->setValue(0);
        ProgressBar1->show();
        setEnabled(false); // no second press while the rows are written
        itog = ZagruzitSotrudnikov(EditFilExcel->text(), *FDConnection1, [this](int percent) {
            ProgressBar1->setValue(percent);
            // Only painting: the window takes no input until the import ends.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
        setEnabled(true);
        ProgressBar1->hide();
    }
    if (!itog.oshibka.isEmpty())
        core::showMessage(itog.oshibka, core::Icon::Error);
    core::showMessage(itog.soobshcheniya().constLast());
    finish();
}

void TZagruzkaSotrForm::done(int result)
{
    if (!m_closed) {
        m_closed = true;
        // Identification must find the new employees at once.
        emit core::AppEvents::instance().employeesChanged();
        FDConnection1.reset();
    }
    QDialog::done(result);
}

} // namespace reports
