#include "reader/MainCR.h"

#include "reader/Port.h"
#include "reader/Utilites.h"

#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/TextUtil.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <cstring>
#include <optional>

namespace reader {

namespace {

const QString kMain = QStringLiteral("Main");

QString busyText(bool busy) { return busy ? QStringLiteral("yes") : QStringLiteral("no"); }

QString versionText(uint32_t v)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(v & 0xFF)
        .arg((v >> 8) & 0xFF)
        .arg((v >> 16) & 0xFF)
        .arg((v >> 24) & 0xFF);
}

QString now() { return core::ruTime(QTime::currentTime()); }

std::optional<int> asInt(const QString &text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

} // namespace

// ------------------------------------------------------------ free helpers

QString MainCRIniPath() { return core::programFile(QStringLiteral("trapezon.ini")); }

TZP_PORT_TYPE PortTypeFromName(const QString &name)
{
    if (name.left(3).compare(QLatin1String("COM"), Qt::CaseInsensitive) == 0)
        return ZP_PORT_COM;
    if (name.contains(QLatin1Char(':')))
        return ZP_PORT_IP;
    if (name.contains(QLatin1Char('\\')))
        return ZP_PORT_IPS;
    return ZP_PORT_FT;
}

int ProposeBaud(int currentBaud, int model)
{
    switch (model) {
    case ZP_MODEL_RC397:
        return currentBaud == 19200 || currentBaud == 57600 ? currentBaud : 19200;
    case ZP_MODEL_RC397_GUARD:
    case ZP_MODEL_RC397_IP:
        return 230400;
    default:
        return model >= ZP_MODEL_R2_USB && model <= ZP_MODEL_R2_EHR ? 9600 : currentBaud;
    }
}

QByteArray ProxyConnCommand(uint32_t sn, const QString &password)
{
    return QStringLiteral("CONN %1 %2")
        .arg(QString::number(sn, 16).toUpper().rightJustified(4, QLatin1Char('0')), password)
        .toLocal8Bit();
}

QByteArray ProxyListCommand(const QString &password)
{
    return (QStringLiteral("LIST ") + password).toLocal8Bit();
}

QList<uint32_t> ParseProxyDeviceList(const QByteArray &reply)
{
    QList<uint32_t> out;
    const int entries = reply.size() >= 4 ? int((reply.size() - 4) / 5) : 0;
    for (int i = 0; i < entries; ++i) {
        bool ok = false;
        const uint32_t sn = reply.mid(5 + 5 * i, 4).toUInt(&ok, 16);
        if (!ok)
            break;
        out << sn;
    }
    return out;
}

unsigned DevTypesToInt(TZPDevTypes types) { return types & 3u; }
TZPDevTypes IntToDevTypes(int value) { return TZPDevTypes(value) & 3u; }

void TSnComboBox::showPopup()
{
    if (onDropDown)
        onDropDown();
    QComboBox::showPopup();
}

// ------------------------------------------------------------ device entry

TDeviceInfo::~TDeviceInfo() { ReleasePort(); }

void TDeviceInfo::ReleasePort()
{
    m_pTimer.reset();
    m_pForm.reset();
    m_pPort.reset();
}

// ------------------------------------------------------------ list model

TDeviceListModel::TDeviceListModel(const std::vector<std::unique_ptr<TDeviceInfo>> &devices,
                                   QObject *parent)
    : QAbstractTableModel(parent), m_devices(devices)
{
}

void TDeviceListModel::SetItemCount(int count)
{
    beginResetModel();
    m_count = count;
    endResetModel();
}

void TDeviceListModel::Redraw()
{
    if (m_count > 0)
        emit dataChanged(index(0, 0), index(m_count - 1, columnCount() - 1));
}

int TDeviceListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::min<int>(m_count, int(m_devices.size()));
}

int TDeviceListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : 5; }

