// The user-visible texts, loaded once at start from the language file of the system locale.
#pragma once
#include <string>

// The calibration report's texts; IDS_PLACE0..8 name a point's place (CalibrationReport.h PointPlace).
#define TAVORI_REPORT_LANG_KEYS(X)                                                                      \
    X(IDS_REPORT) X(IDS_REPORTCAMERA) X(IDS_REPORTGOOD) X(IDS_REPORTPOINT) X(IDS_REPORTPOINT25)          \
    X(IDS_REPORTEVERYWHERE) X(IDS_REPORTCLOSER) X(IDS_REPORTTOOCLOSE) X(IDS_REPORTUNMEASURED)           \
    X(IDS_REPORTJUDGING) X(IDS_REPORTNONE) X(IDS_REPORTMEAN) X(IDS_REPORTWORST) X(IDS_REPORTSEEN)       \
    X(IDS_REPORTFILLED) X(IDS_REPORTARROWS) X(IDS_PLACE0) X(IDS_PLACE1) X(IDS_PLACE2) X(IDS_PLACE3)     \
    X(IDS_PLACE4) X(IDS_PLACE5) X(IDS_PLACE6) X(IDS_PLACE7) X(IDS_PLACE8)

#define TAVORI_LANG_KEYS(X)                                                                        \
    X(IDS_INSTAVORI) X(IDS_Calibration) X(IDS_Calibration_Auto) X(IDS_OPTIONS) X(IDS_HELP)       \
    X(IDS_ABOUT) X(IDS_QUIT) X(IDS_NODATA) X(IDS_CHKLIGHT) X(IDS_WHILECAING) X(IDS_SAVINGDATA)  \
    X(IDS_TURNONLASER) X(IDS_TURNOFFLASER) X(IDS_OK) X(IDS_CANCEL) X(IDS_RETRY)                 \
    X(IDS_LIGHTSTRONG) X(IDS_TAVORI) X(IDS_TIMEOUT) X(IDS_QUESTION) X(IDS_DISCONNECTION)        \
    X(IDS_RECALIBRATION) X(IDS_CHECKENVI) X(IDS_CALIBRATEFAIL) X(IDS_CALIBRATIONLIST) X(IDS_NEW) \
    X(IDS_RENAME) X(IDS_SETACTIVE) X(IDS_SAVE) X(IDS_ACTIVE) X(IDS_LASERWRIT)                    \
    X(IDS_AUTOMATICPOSITIONFAILURE) X(IDS_WHITEAREA) X(IDS_ATUOTRANSFERRED) X(IDS_CALIBRATIONUNCHANGED)    \
    X(IDS_NOCAMERAYET) X(IDS_FOLDERREADONLY) X(IDS_CALIBRATIONREFUSED) X(IDS_NOMEDIAFEATUREPACK)       \
    X(IDS_CALIBRATIONKEPT) X(IDS_NAMEDCALIBRATIONREFUSED) X(IDS_AIMCAMERA)                           \
    X(IDS_OUTPUT) X(IDS_OUTPUTMOUSE) X(IDS_OUTPUTTOUCH) X(IDS_OUTPUTPEN) X(IDS_OUTPUTUNAVAILABLE)      \
    TAVORI_REPORT_LANG_KEYS(X)                                                                        \
    X(IDS_CAMERAMOVEDTITLE) X(IDS_CAMERAMOVED) X(IDS_STRAYLIGHTTITLE) X(IDS_STRAYLIGHT)               \
    X(IDS_LIGHTPLACE0) X(IDS_LIGHTPLACE1) X(IDS_LIGHTPLACE2) X(IDS_LIGHTPLACE3) X(IDS_LIGHTPLACE4)    \
    X(IDS_LIGHTPLACE5) X(IDS_LIGHTPLACE6) X(IDS_LIGHTPLACE7) X(IDS_LIGHTPLACE8)                       \
    X(IDS_LIGHTPLACEBESIDE) X(IDS_LIGHTPLACEINVIEW)

struct CLangText {
    std::string LangMatchPath;
    std::string LangFilePath;
#define TAVORI_LANG_FIELD(key) std::string key;
    TAVORI_LANG_KEYS(TAVORI_LANG_FIELD)
#undef TAVORI_LANG_FIELD
};

extern CLangText g_Lang;

// Fills g_Lang and g_Settings.LangName from the "Lang" folder under the program folder.
void LoadLanguage();
// The text with its first "%s" replaced by value; the English text stands in for a missing one, as
// these messages are all a user learns of what went wrong.
std::string LangFormat(const std::string& text, const char* english, const std::string& value = "");
// The key of the language map for a locale: "LCID_%x".
std::string LangMatchKey(unsigned long lcid);
