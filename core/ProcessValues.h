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

// The access protection settings: loaded from the table BPTools at start-up,
// saved back at shutdown and by the protection settings window.
struct TNastroykiBezopasnosti
{
    bool ZashchitaParolem = false;   // protection on ("psi")
    bool ZashchitaOtcheta = false;   // the reports need the password ("zp_Otch")
    bool ZashchitaOchistki = false;  // the table cleanup needs it ("zp_OchistT")
    bool ZashchitaUdaleniya = false; // the journal deletion needs it ("zp_UdalenieGL")
    QString Parol;                   // the password in its stored form ("SppS")
    bool ZapomnitVSessii = false;    // accepted with "remember for this session"
    bool RezultatVvoda = false;      // the last prompt accepted the password
    // The settings are those of the database: loaded from it in full or
    // stored into it; only then does the shutdown write them back.
    bool IzBazi = false;
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
    TNastroykiBezopasnosti Bezopasnost;
};

// The process-wide values; used only on the UI thread.
ProcessValues &pv();
// Back to the start state (tests).
void resetProcessValues();

} // namespace core