QVariant TDeviceListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= int(m_devices.size()))
        return {};
    const TDeviceInfo &d = *m_devices[size_t(index.row())];
    switch (index.column()) {
    case 0:
        return d.m_sFriendly.isEmpty() ? d.m_sName
                                       : QStringLiteral("%1 (%2)").arg(d.m_sName, d.m_sFriendly);
    case 1:
        return busyText(d.m_fBusy);
    case 2:
        return ZPModelName(d.m_nDevType);
    case 3:
        return d.m_nDevType == 0 ? QString() : QString::number(d.m_nDevSn);
    case 4:
        return d.m_nDevType == 0 ? QString() : versionText(d.m_nDevVersion);
    default:
        return {};
    }
}

QVariant TDeviceListModel::headerData(int section, Qt::Orientation o, int role) const
{
    static const char *const titles[] = {"Port", "Busy", "Device", "S/n", "Version"};
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 5)
        return QString::fromLatin1(titles[section]);
    return {};
}

// ------------------------------------------------------------ the window

TMainCRForm::TMainCRForm(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("MainCRForm"));
    setWindowTitle(QStringLiteral("Настройки оборудования"));
    setMinimumSize(500, 200);
    buildControls();

    if (CheckZPVersion() < 0) {
        core::showMessage(QStringLiteral("Библиотека считывателей %1 не найдена или её версия "
                                         "не подходит: требуется версия 1.18.")
                              .arg(QString::fromLatin1(kZPLibraryFile)),
                          core::Icon::Error);
        return;
    }
    try {
        CheckZPRes(zpApi().Initialize(nullptr, ZP_IF_NO_MSG_LOOP));
    } catch (const std::exception &e) {
        core::showUncaughtError(e);
        return;
    }
    m_fLibraryReady = true;

    // Where to look beyond the system's serial ports, and which network
    // converters to ask: nothing goes on the network until an
    // administrator names an address.
    {
        const core::IniFile ini(MainCRIniPath());
        zpApi().SetSerialPorts(ini.readString(kMain, QStringLiteral("SerialPorts"), QString()).toUtf8().constData());
        zpApi().SetNetAddresses(ini.readString(kMain, QStringLiteral("NetAddresses"), QString()).toUtf8().constData());
    }
    RegisterDeviceTypes();

    m_oDetector.SetDevTypes(devSerial | devIP);
    m_oDetector.OnPortInsert = [this](TZPDetector *, const TZP_DDN_PORT_INFO &i) {
        OnPortEvent("Found", i);
    };
    m_oDetector.OnPortRemove = [this](TZPDetector *, const TZP_DDN_PORT_INFO &i) {
        OnPortEvent("Lost", i);
    };
    try {
        m_oDetector.SetEnabled(true);
    } catch (const std::exception &e) {
        core::showUncaughtError(e);
    }

    cbPort->clear();
    m_idle = new QTimer(this);
    m_idle->setInterval(250);
    connect(m_idle, &QTimer::timeout, this, &TMainCRForm::IdleCheck);
    m_idle->start();
    try {
        LoadConfig();
    } catch (const std::exception &e) {
        core::showUncaughtError(e);
    }
    UpdateProxyFields();
}

TMainCRForm::~TMainCRForm()
{
    m_oTimerProxy.reset();
    m_pPortProxy.reset();
    try {
        m_oDetector.SetEnabled(false);
    } catch (...) {
    }
    m_oDevices.clear();
    BuferChteniyaKarty().clear();
    if (m_fLibraryReady)
        zpApi().Finalyze();
}

