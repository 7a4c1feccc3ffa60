#pragma once
#include <QDialog>
#include <QImage>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace staff {

// The employee editor. It shows the employee standing in
// core::pv().BuferSotrudnika when it is shown and, when it is left by
// "Сохранить и закрыть" after its uniqueness check passed, writes the fields
// back into that buffer and sets core::pv().SotrudnikSokhranen. It never
// writes the table itself: the opener (the employee list) does, after reading
// the flag. The opener sets the caption ("Сотрудник" or "Сотрудник (Создание)")
// and shows it with core::execModal().
class TUserEditForm : public QDialog
{
    Q_OBJECT
public:
    // The barcode field's text for "no barcode".
    static inline const QString kNetShtrKoda = QStringLiteral("0000000000000");

    explicit TUserEditForm(QWidget *parent = nullptr);
    ~TUserEditForm() override;

    // The uniqueness check of the card number, barcode and personnel number
    // against Users; true when another employee holds one of them (the report
    // has then been shown) or the database could not be reached.
    bool TakieKartiEst();

    // Shows the photo of the name in EditFIO, whether or not photo display
    // is on; sets core::pv().FotoZagruzheno when one was loaded.
    void UstanovitPhoto();
    // The photo shown (null when none was loaded in this opening).
    const QImage &foto() const { return m_foto; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void ButtonSaveAndCloseClick();
    void ButtonOtmenaClick();
    void ButtonSformirovatShtrKodClick();
    void BShtrKodClClick();
    void RegButtonClick();
    void ButtonPutKMaketuKartSotrEditClick();
    void ButtonUserInfoClick();
    void ButtonSformirovatKartSotrClick();
    void VyborIzSpravochnika(const QString &table, QLineEdit *field);
    void OtrisovkaShtrKoda();
    void OtobrazheniyePhoto(const QString &FIODlyaPhotoUsEd);
    void ButtonPhotNastrClick();

    QLineEdit *EditFIO = nullptr;
    QLineEdit *EditOrg = nullptr;
    QLineEdit *EditPodr = nullptr;
    QLineEdit *EditDolj = nullptr;
    QLineEdit *EditTabNum = nullptr;
    QCheckBox *ITRCheck = nullptr;
    QLineEdit *EditCardNum = nullptr;
    QLineEdit *MaskEditShtrKod = nullptr;
    QLabel *ImageShtrKod = nullptr;
    QLabel *ImagePhotoUsEd = nullptr;
    QLineEdit *EditPutKMaketuKartSotr = nullptr;
    QPushButton *ButtonSaveAndClose = nullptr;

    // The stored barcode as it came in, and whether the user cleared or set
    // the barcode since: a stored code the field cannot show is kept unless
    // the user changed the barcode.
    QImage m_foto;
    QString m_ishodnyShtrKod;
    bool m_shtrKodIzmenen = false;
};

} // namespace staff
