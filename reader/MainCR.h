#pragma once
// "Настройки оборудования": the reader search and selection window. It
// starts the reader library, lists the readers and converters found, and
// opens the chosen reader, directly or through a converter's proxy mode.

#include "reader/ZPClasses.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimer;
class QTreeView;

namespace reader {

class TPortForm;

// One listed port and what was found on it.
struct TDeviceInfo
{
    TDeviceInfo() = default;
    ~TDeviceInfo();
    TDeviceInfo(const TDeviceInfo &) = delete;
    TDeviceInfo &operator=(const TDeviceInfo &) = delete;

    TZP_PORT_TYPE m_nType = ZP_PORT_UNDEF;
    QString m_sName;
    QString m_sFriendly;
    bool m_fBusy = false;
    uint8_t m_nDevType = 0;    // model number
    uint32_t m_nDevSn = 0;
    uint32_t m_nDevVersion = 0;
    std::unique_ptr<TZPort> m_pPort;
    std::unique_ptr<QTimer> m_pTimer;  // proxy connection time-out
    std::unique_ptr<TPortForm> m_pForm;

    // Timer, port window, port: in that order.
    void ReleasePort();
};

// The settings file of the window: trapezon.ini in the program folder.
QString MainCRIniPath();

TZP_PORT_TYPE PortTypeFromName(const QString &name);
// The baud proposed for a model from the one shown.
int ProposeBaud(int currentBaud, int model);
// "CONN %.4X %s" and "LIST %s" as sent, without terminator.
QByteArray ProxyConnCommand(uint32_t sn, const QString &password);
QByteArray ProxyListCommand(const QString &password);
// The serial numbers of a converter's device list reply.
QList<uint32_t> ParseProxyDeviceList(const QByteArray &reply);
unsigned DevTypesToInt(TZPDevTypes types);
TZPDevTypes IntToDevTypes(int value);

// The serial number box asks for the converter's list as it drops down.
class TSnComboBox : public QComboBox
{
public:
    using QComboBox::QComboBox;
    std::function<void()> onDropDown;
    void showPopup() override;
};

class TDeviceListModel : public QAbstractTableModel
{
public:
    explicit TDeviceListModel(const std::vector<std::unique_ptr<TDeviceInfo>> &devices,
                              QObject *parent = nullptr);
    // The "virtual list" count: rows shown, independent of the entries held.
    void SetItemCount(int count);
    void Redraw();
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    const std::vector<std::unique_ptr<TDeviceInfo>> &m_devices;
    int m_count = 0;
};

class TMainCRForm : public QWidget
{
    Q_OBJECT
public:
    explicit TMainCRForm(QWidget *parent = nullptr);
    ~TMainCRForm() override;

    // False when the reader library is missing or of another version: the
    // error has been shown and the program ends.
    bool LibraryReady() const { return m_fLibraryReady; }

    void DoRefresh();
    void DoOpen();
    void UpdateDevices(bool force);
    void SetDevTypes(TZPDevTypes types, bool update);
    void EnableBkgndSearch(bool enable, bool update);
    void LoadConfig();
    void SaveConfig();

    int FindDeviceByPortName(const QString &name) const;
    int FindDeviceByPort(const TZPort *port) const;
    int FindDeviceByForm(const TPortForm *form) const;

    const std::vector<std::unique_ptr<TDeviceInfo>> &Devices() const { return m_oDevices; }
    TZPDetector &Detector() { return m_oDetector; }
    QString StatusText() const;
    bool CfgModified() const { return m_fCfgModifyed; }
    // The proxy time-out (10 s); tests shorten it.
    void SetProxyTimeout(int ms) { m_nProxyTimeout = ms; }
    // The context menu as it is about to be shown.
    QMenu *ContextMenu();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void SetStatus(const QString &text);
    void SelectEntry(int index);
    void lvPortsSelectionChanged();
    void OpenPortWindow(TDeviceInfo &entry);
    void PortFormClosed(TPortForm *form);
    void ProxyConnReply(TZPort *port);
    void ProxyTimeout(TDeviceInfo *entry);
    void cbSnDropDown();
    void ProxyListReply(TZPort *port);
    void ProxyListTimeout();
    void DestroyProxyPort();
    void UpdateProxyFields();
    void IdleCheck();
    void guarded(const std::function<void()> &action);
    void OnPortEvent(const char *what, const TZP_DDN_PORT_INFO &info);
    void OnDeviceEvent(const char *what, const TZP_DDN_DEVICE_INFO &info);

    bool m_fLibraryReady = false;
    std::vector<std::unique_ptr<TDeviceInfo>> m_oDevices;
    TZPDetector m_oDetector;
    int m_nPortIdx = 0;
    bool m_fNeedUpdDevs = false;
    bool m_fShowUnkDev = false;
    bool m_fBkgndSearch = false;
    bool m_fCfgModifyed = false;
    std::unique_ptr<TZPort> m_pPortProxy;
    std::unique_ptr<QTimer> m_oTimerProxy;
    int m_nProxyTimeout = 10000;

    TDeviceListModel *m_model = nullptr;
    QTreeView *lvPorts = nullptr;
    QPushButton *btnRescan = nullptr;
    QPushButton *btnOpen = nullptr;
    QComboBox *cbPort = nullptr;
    QComboBox *cbBaud = nullptr;
    QCheckBox *chkProxy = nullptr;
    QLabel *labPassword = nullptr;
    QLineEdit *edtPassword = nullptr;
    QLabel *labSn = nullptr;
    TSnComboBox *cbSn = nullptr;
    QPushButton *Zakr = nullptr;
    QPushButton *ZakrModul = nullptr;
    QStatusBar *m_status = nullptr;
    QMenu *m_menu = nullptr;
    QTimer *m_idle = nullptr;
    bool m_fUpdating = false;
};

} // namespace reader
