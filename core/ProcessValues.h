#pragma once
#include <QString>

namespace core {

// The employee being registered, picked or edited; shared by the windows.
struct TBuferSotrudnika
{
    QString FIO;        // name (Users.NM)
    QString Org;
    QString Podr;
    QString Dolj;
    QString TabNum;
    QString CardNum;
    QString ITR;
    QString RecID;      // employee record identifier
    QString Stoimost = QStringLiteral("0,00");
    QString ShtrKod;
    QString RedaktRecID; // identifier of the employee open in the editor

    void clear() { *this = TBuferSotrudnika(); }
};

// The in-memory settings: loaded at the main window's first showing, changed
// by the settings windows together with the file so a change acts at once.
struct TNastroyki
{
    QString PutKFayluBD;   // database file path
    QString BDLogin;       // database user name
    QString BDPass;        // database password

    bool PreduprezhdatEsliDataPitNeTekushaya = true;
    bool RazreshitPitaniyeNeskolkoRaz = false;

    bool VestiUtchetStoimosti = false;
    bool OtobrazhatPanelVvodaStoimosti = false;
    bool ZapretitVvodNulevoyStoimosti = false;
    QString StoimostZavtrak = QStringLiteral("0,00");
    QString StoimostObed = QStringLiteral("0,00");
    QString StoimostUzhin = QStringLiteral("0,00");
    QString StoimostNochnoePit = QStringLiteral("0,00");

    int NastroykiOtboraVBD = 0; // 1 query mode, anything else filter mode
    bool RefreshGrid = false;
    bool RefreshQuery = false;

    bool OtobrazhatPhoto = false;
    QString PutPhotoFolder;
    QString PutKMaketuKartSotr;

    bool ScanerIspolzovanie = false;
};

struct ProcessValues
{
    TBuferSotrudnika BuferSotrudnika;
    TNastroyki Nastroyki;
    QString VsePitaniya = QStringLiteral("Да"); // all-types flag: "Да" / "Нет"
    QString PoslednyayaKarta;
    QString RezhimSpiskaSotrudnikov = QStringLiteral("obzor");
    QString RezhimSpravochnika = QStringLiteral("obzor");
    QString TablitsaSpravochnika;
    QString VibrannoeNaimenovanie;
    QString RedaktiruemoeNaimenovanie; // the directory name handed to its item editor and back
    bool SotrudnikSokhranen = false;
    bool FotoZagruzheno = false;
};

// The process-wide values; used only on the UI thread.
ProcessValues &pv();
// Back to the start state (tests).
void resetProcessValues();

} // namespace core