void TMainCRForm::buildControls()
{
    m_model = new TDeviceListModel(m_oDevices, this);
    lvPorts = new QTreeView(this);
    lvPorts->setObjectName(QStringLiteral("lvPorts"));
    lvPorts->setModel(m_model);
    lvPorts->setRootIsDecorated(false);
    lvPorts->setUniformRowHeights(true);
    lvPorts->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvPorts->setSelectionMode(QAbstractItemView::SingleSelection);
    lvPorts->setContextMenuPolicy(Qt::CustomContextMenu);
    lvPorts->header()->resizeSection(0, 200);
    lvPorts->header()->resizeSection(1, 50);
    lvPorts->header()->resizeSection(2, 90);
    lvPorts->header()->resizeSection(3, 40);
    lvPorts->header()->resizeSection(4, 60);

    btnRescan = new QPushButton(QStringLiteral("Пересканировать"), this);
    btnRescan->setObjectName(QStringLiteral("btnRescan"));
    btnOpen = new QPushButton(QStringLiteral("Обновить реакции"), this);
    btnOpen->setObjectName(QStringLiteral("btnOpen"));
    cbPort = new QComboBox(this);
    cbPort->setObjectName(QStringLiteral("cbPort"));
    cbPort->setEditable(true);
    cbBaud = new QComboBox(this);
    cbBaud->setObjectName(QStringLiteral("cbBaud"));
    cbBaud->setEditable(true);
    cbBaud->addItems({"9600", "19200", "57600", "230400"});
    cbBaud->setCurrentIndex(0);
    chkProxy = new QCheckBox(QStringLiteral("Прокси "), this);
    chkProxy->setObjectName(QStringLiteral("chkProxy"));
    labPassword = new QLabel(QStringLiteral("Пароль:"), this);
    labPassword->setObjectName(QStringLiteral("labPassword"));
    edtPassword = new QLineEdit(QStringLiteral("90817"), this);
    edtPassword->setObjectName(QStringLiteral("edtPassword"));
    labSn = new QLabel(QStringLiteral("S/n:"), this);
    labSn->setObjectName(QStringLiteral("labSn"));
    cbSn = new TSnComboBox(this);
    cbSn->setObjectName(QStringLiteral("cbSn"));
    cbSn->setEditable(true);
    cbSn->setEditText(QStringLiteral("0"));
    Zakr = new QPushButton(QStringLiteral("Выйти"), this);
    Zakr->setObjectName(QStringLiteral("Zakr"));
    ZakrModul = new QPushButton(QStringLiteral("Закрыть модуль"), this);
    ZakrModul->setObjectName(QStringLiteral("ZakrModul"));
    m_status = new QStatusBar(this);
    m_status->setObjectName(QStringLiteral("StatusBar"));
    m_status->setSizeGripEnabled(false);

    auto *fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Порт:"), this), 0, 0);
    fields->addWidget(cbPort, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Скорость:"), this), 0, 2);
    fields->addWidget(cbBaud, 0, 3);
    fields->addWidget(chkProxy, 1, 0);
    fields->addWidget(labPassword, 1, 1, Qt::AlignRight);
    fields->addWidget(edtPassword, 1, 2);
    fields->addWidget(labSn, 1, 3, Qt::AlignRight);
    fields->addWidget(cbSn, 1, 4);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnRescan);
    buttons->addWidget(btnOpen);
    buttons->addStretch();
    buttons->addWidget(Zakr);
    buttons->addWidget(ZakrModul);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lvPorts, 1);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    resize(560, 320);

    connect(btnRescan, &QPushButton::clicked, this, [this] { guarded([this] { DoRefresh(); }); });
    connect(btnOpen, &QPushButton::clicked, this, [this] { guarded([this] { DoOpen(); }); });
    connect(lvPorts, &QTreeView::doubleClicked, this, [this] { guarded([this] { DoOpen(); }); });
    connect(lvPorts->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { lvPortsSelectionChanged(); });
    connect(cbPort, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { m_nPortIdx = index; });
    connect(chkProxy, &QCheckBox::toggled, this, [this] { UpdateProxyFields(); });
    cbSn->onDropDown = [this] { guarded([this] { cbSnDropDown(); }); };
    connect(Zakr, &QPushButton::clicked, this, &QWidget::hide);
    connect(ZakrModul, &QPushButton::clicked, this, [this] {
        if (core::ask(QStringLiteral("Закрыть модуль?"), core::Buttons::OkCancel) == core::Answer::Ok)
            close();
    });
    connect(lvPorts, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { ContextMenu()->popup(lvPorts->viewport()->mapToGlobal(at)); });
}

