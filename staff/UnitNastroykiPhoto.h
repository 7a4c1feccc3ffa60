#pragma once
#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace staff {

// "Настройки отображения фотографий": photo display on or off and the photo
// folder, read from CRIni.ini when shown and stored, in memory and in the
// file, when it closes. It does not close while display is on without a
// folder. Opened from the employee editor and the administration window.
class TNastroykiPhotoForm : public QDialog
{
    Q_OBJECT
public:
    explicit TNastroykiPhotoForm(QWidget *parent = nullptr);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BPutPhotoFolderEditClick();
    void ButtonVosstanRazmIPolozhPhotFormClick();

    QCheckBox *CheckBoxOtobrazhatPhoto;
    QLineEdit *EditPutPhotoFolder;
};

} // namespace staff
