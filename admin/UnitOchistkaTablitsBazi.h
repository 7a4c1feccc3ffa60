#pragma once
#include <QDialog>
#include <QStringList>
#include <memory>

class QPushButton;

namespace db {
class Connection;
}

namespace admin {

// "Очистка таблиц базы": empties one of the tables Org, Podr, Dolj, Users,
// SpisokDoc, or all five, after a confirmation. Emptying cannot be undone,
// so before any table is touched a copy of the database is written beside
// the file; without that copy nothing is deleted. Each table is emptied on
// its own: an error with one (a missing table) is shown and the next one
// still goes. Works on a connection of its own, open while the window is.
class TOchistkaTablitsBaziForm : public QDialog
{
    Q_OBJECT
public:
    explicit TOchistkaTablitsBaziForm(QWidget *parent = nullptr);
    ~TOchistkaTablitsBaziForm() override;

    void done(int result) override;

    // The copy written by the last confirmed cleanup (empty: none yet).
    QString poslednyayaKopiya() const { return m_kopiya; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Confirmation, the copy, the tables in the given order, the final message.
    void Ochistka(const QString &confirmation, const QStringList &tables);
    // One table emptied inside its own guard; false when it failed (shown).
    bool OchistkaTablitsy(const QString &table);

    std::unique_ptr<db::Connection> FDConnection;
    QPushButton *ClearOrg = nullptr;
    QString m_kopiya;
};

} // namespace admin