void TMainCRForm::guarded(const std::function<void()> &action)
{
    try {
        action();
    } catch (const std::exception &e) {
        core::showUncaughtError(e);
    }
}

void TMainCRForm::SetStatus(const QString &text) { m_status->showMessage(text); }
QString TMainCRForm::StatusText() const { return m_status->currentMessage(); }

void TMainCRForm::UpdateProxyFields()
{
    const bool on = chkProxy->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(labPassword), static_cast<QWidget *>(edtPassword),
                       static_cast<QWidget *>(labSn), static_cast<QWidget *>(cbSn)})
        w->setEnabled(on);
}

// ------------------------------------------------------------ settings

void TMainCRForm::LoadConfig()
{
    const core::IniFile ini(MainCRIniPath());
    m_fShowUnkDev = ini.readBool(kMain, QStringLiteral("ShowUnkDev"), m_fShowUnkDev);
    EnableBkgndSearch(ini.readBool(kMain, QStringLiteral("SearchBkgnd"), m_fBkgndSearch), false);
    const unsigned current = m_oDetector.Enabled() ? DevTypesToInt(m_oDetector.DevTypes()) : 0u;
    SetDevTypes(IntToDevTypes(ini.readInt(kMain, QStringLiteral("DevTypes"), int(current))), true);
    m_fCfgModifyed = false;
}

void TMainCRForm::SaveConfig()
{
    core::IniFile ini(MainCRIniPath());
    ini.writeBool(kMain, QStringLiteral("ShowUnkDev"), m_fShowUnkDev);
    ini.writeBool(kMain, QStringLiteral("SearchBkgnd"), m_fBkgndSearch);
    ini.writeInt(kMain, QStringLiteral("DevTypes"),
                 int(m_oDetector.Enabled() ? DevTypesToInt(m_oDetector.DevTypes()) : 0u));
    ini.flush();
    m_fCfgModifyed = false;
}

void TMainCRForm::SetDevTypes(TZPDevTypes types, bool update)
{
    types &= 3u;
    const bool nonEmpty = types != 0;
    if (nonEmpty == m_oDetector.Enabled()
        && (!m_oDetector.Enabled() || m_oDetector.DevTypes() == types))
        return;
    if (nonEmpty) {
        m_oDetector.SetDevTypes(types);
        m_oDetector.SetEnabled(true);
    } else {
        m_oDetector.SetEnabled(false);
    }
    if (update)
        UpdateDevices(false);
}

void TMainCRForm::EnableBkgndSearch(bool enable, bool update)
{
    m_fBkgndSearch = enable;
    if (enable) {
        m_oDetector.SetOnDeviceInsert(
            [this](TZPDetector *, const TZP_DDN_DEVICE_INFO &i) { OnDeviceEvent("Found", i); });
        m_oDetector.SetOnDeviceRemove(
            [this](TZPDetector *, const TZP_DDN_DEVICE_INFO &i) { OnDeviceEvent("Lost", i); });
    } else {
        m_oDetector.SetOnDeviceInsert(nullptr);
        m_oDetector.SetOnDeviceRemove(nullptr);
    }
    if (update)
        UpdateDevices(false);
}

// ------------------------------------------------------------ detector events

void TMainCRForm::OnPortEvent(const char *what, const TZP_DDN_PORT_INFO &info)
{
    SetStatus(QStringLiteral("[%1] %2 port %3 (%4)")
                  .arg(now(), QString::fromLatin1(what), ZPText(info.rPort.szName, 32),
                       ZPText(info.rPort.szFriendly, 32)));
    m_fNeedUpdDevs = true;
}

