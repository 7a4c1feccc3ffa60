#include "GLSettings.h"

#include "core/AppPaths.h"
#include "core/IniSettings.h"

namespace app {

QString resolveDbPath(const QString &configured)
{
    return configured.length() < 3 ? core::defaultDbPath() : configured;
}

QString configuredDbPath(const core::IniFile &ini)
{
    return resolveDbPath(ini.readString("Options", "EditPutKFayluBD", core::defaultDbPath()));
}

GLFormSettings readMainSettings(const core::IniFile &ini, core::TNastroyki &n)
{
    GLFormSettings s;
    s.NameOP = ini.readString("GLForm", "NameOP", s.NameOP);
    s.WState = ini.readBool("GLForm", "WState", s.WState);
    s.Visota = ini.readInt("GLForm", "Visota", s.Visota);
    s.Shirina = ini.readInt("GLForm", "Shirina", s.Shirina);

    n.PreduprezhdatEsliDataPitNeTekushaya =
        ini.readBool("Options", "CheckBoxPreduprezhdatEsliDataPitNeTekushaya", true);
    n.RazreshitPitaniyeNeskolkoRaz =
        ini.readBool("Options", "CheckBoxRazreshitPitaniyeNeskolkoRaz", false);
    n.PutKFayluBD = configuredDbPath(ini);
    n.NastroykiOtboraVBD = ini.readInt("Options", "NastroykiOtboraVBD", 0);
    n.RefreshGrid = ini.readBool("Options", "RefreshGrid", false);
    n.RefreshQuery = ini.readBool("Options", "RefreshQuery", false);
    n.OtobrazhatPhoto = ini.readBool("Options", "CheckBoxOtobrazhatPhoto", false);
    n.PutPhotoFolder = ini.readString("Options", "EditPutPhotoFolder", QString());
    n.PutKMaketuKartSotr = ini.readString("Options", "PutKMaketuKartSotr", QString());

    for (int i = 0; i < kJournalColumnCount; ++i)
        s.columnWidths[i] = ini.readInt("DBGridColumnsDlyaDoc",
                                        QStringLiteral("WidthCount%1").arg(i + 1),
                                        kDefaultColumnWidth);

    s.soundOK = ini.readBool("Sound", "OK", true);
    s.soundNO = ini.readBool("Sound", "NO", true);
    s.soundERR = ini.readBool("Sound", "ERR", true);

    const QString zero = QStringLiteral("0,00");
    n.VestiUtchetStoimosti = ini.readBool("Stoimost", "CheckBoxVestiUtchetStoimosti", false);
    n.OtobrazhatPanelVvodaStoimosti =
        ini.readBool("Stoimost", "CheckBoxOtobrazhatPanelVvodaStoimosti", false);
    n.ZapretitVvodNulevoyStoimosti =
        ini.readBool("Stoimost", "CheckBoxZapretitVvodNulevoyStoimosti", false);
    n.StoimostZavtrak = ini.readString("Stoimost", "EditStoimostZavtrak", zero);
    n.StoimostObed = ini.readString("Stoimost", "EditStoimostObed", zero);
    n.StoimostUzhin = ini.readString("Stoimost", "EditStoimostUzhin", zero);
    n.StoimostNochnoePit = ini.readString("Stoimost", "EditStoimostNochnoePit", zero);

    n.ScanerIspolzovanie = ini.readBool("ScanerOptions", "Scaner_Ispolzovanie", false);

    s.Vid = ini.readInt("VidPitaniya", "Vid", 0);
    s.NastrPriStarte = ini.readInt("VidPitaniya", "NastrPriStarte", 0);
    s.NastrIsklNP = ini.readBool("VidPitaniya", "NastrIsklNP", false);
    return s;
}

int startMealType(int nastrPriStarte, int vid, bool isklNP)
{
    switch (nastrPriStarte) {
    case 0: return 0;
    case 1: return vid >= 0 && vid <= 4 ? vid : 0;
    case 2:
        switch (vid) {
        case 1: return 2;
        case 2: return 3;
        case 3: return isklNP ? 1 : 4;
        case 4: return 1;
        default: return 0;
        }
    case 3: return 1;
    case 4: return 2;
    case 5: return 3;
    case 6: return 4;
    default: return 0;
    }
}

} // namespace app