void TMainCRForm::OnDeviceEvent(const char *what, const TZP_DDN_DEVICE_INFO &info)
{
    QString where;
    if (info.aPorts && info.nPortCount > 0) {
        const TZP_PORT_INFO &p = info.aPorts[0];
        const QString friendly = ZPText(p.szFriendly, 32);
        where = p.nType == ZP_PORT_FT && !friendly.isEmpty() ? friendly : ZPText(p.szName, 32);
    }
    const uint32_t model = info.pInfo ? info.pInfo->nModel : 0;
    const uint32_t sn = info.pInfo ? info.pInfo->nSn : 0;
    SetStatus(QStringLiteral("[%1] %2 device model=%3h s/n: %4 (%5).")
                  .arg(now(), QString::fromLatin1(what), QString::number(model, 16).toUpper())
                  .arg(sn)
                  .arg(where));
    m_fNeedUpdDevs = true;
}

void TMainCRForm::IdleCheck()
{
    if (m_fNeedUpdDevs && !m_fUpdating && !QApplication::activeModalWidget())
        guarded([this] { UpdateDevices(false); });
}

// ------------------------------------------------------------ the list

int TMainCRForm::FindDeviceByPortName(const QString &name) const
{
    for (size_t i = 0; i < m_oDevices.size(); ++i)
        if (m_oDevices[i]->m_sName == name || m_oDevices[i]->m_sFriendly == name)
            return int(i);
    return -1;
}

int TMainCRForm::FindDeviceByPort(const TZPort *port) const
{
    for (size_t i = 0; i < m_oDevices.size(); ++i)
        if (m_oDevices[i]->m_pPort.get() == port)
            return int(i);
    return -1;
}

int TMainCRForm::FindDeviceByForm(const TPortForm *form) const
{
    for (size_t i = 0; i < m_oDevices.size(); ++i)
        if (m_oDevices[i]->m_pForm.get() == form)
            return int(i);
    return -1;
}

void TMainCRForm::DoRefresh() { UpdateDevices(true); }

void TMainCRForm::UpdateDevices(bool force)
{
    if (m_fUpdating)
        return;
    m_fUpdating = true;
    const struct Done { bool &f; ~Done() { f = false; } } done{m_fUpdating};

    m_fNeedUpdDevs = false;
    const int selected = lvPorts->currentIndex().isValid() ? lvPorts->currentIndex().row() : -1;
    m_model->SetItemCount(0);
    if (force) {
        SetStatus(QStringLiteral("Searching..."));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    QElapsedTimer started;
    started.start();

    for (size_t i = m_oDevices.size(); i-- > 0;)
        if (!m_oDevices[i]->m_pPort)
            m_oDevices.erase(m_oDevices.begin() + std::ptrdiff_t(i));

    // The list is shown again whatever the search ends with.
    const auto show = [&] {
        m_model->SetItemCount(int(m_oDevices.size()));
        if (!m_oDevices.empty())
            SelectEntry(std::clamp(selected < 0 ? 0 : selected, 0, int(m_oDevices.size()) - 1));
    };
    if (m_oDetector.Enabled() && m_oDetector.DevTypes() != 0) {
        try {
            if (force && m_fBkgndSearch)
                m_oDetector.Refresh(-1);
            TZP_SEARCH_PARAMS sp;
            std::memset(&sp, 0, sizeof sp);
            if (m_oDetector.DevTypes() & devSerial)
                sp.nDevMask = 0xFFFFFFFFu;
            if (m_oDetector.DevTypes() & devIP)
                sp.nIpDevMask = 0xFFFFFFFFu;
            sp.nFlags = (m_fShowUnkDev ? ZP_SF_UNKNOWN : 0u) | (m_fBkgndSearch ? ZP_SF_BKGND : 0u);
            void *search = nullptr;
            CheckZPRes(zpApi().SearchDevices(&search, &sp));
            const struct Close { void *h; ~Close() { zpApi().CloseHandle(h); } } closeSearch{search};
            for (;;) {
                TZP_DEVICE_INFO_EX info;
                std::memset(&info, 0, sizeof info);
                info.rBase.cbSize = sizeof(TZP_DEVICE_INFO_EX);
                TZP_PORT_INFO ports[2];
                std::memset(ports, 0, sizeof ports);
                int32_t count = 0;
                if (CheckZPRes(zpApi().FindNextDevice(search, &info.rBase, ports, 2, &count, -1))
                    == ZP_S_NOTFOUND)
                    break;
                for (int k = 0; k < std::min(count, 2); ++k) {
                    const TZP_PORT_INFO &p = ports[k];
                    const QString name = ZPText(p.szName, 32);
                    const int at = FindDeviceByPortName(name);
                    std::unique_ptr<TDeviceInfo> fresh;
                    TDeviceInfo *entry = at >= 0 ? m_oDevices[size_t(at)].get() : nullptr;
                    if (!entry) {
                        fresh = std::make_unique<TDeviceInfo>();
                        entry = fresh.get();
                    }
                    entry->m_nType = p.nType;
                    entry->m_sName = name;
                    entry->m_sFriendly = ZPText(p.szFriendly, 32);
                    entry->m_fBusy = p.nFlags & 1u;
                    if (info.rBase.cbSize != 0) {
                        entry->m_nDevType = uint8_t(info.rBase.nModel);
                        entry->m_nDevSn = info.rBase.nSn;
                        entry->m_nDevVersion = info.rBase.nVersion;
                    }
                    if (fresh)
                        m_oDevices.push_back(std::move(fresh));
                }
            }
        } catch (...) {
            show();
            throw;
        }
    }
    if (force)
        SetStatus(QStringLiteral("Search is completed (%1 ms).").arg(started.elapsed()));
    show();
}

void TMainCRForm::SelectEntry(int index)
{
    lvPorts->setCurrentIndex(m_model->index(index, 0));
    // Selecting the row that was already current fires nothing: do it here.
    lvPortsSelectionChanged();
}

void TMainCRForm::lvPortsSelectionChanged()
{
    const QModelIndex current = lvPorts->currentIndex();
    if (!current.isValid() || current.row() >= int(m_oDevices.size()))
        return;
    const TDeviceInfo &d = *m_oDevices[size_t(current.row())];
    cbPort->clear();
    cbPort->addItem(d.m_sName);
    if (!d.m_sFriendly.isEmpty())
        cbPort->addItem(d.m_sFriendly);
    cbPort->setCurrentIndex(std::min(m_nPortIdx, cbPort->count() - 1));
    const int baud = ProposeBaud(asInt(cbBaud->currentText()).value_or(0), d.m_nDevType);
    cbBaud->setCurrentText(QString::number(baud));
}

// ------------------------------------------------------------ opening

void TMainCRForm::DoOpen()
{
    const QString name = cbPort->currentText();
    if (name.isEmpty())
        return;
    const TZP_PORT_TYPE type = PortTypeFromName(name);
    const auto baud = asInt(cbBaud->currentText());
    if (!baud)
        return;
    const bool proxy = chkProxy->isChecked();
    const QString password = edtPassword->text();
    std::optional<int> sn;
    if (proxy) {
        sn = asInt(cbSn->currentText());
        if (!sn)
            return;
    }

    int at = FindDeviceByPortName(name);
    if (at < 0) {
        auto fresh = std::make_unique<TDeviceInfo>();
        fresh->m_nType = type;
        fresh->m_sName = name;
        m_oDevices.push_back(std::move(fresh));
        at = int(m_oDevices.size()) - 1;
    }
    TDeviceInfo &entry = *m_oDevices[size_t(at)];
    if (entry.m_pForm) {
        entry.m_pForm->show();
        return;
    }
    entry.m_pPort.reset();
    if (entry.m_pTimer)
        entry.m_pTimer->stop();
    entry.m_pPort = std::make_unique<TZPort>();
    entry.m_pPort->Tag = &entry;
    entry.m_pPort->PortName = name;
    entry.m_pPort->PortType = type;
    try {
        if (!proxy) {
            entry.m_pPort->SetBaud(uint32_t(*baud));
            entry.m_pPort->SetOpened(true);
            OpenPortWindow(entry);
            return;
        }
        entry.m_pPort->SetBaud(0);
        entry.m_pPort->SetOpened(true);
        entry.m_pPort->SetOnRxChar([this](TZPort *p) { ProxyConnReply(p); });
        const QByteArray command = ProxyConnCommand(uint32_t(*sn), password);
        entry.m_pPort->Write(command.constData(), int(command.size()));
        if (!entry.m_pTimer) {
            entry.m_pTimer = std::make_unique<QTimer>();
            entry.m_pTimer->setSingleShot(true);
            TDeviceInfo *tag = &entry;
            connect(entry.m_pTimer.get(), &QTimer::timeout, this, [this, tag] { ProxyTimeout(tag); });
        }
        entry.m_pTimer->setInterval(m_nProxyTimeout);
        entry.m_pTimer->start();
    } catch (...) {
        entry.m_pForm.reset();
        entry.m_pPort.reset();
        m_model->Redraw();
        throw;
    }
}

void TMainCRForm::OpenPortWindow(TDeviceInfo &entry)
{
    entry.m_pForm = std::make_unique<TPortForm>(this);
    entry.m_pForm->SetPort(entry.m_pPort.get());
    connect(entry.m_pForm.get(), &TPortForm::closed, this,
            [this](TPortForm *form) { PortFormClosed(form); }, Qt::QueuedConnection);
    entry.m_pForm->show();
    m_model->Redraw();
}

void TMainCRForm::PortFormClosed(TPortForm *form)
{
    const int at = FindDeviceByForm(form);
    if (at < 0)
        return;
    TDeviceInfo &entry = *m_oDevices[size_t(at)];
    entry.m_pForm.reset();
    entry.m_pPort.reset();
    m_model->Redraw();
}

void TMainCRForm::ProxyConnReply(TZPort *port)
{
    const int at = FindDeviceByPort(port);
    if (at < 0)
        return;
    TDeviceInfo &entry = *m_oDevices[size_t(at)];
    if (entry.m_pTimer)
        entry.m_pTimer->stop();
    QByteArray reply(64, '\0');
    reply.resize(port->Read(reply.data(), 64));
    if (reply == "OK") {
        port->SetBaud(uint32_t(asInt(cbBaud->currentText()).value_or(int(port->Baud()))));
        OpenPortWindow(entry);
        return;
    }
    const QString name = port->PortName;
    entry.m_pPort.reset();  // the port whose notification this is: handled safely
    m_model->Redraw();
    core::showMessage(name + QLatin1Char('\n') + QString::fromLocal8Bit(reply), core::Icon::Error);
}

void TMainCRForm::ProxyTimeout(TDeviceInfo *entry)
{
    const auto it = std::find_if(m_oDevices.begin(), m_oDevices.end(),
                                 [entry](const auto &d) { return d.get() == entry; });
    if (it == m_oDevices.end())
        return;
    entry->m_pTimer->stop();
    const QString name = entry->m_pPort ? entry->m_pPort->PortName : entry->m_sName;
    entry->m_pPort.reset();
    m_model->Redraw();
    core::showMessage(QStringLiteral("\"%1\" does not respond (timeout).").arg(name),
                      core::Icon::Error);
}

// ------------------------------------------------------------ converter's device list

void TMainCRForm::cbSnDropDown()
{
    const QString name = cbPort->currentText();
    if (name.isEmpty())
        return;
    if (m_pPortProxy) {
        m_pPortProxy->SetOpened(false);
    } else {
        m_pPortProxy = std::make_unique<TZPort>();
        m_pPortProxy->SetBaud(0);
        m_pPortProxy->SetOnRxChar([this](TZPort *p) { ProxyListReply(p); });
    }
    m_pPortProxy->PortType = PortTypeFromName(name);
    m_pPortProxy->PortName = name;
    m_pPortProxy->SetOpened(true);
    const QByteArray command = ProxyListCommand(edtPassword->text());
    m_pPortProxy->Write(command.constData(), int(command.size()));
    if (!m_oTimerProxy) {
        m_oTimerProxy = std::make_unique<QTimer>();
        m_oTimerProxy->setSingleShot(true);
        connect(m_oTimerProxy.get(), &QTimer::timeout, this, [this] { ProxyListTimeout(); });
    }
    m_oTimerProxy->setInterval(m_nProxyTimeout);
    m_oTimerProxy->start();
}

void TMainCRForm::DestroyProxyPort() { m_pPortProxy.reset(); }

void TMainCRForm::ProxyListReply(TZPort *port)
{
    QByteArray reply(1024, '\0');
    reply.resize(port->Read(reply.data(), 1024));
    if (reply.isEmpty())
        return;
    if (m_oTimerProxy)
        m_oTimerProxy->stop();
    DestroyProxyPort();
    cbSn->clear();
    for (const uint32_t sn : ParseProxyDeviceList(reply))
        cbSn->addItem(QString::number(sn));
    SetStatus(QString());
}

void TMainCRForm::ProxyListTimeout()
{
    m_oTimerProxy->stop();
    const QString name = m_pPortProxy ? m_pPortProxy->PortName : cbPort->currentText();
    DestroyProxyPort();
    SetStatus(QStringLiteral("\"%1\" does not respond (timeout).").arg(name));
}

// ------------------------------------------------------------ menu and closing

QMenu *TMainCRForm::ContextMenu()
{
    if (!m_menu) {
        m_menu = new QMenu(this);
        m_menu->setObjectName(QStringLiteral("PopupMenu"));
        m_menu->addAction(QStringLiteral("Open..."), this, [this] { guarded([this] { DoOpen(); }); });
        m_menu->addAction(QStringLiteral("Refresh"), this, [this] { guarded([this] { DoRefresh(); }); });
        QMenu *types = m_menu->addMenu(QStringLiteral("Device Types"));
        auto *group = new QActionGroup(types);
        const std::pair<const char *, unsigned> items[] = {{"None", 0}, {"Serial", 1}, {"IP", 2}, {"All", 3}};
        for (const auto &[text, value] : items) {
            QAction *a = types->addAction(QString::fromLatin1(text));
            a->setCheckable(true);
            a->setData(value);
            group->addAction(a);
            connect(a, &QAction::triggered, this, [this, value = value] {
                guarded([this, value] {
                    m_fCfgModifyed = true;
                    SetDevTypes(value, true);
                });
            });
        }
        QAction *unknown = m_menu->addAction(QStringLiteral("Show Unknown Devices"));
        unknown->setObjectName(QStringLiteral("ShowUnknownDevices"));
        unknown->setCheckable(true);
        connect(unknown, &QAction::triggered, this, [this] {
            m_fShowUnkDev = !m_fShowUnkDev;
            m_fCfgModifyed = true;
            guarded([this] { UpdateDevices(false); });
        });
        QAction *bkgnd = m_menu->addAction(QStringLiteral("Search in background"));
        bkgnd->setObjectName(QStringLiteral("SearchInBackground"));
        bkgnd->setCheckable(true);
        connect(bkgnd, &QAction::triggered, this, [this] {
            m_fCfgModifyed = true;
            guarded([this] { EnableBkgndSearch(!m_fBkgndSearch, true); });
        });
        connect(m_menu, &QMenu::aboutToShow, this, [this] { ContextMenu(); });
    }
    // The marks show the state as it is now.
    const unsigned kinds = m_oDetector.Enabled() ? DevTypesToInt(m_oDetector.DevTypes()) : 0u;
    for (QAction *a : m_menu->findChildren<QAction *>())
        if (a->isCheckable() && a->data().isValid())
            a->setChecked(a->data().toUInt() == kinds);
    m_menu->findChild<QAction *>(QStringLiteral("ShowUnknownDevices"))->setChecked(m_fShowUnkDev);
    m_menu->findChild<QAction *>(QStringLiteral("SearchInBackground"))->setChecked(m_fBkgndSearch);
    return m_menu;
}

void TMainCRForm::closeEvent(QCloseEvent *event)
{
    if (m_fCfgModifyed) {
        try {
            SaveConfig();
        } catch (...) {
        }
    }
    QWidget::closeEvent(event);
}

} // namespace reader
